#pragma once
// The send-progress window in a helper process, for when the GUI thread cannot show it (it faulted and
// stands still until the report ends, or it does not take calls up). The program starts its own file
// again with SendProgressHelperArgument and talks to it over the socket on the helper's standard input:
// it asks for the window, the helper says when the window shows, and then takes the sender's status
// lines, bar positions and the closing as they come. Each message is a type byte, a 32-bit little-endian
// payload length and the payload; a payload is at most MaxProgressPayload bytes.
//
// The helper ends when it is told to close, on any damage, and when the socket closes (the program
// died). It is dispatched from RunOstrelDialogHelper, before the program would start its reporter, so a
// fault in the helper ends the helper instead of reporting itself again.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace reporter {

inline constexpr const char* SendProgressHelperArgument = "--ostrel-progress-helper";
inline constexpr size_t MaxProgressPayload = 4096;

enum class TProgressMessageType : uint8_t { Show = 1, Ready = 2, Text = 3, Position = 4, Close = 5 };

struct TProgressMessage {
    TProgressMessageType Type = TProgressMessageType::Close;
    std::string Text;        // Show: the caption; Text: the status line
    uint8_t DialogFlags = 0; // Show: the caption style
    int Position = 0;        // Position: 0 to 100
};

// A text longer than a payload holds is cut at a character boundary; a position is clamped to 0..100.
std::vector<uint8_t> EncodeProgressMessage(const TProgressMessage& message);

// Takes the bytes as they arrive and hands out whole messages. Damage (an unknown type, a length over
// the bound or not the one its type has, a position outside 0..100) raises EReadError.
class TProgressMessageReader {
public:
    void Append(const uint8_t* data, size_t size);
    // None until a whole message has arrived.
    std::optional<TProgressMessage> Next();

private:
    std::vector<uint8_t> m_bytes;
};

// The program's end: one helper window from Start to Close.
class TSendProgressHelper {
public:
    // Starts the helper (program: the program's own file when empty) and waits for its window at most
    // readyLimit; none, with the helper ended and reaped, when it did not show in time.
    static std::unique_ptr<TSendProgressHelper> Start(const std::string& caption, uint8_t dialogFlags,
                                                      std::chrono::milliseconds readyLimit,
                                                      const std::string& program = std::string());
    ~TSendProgressHelper(); // closes
    TSendProgressHelper(const TSendProgressHelper&) = delete;
    TSendProgressHelper& operator=(const TSendProgressHelper&) = delete;

    void SetText(const std::string& text);
    void SetPosition(int percent);
    // Tells the helper to close and waits for its end at most wait, then kills it; reaps it always.
    void Close(std::chrono::milliseconds wait = std::chrono::seconds(2));
    // The helper still runs (its window is up).
    bool Open();

private:
    TSendProgressHelper(pid_t child, int socket) : m_child(child), m_socket(socket) {}
    void Send(const TProgressMessage& message);
    bool ReapedLocked(bool wait);
    void EndLocked(std::chrono::milliseconds wait);

    std::mutex m_lock;
    pid_t m_child;
    int m_socket;
    bool m_reaped = false;
};

// In a helper process (argv[1] is SendProgressHelperArgument): shows the window and follows the messages
// until it closes. Returns the exit code (0 closed as asked or the program went away, 2 damage or no
// request); -1 at once in any other process.
int RunSendProgressHelper(int& argc, char** argv);

} // namespace reporter
