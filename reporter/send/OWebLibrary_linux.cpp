#include "OWebLibrary.h"

#include <dlfcn.h>
#include <mutex>

namespace reporter {

namespace {

std::mutex gNameLock;
std::string gLibraryName = "libcurl.so.4";

template <typename T> bool Bind(void* handle, const char* name, T& slot) {
    slot = reinterpret_cast<T>(::dlsym(handle, name));
    return slot != nullptr;
}

struct TErrorMapping {
    CURLcode Code;
    int Number;
};

// The transfer library's failures as the error numbers that users of the upload know from its logs.
constexpr TErrorMapping ErrorMappings[] = {
    {CURLE_OPERATION_TIMEDOUT, 12002},
    {CURLE_URL_MALFORMAT, 12005},
    {CURLE_UNSUPPORTED_PROTOCOL, 12006},
    {CURLE_COULDNT_RESOLVE_HOST, 12007},
    {CURLE_COULDNT_RESOLVE_PROXY, 12007},
    {CURLE_LOGIN_DENIED, 12015},
    {CURLE_COULDNT_CONNECT, 12029},
    {CURLE_RECV_ERROR, 12030},
    {CURLE_PARTIAL_FILE, 12030},
    {CURLE_SEND_ERROR, 12031},
    {CURLE_GOT_NOTHING, 12031},
    {CURLE_REMOTE_ACCESS_DENIED, 12003},
    {CURLE_UPLOAD_FAILED, 12003},
    {CURLE_QUOTE_ERROR, 12003},
    {CURLE_FTP_WEIRD_SERVER_REPLY, 12111},
    {CURLE_FTP_WEIRD_PASV_REPLY, 12112},
    {CURLE_FTP_WEIRD_227_FORMAT, 12112},
    {CURLE_FTP_PORT_FAILED, 12112},
    {CURLE_FTP_ACCEPT_FAILED, 12111},
    {CURLE_FTP_ACCEPT_TIMEOUT, 12111},
    {CURLE_WEIRD_SERVER_REPLY, 12152},
    {CURLE_PEER_FAILED_VERIFICATION, 12045},
    {CURLE_SSL_CACERT_BADFILE, 12045},
    {CURLE_SSL_CERTPROBLEM, 12044},
    {CURLE_SSL_ISSUER_ERROR, 12169},
};

} // namespace

std::string WebLibraryName() {
    std::lock_guard guard(gNameLock);
    return gLibraryName;
}

void SetWebLibraryName(const std::string& name) {
    std::lock_guard guard(gNameLock);
    gLibraryName = name;
}

TWebLibrary::TWebLibrary() {
    // Kept resident once loaded: the library's TLS back end installs exit handlers that must not
    // outlive its code.
    void* handle = ::dlopen(WebLibraryName().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
        return;
    const bool bound =
        Bind(handle, "curl_easy_init", EasyInit) && Bind(handle, "curl_easy_setopt", EasySetopt) &&
        Bind(handle, "curl_easy_perform", EasyPerform) && Bind(handle, "curl_easy_getinfo", EasyGetinfo) &&
        Bind(handle, "curl_easy_cleanup", EasyCleanup) && Bind(handle, "curl_easy_strerror", EasyStrerror) &&
        Bind(handle, "curl_slist_append", SlistAppend) && Bind(handle, "curl_slist_free_all", SlistFreeAll);
    if (bound)
        m_handle = handle;
    else
        ::dlclose(handle);
}

TWebLibrary::~TWebLibrary() {
    if (m_handle != nullptr)
        ::dlclose(m_handle);
}

int WebErrorNumber(CURLcode code) {
    for (const TErrorMapping& m : ErrorMappings)
        if (m.Code == code)
            return m.Number;
    return int(code);
}

} // namespace reporter
