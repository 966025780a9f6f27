#pragma once
// One transfer handle of the web library with the settings every upload shares: no signals, bounded
// waits, the proxy, the server's replies kept for the error text.
#include "OWebLibrary.h"

#include <string>

namespace reporter {

class TWebTransfer {
public:
    explicit TWebTransfer(const TWebLibrary& library);
    ~TWebTransfer();
    TWebTransfer(const TWebTransfer&) = delete;
    TWebTransfer& operator=(const TWebTransfer&) = delete;

    bool Valid() const { return m_curl != nullptr; }
    CURL* Handle() const { return m_curl; }
    void AddHeader(const std::string& header);
    // Runs the transfer; on failure sets the error number and its text and returns false.
    bool Perform(int& error, std::string& resultText);

    // The last status line text of an HTTP reply ("Created"), the last reply line of an FTP server.
    const std::string& StatusText() const { return m_statusText; }
    const std::string& LastResponse() const { return m_lastResponse; }

    // Percent-encodes what a URL path may not carry as it is; "/" stays, and with keepQuery the characters
    // of a query and of escapes the caller wrote. A file name is encoded whole.
    static std::string EncodePath(const std::string& path, bool keepQuery);

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnTransferInfo(void* self, curl_off_t downTotal, curl_off_t down, curl_off_t upTotal,
                              curl_off_t up);

    const TWebLibrary& m_library;
    CURL* m_curl = nullptr;
    curl_slist* m_headers = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::string m_statusText;
    std::string m_lastResponse;
};

} // namespace reporter
