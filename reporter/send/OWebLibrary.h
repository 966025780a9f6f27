#pragma once
// The web transfer library (libcurl), bound at run time for each upload so that the program starts and
// runs without it. Only its header is used at build time; nothing links against it.
#include <curl/curl.h>
#include <string>

namespace reporter {

class TWebLibrary {
public:
    using TEasyInit = CURL* (*)();
    using TEasySetopt = CURLcode (*)(CURL*, CURLoption, ...);
    using TEasyPerform = CURLcode (*)(CURL*);
    using TEasyGetinfo = CURLcode (*)(CURL*, CURLINFO, ...);
    using TEasyCleanup = void (*)(CURL*);
    using TEasyStrerror = const char* (*)(CURLcode);
    using TSlistAppend = curl_slist* (*)(curl_slist*, const char*);
    using TSlistFreeAll = void (*)(curl_slist*);

    // Loads the library; Loaded() tells whether it and every entry point were found.
    TWebLibrary();
    ~TWebLibrary();
    TWebLibrary(const TWebLibrary&) = delete;
    TWebLibrary& operator=(const TWebLibrary&) = delete;

    bool Loaded() const { return m_handle != nullptr; }

    TEasyInit EasyInit = nullptr;
    TEasySetopt EasySetopt = nullptr;
    TEasyPerform EasyPerform = nullptr;
    TEasyGetinfo EasyGetinfo = nullptr;
    TEasyCleanup EasyCleanup = nullptr;
    TEasyStrerror EasyStrerror = nullptr;
    TSlistAppend SlistAppend = nullptr;
    TSlistFreeAll SlistFreeAll = nullptr;

private:
    void* m_handle = nullptr;
};

// The library file that is loaded: "libcurl.so.4" unless a test names another.
std::string WebLibraryName();
void SetWebLibraryName(const std::string& name);

// The upload error number for a failed transfer: the number of the classic web error of the same meaning
// (12002 time-out, 12007 unknown host, 12029 no connection, ...), or the library's own code when there is
// none.
int WebErrorNumber(CURLcode code);

} // namespace reporter
