#include "OWebUpload.h"

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

bool IsPlainPart(const std::string& text) {
    for (char c : text)
        if (!std::isalnum((unsigned char)c) && c != '-' && c != '.')
            return false;
    return true;
}

// The text before the delimiter, removed with it, when it is a plain part; else empty and nothing removed.
std::string SplitOff(std::string& rest, const std::string& delimiter) {
    const size_t at = rest.find(delimiter);
    if (at == std::string::npos || !IsPlainPart(rest.substr(0, at)))
        return std::string();
    std::string part = rest.substr(0, at);
    rest.erase(0, at + delimiter.size());
    return part;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
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
    std::string rest = Trim(url);
    if (!rest.empty() && rest.back() != '/')
        rest += '/';
    port = 0;
    if (rest.size() >= 2) {
        // Only a port at the very end of the URL is seen.
        size_t digitsStart = rest.size() - 1;
        while (digitsStart > 0 && std::isdigit((unsigned char)rest[digitsStart - 1]))
            --digitsStart;
        if (digitsStart > 0 && rest[digitsStart - 1] == ':') {
            const std::string digits = rest.substr(digitsStart, rest.size() - 1 - digitsStart);
            if (digits.empty() || digits.size() > 5 || std::stoul(digits) > 65535)
                return false;
            port = uint32_t(std::stoul(digits));
            rest.erase(digitsStart - 1, digits.size() + 1);
        }
    }
    scheme = SplitOff(rest, "://");
    user = SplitOff(rest, ":");
    password = SplitOff(rest, "@");
    host = SplitOff(rest, "/");
    path = rest.empty() ? std::string() : rest.substr(0, rest.size() - 1);
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
