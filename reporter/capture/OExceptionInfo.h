#pragma once
// The exception's own fields of a report: message, class, module and address.
#include <cstdint>
#include <string>

namespace reporter {

// What the kernel told about a memory access fault (from the signal's information and the thread's
// context), handed in by the processing.
struct TOstrelAccessFault {
    uintptr_t Address = 0;         // the faulting instruction
    bool Write = false;            // a write, else a read
    uintptr_t AccessedAddress = 0; // the address the instruction touched
};

// An address as 16 upper-case hexadecimal digits.
std::string FormatAddress(uintptr_t address);
// The object's message ("Unknown error message." for an object that is no exception of the standard
// library's family), ending in "."; an access violation with its fault record gets the message formed
// again from the record.
std::string GetExceptionMessage(const void* object, const TOstrelAccessFault* fault = nullptr);
// The object's class name, "Unknown exception type." for an object that cannot be examined.
std::string GetExceptionClassName(const void* object);
// File name, without folder, of the module that holds the address; empty when none does.
std::string GetAddressModuleName(uintptr_t address);
// The access-violation text: with the module's file name when the address lies in a module.
std::string FormatAccessViolation(const TOstrelAccessFault& fault);

} // namespace reporter
