#include "ORoutineName.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <string_view>

namespace reporter {

namespace {

constexpr std::string_view AnonymousNamespace = "(anonymous namespace)";
constexpr std::string_view LambdaPart = "<lambda>";
constexpr std::string_view CallOperator = "operator()";

bool IsIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Where the keyword "operator" starts as a word, npos when the name has none.
size_t OperatorKeyword(std::string_view text) {
    for (size_t at = text.find("operator"); at != std::string_view::npos;
         at = text.find("operator", at + 1)) {
        const size_t end = at + 8;
        if ((at == 0 || !IsIdentifierChar(text[at - 1])) &&
            (end >= text.size() || !IsIdentifierChar(text[end])))
            return at;
    }
    return std::string_view::npos;
}

int DepthChange(char c) {
    switch (c) {
    case '<':
    case '(':
    case '{':
    case '[':
        return 1;
    case '>':
    case ')':
    case '}':
    case ']':
        return -1;
    default:
        return 0;
    }
}

// The first "(" outside brackets from the start of the text: past an operator's own symbol (an
// "operator()" keeps its brackets) and past "(anonymous namespace)".
size_t ParameterListStart(std::string_view text) {
    const size_t keyword = OperatorKeyword(text);
    size_t from = 0;
    if (keyword != std::string_view::npos) {
        from = keyword + 8;
        if (text.compare(from, 2, "()") == 0)
            from += 2;
    }
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, AnonymousNamespace.size(), AnonymousNamespace) == 0) {
            i += AnonymousNamespace.size() - 1;
            continue;
        }
        if (i >= from && depth == 0 && text[i] == '(')
            return i;
        // An operator's symbol ("operator<", "operator>>") opens and closes nothing.
        if (keyword == std::string_view::npos || i < keyword)
            depth += DepthChange(text[i]);
    }
    return std::string_view::npos;
}

// The text split at "::" outside brackets; an operator's own symbol is never split.
std::vector<std::string> SplitAtScopes(std::string_view name) {
    std::vector<std::string> parts;
    const size_t keyword = OperatorKeyword(name);
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size() && i != keyword; ++i) {
        if (name.compare(i, AnonymousNamespace.size(), AnonymousNamespace) == 0) {
            i += AnonymousNamespace.size() - 1;
            continue;
        }
        depth += DepthChange(name[i]);
        if (depth == 0 && name.compare(i, 2, "::") == 0) {
            parts.emplace_back(name.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    parts.emplace_back(name.substr(start));
    return parts;
}

std::string JoinParts(const std::vector<std::string>& parts, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i)
        text += (i > from ? "::" : "") + parts[i];
    return text;
}

// The name without its clone suffix and its final parameter list, and without a return type.
std::string QualifiedName(const std::string& demangled) {
    std::string text = demangled;
    const size_t clone = text.find(" [clone");
    if (clone != std::string::npos)
        text.resize(clone);
    // The last part's parameters: what follows the last "::" outside brackets.
    const std::vector<std::string> parts = SplitAtScopes(text);
    const size_t lastStart = text.size() - parts.back().size();
    const size_t open = ParameterListStart(std::string_view(text).substr(lastStart));
    if (open != std::string::npos)
        text.resize(lastStart + open);
    // A template routine's name comes after its return type: the last space outside brackets before the
    // first parameter list (an enclosing routine's) or the operator keyword.
    const size_t keyword = OperatorKeyword(text);
    size_t limit = std::min(keyword, text.size());
    int depth = 0;
    for (size_t i = 0; i < limit; ++i) {
        if (text.compare(i, AnonymousNamespace.size(), AnonymousNamespace) == 0) {
            i += AnonymousNamespace.size() - 1;
            continue;
        }
        if (depth == 0 && text[i] == '(') {
            limit = i;
            break;
        }
        depth += DepthChange(text[i]);
    }
    depth = 0;
    size_t space = std::string::npos;
    for (size_t i = 0; i < limit; ++i) {
        if (text.compare(i, AnonymousNamespace.size(), AnonymousNamespace) == 0) {
            i += AnonymousNamespace.size() - 1;
            continue;
        }
        depth += DepthChange(text[i]);
        if (depth == 0 && text[i] == ' ')
            space = i;
    }
    if (space != std::string::npos)
        text.erase(0, space + 1);
    return text;
}

} // namespace

std::string Demangle(const std::string& name) {
    if (name.compare(0, 2, "_Z") != 0)
        return std::string();
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string();
}

std::string StripSignature(const std::string& demangled) {
    const std::vector<std::string> parts = QualifiedParts(demangled);
    return JoinParts(parts, 0, parts.size());
}

std::vector<std::string> QualifiedParts(const std::string& demangled) {
    std::vector<std::string> parts = SplitAtScopes(QualifiedName(demangled));
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string& part = parts[i];
        if (part.compare(0, 7, "{lambda") == 0) {
            part = LambdaPart;
            continue;
        }
        // An enclosing routine's part carries its parameters (and qualifiers after them).
        if (i + 1 < parts.size()) {
            const size_t open = ParameterListStart(part);
            if (open != std::string::npos && open > 0)
                part.resize(open);
        }
    }
    return parts;
}

std::vector<std::string> RoutineParts(const std::string& demangled) {
    std::vector<std::string> parts = QualifiedParts(demangled);
    size_t lambda = 1;
    while (lambda < parts.size() && parts[lambda] != LambdaPart)
        ++lambda;
    if (lambda >= parts.size())
        return parts;
    // A lambda's body is named after the routine that holds it; its call operator is implied.
    if (parts.size() - lambda >= 2 && parts.back() == CallOperator && parts[parts.size() - 2] == LambdaPart)
        parts.pop_back();
    parts[lambda - 1] = JoinParts(parts, lambda - 1, parts.size());
    parts.resize(lambda);
    return parts;
}

TRoutineName SplitRoutineName(const std::string& demangled) {
    const std::vector<std::string> parts = RoutineParts(demangled);
    return TRoutineName{JoinParts(parts, 0, parts.size() - 1), parts.back()};
}

} // namespace reporter
