#pragma once
// Exception objects for what is no C++ exception: a fault or abort signal, and a frozen main thread. The
// reports name their class and message like those of thrown exceptions.
#include "OErrors.h"
#include "OExceptionInfo.h"

#include <csignal>
#include <memory>
#include <sys/types.h>

namespace reporter {

// A signal that ended the normal run of a thread.
class EExternalException : public Exception {
public:
    EExternalException(const std::string& message, int signal, int code, uintptr_t faultAddress)
        : Exception(message), m_signal(signal), m_code(code), m_faultAddress(faultAddress) {}
    int Signal() const { return m_signal; }
    int Code() const { return m_code; }
    uintptr_t FaultAddress() const { return m_faultAddress; }

private:
    int m_signal;
    int m_code;
    uintptr_t m_faultAddress;
};

class EAccessViolation : public EExternalException {
    using EExternalException::EExternalException;
};
class EIntError : public EExternalException {
    using EExternalException::EExternalException;
};
class EDivByZero : public EIntError {
    using EIntError::EIntError;
};
class EIntOverflow : public EIntError {
    using EIntError::EIntError;
};
class EMathError : public EExternalException {
    using EExternalException::EExternalException;
};
class EZeroDivide : public EMathError {
    using EMathError::EMathError;
};
class EOverflow : public EMathError {
    using EMathError::EMathError;
};
class EUnderflow : public EMathError {
    using EMathError::EMathError;
};
class EInvalidOp : public EMathError {
    using EMathError::EMathError;
};
class EPrivilege : public EExternalException {
    using EExternalException::EExternalException;
};

// The pseudo-exception of a main thread that stopped answering; its message is the options' FreezeText.
class EFrozenApplication : public Exception {
    using Exception::Exception;
};

// The signal's name ("SIGSEGV"), "signal N" for others.
std::string SignalName(int signal);
// The exception object that stands for the signal. write tells a write access from a read. sender is the
// process that sent the signal (kill, raise, abort; 0 for a sender outside the process's namespace), -1
// for a fault of the thread's own instruction.
std::unique_ptr<EExternalException> MakeSignalException(int signal, int code, uintptr_t address,
                                                        uintptr_t faultAddress, bool write,
                                                        pid_t sender = -1);

} // namespace reporter
