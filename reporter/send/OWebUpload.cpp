#include "OWebUpload.h"

#include "OTextUtils.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

namespace reporter {

namespace {

std::mutex gProxyLock;
TProxySettings gProxy;

// Each row: the five-digit error number, a blank, the message.
constexpr std::array<const char*, 46> WebErrorTexts = {
    "12002 The request has timed out.",
    "12003 An extended error was returned from the server.",
    "12004 An internal error has occurred.",
    "12005 The URL is invalid.",
    "12006 The URL scheme could not be recognized, or is not supported.",
    "12007 The server name could not be resolved.",
    "12013 User name incorrect.",
    "12014 Password incorrect.",
    "12015 Log on request failed.",
    "12016 The requested operation is invalid.",
    "12020 The request could not be made through a proxy.",
    "12028 The requested item could not be found.",
    "12029 The attempt to connect to the server failed.",
    "12030 The connection with the server has been terminated.",
    "12031 The connection with the server has been reset.",
    "12033 The request to the proxy was invalid.",
    "12037 SSL certificate date that was received from the server is bad. The certificate is expired.",
    "12038 SSL certificate host name field is incorrect.",
    "12039 The application is moving from a non-SSL to an SSL connection because of a redirect.",
    "12040 The application is moving from an SSL to a non-SSL connection because of a redirect.",
    "12041 The content is not entirely secure.",
    "12042 The application is posting and attempting to change multiple lines of text on a server that is "
    "not secure.",
    "12043 The application is posting data to a server that is not secure.",
    "12044 The server is requesting client authentication.",
    "12045 The function is unfamiliar with the Certificate Authority that generated the server's "
    "certificate.",
    "12052 The data being submitted to an SSL connection is being redirected to a non-SSL connection.",
    "12055 The SSL certificate contains errors.",
    "12111 FTP session aborted.",
    "12112 Passive mode is not available on the server.",
    "12133 There is no more data.",
    "12150 The requested header could not be located.",
    "12151 The server did not return any headers.",
    "12152 The server response could not be parsed.",
    "12153 The supplied header is invalid.",
    "12160 The HTTP request was not redirected.",
    "12161 The HTTP cookie requires confirmation.",
    "12162 The HTTP cookie was declined by the server.",
    "12163 The Internet connection has been lost.",
    "12164 The Web site or server indicated is unreachable.",
    "12165 The designated proxy server cannot be reached.",
    "12166 There was an error in the automatic proxy configuration script.",
    "12167 The automatic proxy configuration script could not be downloaded.",
    "12168 The redirection requires user confirmation.",
    "12169 SSL certificate is invalid.",
    "12170 SSL certificate was revoked.",
    "12171 The function failed due to a security check.",
};

bool IsHostName(const std::string& text) {
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') // an IPv6 address
        return text.find_first_not_of("0123456789abcdefABCDEF:.", 1) == text.size() - 1;
    for (char c : text)
        if (!std::isalnum((unsigned char)c) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}

// Letters, digits, "-" and ".": the characters a user name or password in an upload URL may hold.
bool IsAccountName(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '.';
    });
}

// Decimal digits of a port from 1 to 65535.
bool ParsePort(const std::string& digits, uint32_t& port) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(digits);
    if (value == 0 || value > 65535)
        return false;
    port = uint32_t(value);
    return true;
}

} // namespace

TProxySettings ProxySettings() {
    std::lock_guard guard(gProxyLock);
    return gProxy;
}

void SetProxySettings(const TProxySettings& settings) {
    std::lock_guard guard(gProxyLock);
    gProxy = settings;
}

bool ParseURL(const std::string& url, std::string& scheme, std::string& user, uint32_t& port,
              std::string& path, std::string& host, std::string& password) {
    scheme.clear();
    user.clear();
    password.clear();
    host.clear();
    path.clear();
    port = 0;
    std::string rest = TrimText(url);
    if (rest.empty())
        return true;
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos && rest.find_first_of("/@", 0) > schemeEnd) {
        scheme = rest.substr(0, schemeEnd);
        rest.erase(0, schemeEnd + 3);
    }
    // The host part ends at the path, the query or the fragment: an "@" or ":" after them names no
    // account, host or port. The query stays with the path; the fragment is never sent.
    const size_t authorityEnd = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, authorityEnd);
    if (authorityEnd != std::string::npos)
        path = rest.substr(rest[authorityEnd] == '/' ? authorityEnd + 1 : authorityEnd);
    path.erase(std::min(path.find('#'), path.size()));
    while (!path.empty() && path.back() == '/')
        path.pop_back();

    // An account is taken only when it is made of name characters: anything else before an "@" (a
    // backslash, a blank) would let the text after it pass for the host, and is refused instead.
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        const size_t colon = userInfo.find(':');
        user = userInfo.substr(0, colon);
        if (colon != std::string::npos)
            password = userInfo.substr(colon + 1);
        if (!IsAccountName(user) || !IsAccountName(password))
            return false;
        authority.erase(0, at + 1);
    }
    const size_t portColon = authority.rfind(':');
    if (portColon != std::string::npos && authority.find(']', portColon) == std::string::npos) {
        if (!ParsePort(authority.substr(portColon + 1), port))
            return false;
        authority.erase(portColon);
    } else {
        // Stored URLs may carry the port after the path ("http://host/upload:8080").
        const size_t tail = path.rfind(':');
        uint32_t trailing = 0;
        if (tail != std::string::npos && path.find_first_of("/?", tail) == std::string::npos &&
            path.find('?') == std::string::npos && ParsePort(path.substr(tail + 1), trailing)) {
            port = trailing;
            path.erase(tail);
        }
    }
    // Once more after a port that followed the path: "host/dir/:8080" is the folder "dir" too.
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    if (authority.empty() || !IsHostName(authority))
        return false;
    host = authority;
    return true;
}

std::string WinInetErrorText(int code, const std::string& lastResponse) {
    if (!lastResponse.empty())
        return lastResponse;
    const std::string number = std::to_string(code);
    for (const char* row : WebErrorTexts) {
        const std::string text(row);
        if (number.size() == 5 && text.compare(0, 5, number) == 0)
            return text.substr(6);
    }
    return std::string();
}

} // namespace reporter
