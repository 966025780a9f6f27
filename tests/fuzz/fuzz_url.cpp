// The URL parser of the uploads. A URL that parses must give a host that is a name, a port from 1 to
// 65535 or none, and a path without a trailing "/"; a URL made of plain parts must compose back into a
// URL that parses into the same parts.
#include "FuzzSupport.h"
#include "OWebUpload.h"

#include <algorithm>
#include <string>

namespace {

struct TParts {
    std::string Scheme, User, Path, Host, Password;
    std::uint32_t Port = 0;
    bool operator==(const TParts&) const = default;
};

bool Parse(const std::string& url, TParts& parts) {
    return reporter::ParseURL(url, parts.Scheme, parts.User, parts.Port, parts.Path, parts.Host,
                              parts.Password);
}

bool Plain(const std::string& text, bool slashes) {
    return std::all_of(text.begin(), text.end(), [slashes](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_' || (slashes && c == '/');
    });
}

std::string Compose(const TParts& parts) {
    std::string url;
    if (!parts.Scheme.empty())
        url += parts.Scheme + "://";
    if (!parts.User.empty() || !parts.Password.empty())
        url += parts.User + (parts.Password.empty() ? "" : ":" + parts.Password) + "@";
    url += parts.Host;
    if (parts.Port != 0)
        url += ":" + std::to_string(parts.Port);
    if (!parts.Path.empty())
        url += "/" + parts.Path;
    return url;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string url(reinterpret_cast<const char*>(data), size);
    TParts parts;
    if (!Parse(url, parts) || parts.Host.empty())
        return 0;
    fuzz::Check(parts.Host.find_first_of("/@ \t\r\n") == std::string::npos, "a host that is no name");
    fuzz::Check(parts.Port <= 65535, "a port past 65535");
    fuzz::Check(parts.Path.empty() || parts.Path.back() != '/', "a path ending in a slash");
    if (!Plain(parts.Scheme, false) || !Plain(parts.User, false) || !Plain(parts.Password, false) ||
        !Plain(parts.Path, true) || parts.Path.starts_with('/'))
        return 0;
    TParts again;
    fuzz::Check(Parse(Compose(parts), again), "a composed URL does not parse");
    fuzz::Check(again == parts, "a composed URL parses into other parts");
    return 0;
}
