#pragma once
// The calls the serial port makes on its open descriptor around a write. The port holds them behind
// this small interface so that a test can watch their order on a real pseudo-terminal.
#include <cstddef>

class TSerialLine {
public:
    virtual ~TSerialLine() = default;
    // Asked once at open: a device without modem lines (a pseudo-terminal, an adapter without RTS)
    // gets no RTS calls at all.
    virtual bool HasModemLines(int fd) = 0;
    virtual bool SetRts(int fd, bool raised) = 0;
    virtual bool Write(int fd, const void* data, std::size_t n) = 0;
    // Waits until everything written has left the line.
    virtual bool Drain(int fd) = 0;
};

// The terminal device itself.
class TPosixSerialLine final : public TSerialLine {
public:
    bool HasModemLines(int fd) override;
    bool SetRts(int fd, bool raised) override;
    bool Write(int fd, const void* data, std::size_t n) override;
    bool Drain(int fd) override;
};
