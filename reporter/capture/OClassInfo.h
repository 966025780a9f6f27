#pragma once
// Tests on objects and classes that must not fault on foreign or damaged memory. A class is the C++
// run-time type information of a polymorphic class (std::type_info); an object is a pointer to a
// polymorphic object. Every read goes through the readability test first.
#include <string>
#include <typeinfo>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

// The class information is readable, is of one of the three class kinds and has a readable name.
bool IsValidClass(const std::type_info* cls);
// The object's virtual table and its class information are readable and valid.
bool IsValidObject(const void* object);
// The dynamic class of a valid object, nullptr otherwise.
const std::type_info* ObjectClass(const void* object);
// The class name as written in source ("ns::Name"), decoded from the mangled name without allocating
// more than the result; unusual names come back mangled.
std::string ClassName(const std::type_info* cls);
// The class or one of its ancestors is named name (trimmed, compared case-insensitively, with or without
// its namespaces).
bool InheritsFromName(const std::type_info* cls, const std::string& name);
bool ObjectInheritsFromName(const void* object, const std::string& name);
bool ObjectIsClass(const void* object, const std::type_info* cls);
bool ObjectIsAnyClass(const void* object, const std::vector<const std::type_info*>& classes);
// A valid class that does not descend from a class named "EAbort" (the silent exception).
bool IsReportableClass(const std::type_info* cls);
bool IsReportableException(const void* object);
// Index of the first filter class the class descends from, -1 when none.
int FindExceptionFilter(const std::type_info* cls, const TOstrelModuleOptions& options);
int FindExceptionFilter(const void* object, const TOstrelModuleOptions& options);

} // namespace reporter
