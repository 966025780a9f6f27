#include "OClassInfo.h"

#include "OMemory.h"
#include "OOptions.h"
#include "OTextUtils.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace reporter {

namespace {

// Itanium C++ ABI layouts of the class-type information.
struct TTypeInfoLayout {
    uintptr_t VirtualTable;
    uintptr_t Name;
};
struct TBaseInfo {
    uintptr_t Base;
    long OffsetFlags;
};
constexpr size_t SingleBaseOffset = 16; // __si_class_type_info::__base_type
constexpr size_t BaseCountOffset = 20;  // __vmi_class_type_info::__base_count
constexpr size_t BaseArrayOffset = 24;  // __vmi_class_type_info::__base_info
constexpr size_t NameLimit = 1024;
constexpr int MaxBases = 64;
constexpr int MaxDepth = 32;

struct TNoBase {
    virtual ~TNoBase() = default;
};
struct TOneBase : TNoBase {};
struct TOtherBase {
    virtual ~TOtherBase() = default;
};
struct TTwoBases : TNoBase, TOtherBase {};

enum class TKind { None, Plain, Single, Multiple };

uintptr_t VirtualTableOf(const std::type_info& info) {
    uintptr_t vptr;
    std::memcpy(&vptr, static_cast<const void*>(&info), sizeof vptr);
    return vptr;
}

TKind KindOf(uintptr_t vptr) {
    static const uintptr_t plain = VirtualTableOf(typeid(TNoBase));
    static const uintptr_t single = VirtualTableOf(typeid(TOneBase));
    static const uintptr_t multiple = VirtualTableOf(typeid(TTwoBases));
    if (vptr == plain)
        return TKind::Plain;
    if (vptr == single)
        return TKind::Single;
    if (vptr == multiple)
        return TKind::Multiple;
    return TKind::None;
}

// Reads the zero-terminated name; false when it is unreadable or unreasonably long.
bool ReadName(uintptr_t address, std::string& name) {
    name.clear();
    char chunk[64];
    while (name.size() < NameLimit) {
        // Never read across a page end at once: the name may end right before an unmapped page.
        const size_t toPage = 4096 - (address % 4096);
        const size_t piece = toPage < sizeof chunk ? toPage : sizeof chunk;
        if (!SafeRead(address, chunk, piece))
            return false;
        const void* end = std::memchr(chunk, 0, piece);
        if (end != nullptr) {
            name.append(chunk, size_t(static_cast<const char*>(end) - chunk));
            return true;
        }
        name.append(chunk, piece);
        address += piece;
    }
    return false;
}

TKind ReadClass(const std::type_info* cls, TTypeInfoLayout& layout, std::string* name) {
    if (cls == nullptr || !SafeRead(reinterpret_cast<uintptr_t>(cls), &layout, sizeof layout))
        return TKind::None;
    const TKind kind = KindOf(layout.VirtualTable);
    if (kind == TKind::None)
        return kind;
    std::string local;
    if (!ReadName(layout.Name, name ? *name : local))
        return TKind::None;
    return kind;
}

// Decodes "6EAbort", "N2ns6EAbortE" and "St9exception"; other forms stay as they are.
std::string Demangle(const std::string& mangled) {
    std::string text = mangled;
    if (!text.empty() && text[0] == '*')
        text.erase(0, 1);
    size_t pos = 0;
    bool nested = false;
    std::string result;
    if (text.compare(0, 2, "St") == 0) {
        result = "std";
        pos = 2;
    } else if (!text.empty() && text[0] == 'N') {
        nested = true;
        pos = 1;
        if (text.compare(1, 2, "St") == 0) {
            result = "std";
            pos = 3;
        }
    }
    bool any = false;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        size_t length = 0;
        while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && length < NameLimit)
            length = length * 10 + size_t(text[pos++] - '0');
        if (length == 0 || length > text.size() - pos)
            return mangled;
        if (!result.empty())
            result += "::";
        result += text.substr(pos, length);
        pos += length;
        any = true;
        if (!nested)
            break;
    }
    if (nested && pos < text.size() && text[pos] == 'E')
        ++pos;
    if (!any || pos != text.size())
        return mangled;
    return result;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool NameMatches(const std::string& mangled, const std::string& wanted) {
    const std::string full = Upper(Demangle(mangled));
    if (full == wanted)
        return true;
    const size_t colon = full.rfind("::");
    return colon != std::string::npos && full.substr(colon + 2) == wanted;
}

