#pragma once
// What the program and its helper processes (report dialog, clipboard keeper) use on the socket between
// them: an owned descriptor, whole sends, bounded whole receives, and waiting for a helper's end.
#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace reporter {

class THelperFd {
public:
    explicit THelperFd(int fd) : m_fd(fd) {}
    ~THelperFd();
    THelperFd(const THelperFd&) = delete;
    THelperFd& operator=(const THelperFd&) = delete;
    int Get() const { return m_fd; }
    // Hands the descriptor over; it is no longer closed here.
    int Release();

private:
    int m_fd;
};

// Sends every byte; false on an error or a closed peer (no SIGPIPE).
bool SendAll(int fd, const void* data, size_t size);
// Everything up to the peer's end of sending; false on an error or more than limit bytes, and, with
// waitMs >= 0, when nothing arrives for that long.
bool ReceiveAll(int fd, std::vector<uint8_t>& bytes, size_t limit, int waitMs = -1);
// Waits for the child's end; its wait status.
int WaitForChild(pid_t child);

} // namespace reporter
