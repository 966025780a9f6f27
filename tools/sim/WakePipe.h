#pragma once

namespace vdsim {

// A pipe whose read end becomes readable, for good, once Signal is called: every thread that polls it
// sees the stop at the same time.
class TWakePipe {
public:
    TWakePipe(); // throws std::system_error
    ~TWakePipe();
    TWakePipe(const TWakePipe&) = delete;
    TWakePipe& operator=(const TWakePipe&) = delete;

    int ReadFd() const { return Fds[0]; }
    void Signal();

private:
    int Fds[2] = {-1, -1};
    bool Signalled = false;
};

} // namespace vdsim
