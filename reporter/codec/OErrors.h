#pragma once
// Exceptions of the reporter core. The core starts before any application object exists and links no
// Qt, so it carries its own small hierarchy instead of the class library's.
#include <stdexcept>
#include <string>

namespace reporter {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A value that cannot be converted or assigned.
class EConvertError : public Exception {
    using Exception::Exception;
};

// A stream ended before the data it announced, or announced an impossible length.
class EReadError : public Exception {
    using Exception::Exception;
};

// Code, import-slot or pointer-slot patching failed.
class EHookError : public Exception {
    using Exception::Exception;
};
class EProcNull : public EHookError {
    using EHookError::EHookError;
};
class EHookingError : public EHookError {
    using EHookError::EHookError;
};
class ESharedArea : public EHookError {
    using EHookError::EHookError;
};

// zlib refused, or compressed data is corrupt.
class EZLibError : public Exception {
    using Exception::Exception;
};

// A file could not be read or written.
class EFileError : public Exception {
    using Exception::Exception;
};

} // namespace reporter
