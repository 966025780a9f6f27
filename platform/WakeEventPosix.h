#pragma once
// An event another thread can raise to wake a wait on a descriptor at once: an eventfd polled together
// with the descriptor. Raising it is safe from any thread; it stays raised until cleared.
namespace platform {

class TWakeEvent {
public:
    TWakeEvent();
    ~TWakeEvent();
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    void Raise();
    void Clear();
    bool Raised() const;
    // The descriptor to poll for input; -1 when the event could not be made (then nothing wakes).
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace platform
