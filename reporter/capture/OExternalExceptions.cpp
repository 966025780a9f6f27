#include "OExternalExceptions.h"

#include <cstring>
#include <unistd.h>

namespace reporter {

std::string SignalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal " + std::to_string(signal);
    }
}

std::unique_ptr<EExternalException> MakeSignalException(int signal, int code, uintptr_t address,
                                                        uintptr_t faultAddress, bool write, pid_t sender) {
    auto make = [&]<typename T>(const std::string& message) {
        return std::unique_ptr<EExternalException>(std::make_unique<T>(message, signal, code, faultAddress));
    };
    // A sent signal is no fault of the instruction it interrupted: it says who sent it. The program's own
    // abort stays what it is.
    if (sender >= 0 && !(signal == SIGABRT && sender == ::getpid()))
        return make.operator()<EExternalException>(SignalName(signal) + " sent by process " +
                                                   std::to_string(sender));
    switch (signal) {
    case SIGSEGV:
    case SIGBUS:
        return make.operator()<EAccessViolation>(FormatAccessViolation({address, write, faultAddress}));
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return make.operator()<EDivByZero>("Division by zero");
        case FPE_INTOVF:
            return make.operator()<EIntOverflow>("Integer overflow");
        case FPE_FLTDIV:
            return make.operator()<EZeroDivide>("Floating point division by zero");
        case FPE_FLTOVF:
            return make.operator()<EOverflow>("Floating point overflow");
        case FPE_FLTUND:
            return make.operator()<EUnderflow>("Floating point underflow");
        default:
            return make.operator()<EInvalidOp>("Invalid floating point operation");
        }
    case SIGILL:
        if (code == ILL_PRVOPC || code == ILL_PRVREG)
            return make.operator()<EPrivilege>("Privileged instruction");
        return make.operator()<EExternalException>("Illegal instruction at address " +
                                                   FormatAddress(address));
    case SIGABRT:
        return make.operator()<EExternalException>("Abnormal program termination (SIGABRT)");
    default:
        return make.operator()<EExternalException>("External exception " + SignalName(signal));
    }
}

} // namespace reporter
