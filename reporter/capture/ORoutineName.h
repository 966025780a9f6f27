#pragma once
// Taking a demangled C++ name apart into the class and the procedure that a call-stack line shows:
// return type, parameters and clone suffixes dropped, split at the last "::" outside brackets, and a
// lambda named after the routine that encloses it ("Execute::<lambda>").
#include <string>
#include <vector>

namespace reporter {

struct TRoutineName {
    std::string Class; // empty for a plain routine
    std::string Procedure;
};

// The qualified name of a demangled routine without return type, parameters and clone suffix.
std::string StripSignature(const std::string& demangled);
// The parts of the qualified name between "::" outside brackets, each without its parameter list;
// a lambda's part reads "<lambda>".
std::vector<std::string> QualifiedParts(const std::string& demangled);
// The same with a lambda and what lies below it joined to the part of the routine that holds it.
std::vector<std::string> RoutineParts(const std::string& demangled);
// Class and procedure of a demangled (or plain) routine name.
TRoutineName SplitRoutineName(const std::string& demangled);
// The demangled form of a mangled name; empty when the name is not one.
std::string Demangle(const std::string& name);

} // namespace reporter