bool Inherits(const std::type_info* cls, const std::string& wanted, int depth, int& visited) {
    if (depth > MaxDepth || ++visited > 4 * MaxBases)
        return false;
    TTypeInfoLayout layout;
    std::string name;
    const TKind kind = ReadClass(cls, layout, &name);
    if (kind == TKind::None)
        return false;
    if (NameMatches(name, wanted))
        return true;
    const auto base = reinterpret_cast<uintptr_t>(cls);
    if (kind == TKind::Single) {
        uintptr_t parent;
        return SafeRead(base + SingleBaseOffset, &parent, sizeof parent) &&
               Inherits(reinterpret_cast<const std::type_info*>(parent), wanted, depth + 1, visited);
    }
    if (kind == TKind::Multiple) {
        uint32_t count;
        if (!SafeRead(base + BaseCountOffset, &count, sizeof count) || count > unsigned(MaxBases))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            TBaseInfo info;
            if (!SafeRead(base + BaseArrayOffset + i * sizeof(TBaseInfo), &info, sizeof info))
                return false;
            if (Inherits(reinterpret_cast<const std::type_info*>(info.Base), wanted, depth + 1, visited))
                return true;
        }
    }
    return false;
}

} // namespace

bool IsValidClass(const std::type_info* cls) {
    TTypeInfoLayout layout;
    return ReadClass(cls, layout, nullptr) != TKind::None;
}

const std::type_info* ObjectClass(const void* object) {
    uintptr_t vtable;
    if (object == nullptr || !SafeRead(reinterpret_cast<uintptr_t>(object), &vtable, sizeof vtable))
        return nullptr;
    uintptr_t info;
    if (vtable < sizeof info || !SafeRead(vtable - sizeof info, &info, sizeof info))
        return nullptr;
    const auto* cls = reinterpret_cast<const std::type_info*>(info);
    return IsValidClass(cls) ? cls : nullptr;
}

bool IsValidObject(const void* object) {
    return ObjectClass(object) != nullptr;
}

std::string ClassName(const std::type_info* cls) {
    TTypeInfoLayout layout;
    std::string name;
    if (ReadClass(cls, layout, &name) == TKind::None)
        return std::string();
    return Demangle(name);
}

bool InheritsFromName(const std::type_info* cls, const std::string& name) {
    const std::string wanted = Upper(TrimText(name));
    if (wanted.empty())
        return false;
    int visited = 0;
    return Inherits(cls, wanted, 0, visited);
}

bool ObjectInheritsFromName(const void* object, const std::string& name) {
    const std::type_info* cls = ObjectClass(object);
    return cls != nullptr && InheritsFromName(cls, name);
}

bool ObjectIsClass(const void* object, const std::type_info* cls) {
    return IsValidClass(cls) && ObjectInheritsFromName(object, ClassName(cls));
}

bool ObjectIsAnyClass(const void* object, const std::vector<const std::type_info*>& classes) {
    for (const std::type_info* cls : classes)
        if (ObjectIsClass(object, cls))
            return true;
    return false;
}

bool IsReportableClass(const std::type_info* cls) {
    return IsValidClass(cls) && !InheritsFromName(cls, "EAbort");
}

bool IsReportableException(const void* object) {
    const std::type_info* cls = ObjectClass(object);
    return cls != nullptr && IsReportableClass(cls);
}

int FindExceptionFilter(const std::type_info* cls, const TOstrelModuleOptions& options) {
    const TOstrelStringList& filters = options.FilterClasses();
    for (int i = 0; i < filters.Count(); ++i)
        if (InheritsFromName(cls, filters.Strings(i)))
            return i;
    return -1;
}

int FindExceptionFilter(const void* object, const TOstrelModuleOptions& options) {
    const std::type_info* cls = ObjectClass(object);
    return cls != nullptr ? FindExceptionFilter(cls, options) : -1;
}

} // namespace reporter
