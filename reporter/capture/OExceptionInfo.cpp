#include "OExceptionInfo.h"

#include "OClassInfo.h"
#include "OFiles.h"
#include "OModules.h"

#include <cstdio>
#include <exception>
#include <typeinfo>

namespace reporter {

namespace {

// The standard exception inside the object, found through the class information exactly as a catch
// clause finds it; nullptr when the object is none.
const std::exception* AsStandardException(const void* object) {
    const std::type_info* cls = ObjectClass(object);
    if (cls == nullptr)
        return nullptr;
    void* adjusted = const_cast<void*>(object);
    if (!typeid(std::exception).__do_catch(cls, &adjusted, 1))
        return nullptr;
    return static_cast<const std::exception*>(adjusted);
}

} // namespace

std::string FormatAddress(uintptr_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(address));
    return text;
}

std::string FormatAccessViolation(const TOstrelAccessFault& fault) {
    const std::string module = GetAddressModuleName(fault.Address);
    const std::string access = fault.Write ? "Write" : "Read";
    if (!module.empty())
        return "Access violation at address " + FormatAddress(fault.Address) + " in module '" + module +
               "'. " + access + " of address " + FormatAddress(fault.AccessedAddress);
    return "Access violation at address " + FormatAddress(fault.Address) + ". " + access + " of address " +
           FormatAddress(fault.AccessedAddress);
}

std::string GetExceptionMessage(const void* object, const TOstrelAccessFault* fault) {
    const std::exception* exception = AsStandardException(object);
    if (exception == nullptr)
        return "Unknown error message.";
    std::string message = exception->what() != nullptr ? exception->what() : "";
    if (fault != nullptr && ObjectInheritsFromName(object, "EAccessViolation"))
        message = FormatAccessViolation(*fault);
    // A line break or blank at the end would put the full stop on a line of its own.
    const size_t last = message.find_last_not_of(" \t\r\n");
    message.erase(last == std::string::npos ? 0 : last + 1);
    if (message.empty() || message.back() != '.')
        message += '.';
    return message;
}

std::string GetExceptionClassName(const void* object) {
    const std::type_info* cls = ObjectClass(object);
    return cls != nullptr ? ClassName(cls) : "Unknown exception type.";
}

std::string GetAddressModuleName(uintptr_t address) {
    const TModuleHandle module = address != 0 ? FindModuleOfAddress(address) : 0;
    return module != 0 ? ExtractFileName(GetModuleFileName(module)) : std::string();
}

} // namespace reporter
