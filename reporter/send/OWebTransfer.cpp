#include "OWebTransfer.h"

#include "OReportProgress.h"
#include "OSendBudget.h"
#include "OWebUpload.h"

#include <cctype>

namespace reporter {

namespace {

// A server that stops answering ends the upload instead of holding the sending thread.
constexpr long ConnectTimeOutSeconds = 60;
constexpr long StalledSeconds = 120;
constexpr size_t MaxKeptResponse = 3000;

std::string TrimLine(const char* data, size_t size) {
    std::string line(data, size);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

} // namespace

TWebTransfer::TWebTransfer(const TWebLibrary& library) : m_library(library) {
    m_curl = m_library.EasyInit();
    if (m_curl == nullptr)
        return;
    const auto set = m_library.EasySetopt;
    set(m_curl, CURLOPT_NOSIGNAL, 1L);
    set(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    set(m_curl, CURLOPT_USERAGENT, "OstrelLog");
    set(m_curl, CURLOPT_CONNECTTIMEOUT, ConnectTimeOutSeconds);
    set(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(m_curl, CURLOPT_LOW_SPEED_TIME, StalledSeconds);
    set(m_curl, CURLOPT_HEADERFUNCTION, &TWebTransfer::OnHeader);
    set(m_curl, CURLOPT_HEADERDATA, this);
    set(m_curl, CURLOPT_WRITEFUNCTION, &TWebTransfer::OnBody);
    set(m_curl, CURLOPT_WRITEDATA, this);
    // Called as bytes move and about once a second while they do not: the faulting thread that waits
    // for the report sees the transfer go on (its own time-outs bound it).
    set(m_curl, CURLOPT_XFERINFOFUNCTION, &TWebTransfer::OnTransferInfo);
    set(m_curl, CURLOPT_NOPROGRESS, 0L);
    const TProxySettings proxy = ProxySettings();
    if (!proxy.Server.empty()) {
        set(m_curl, CURLOPT_PROXY, proxy.Server.c_str());
        set(m_curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
        if (!proxy.User.empty() || !proxy.Password.empty()) {
            set(m_curl, CURLOPT_PROXYUSERNAME, proxy.User.c_str());
            set(m_curl, CURLOPT_PROXYPASSWORD, proxy.Password.c_str());
        }
    }
}

TWebTransfer::~TWebTransfer() {
    if (m_curl != nullptr)
        m_library.EasyCleanup(m_curl);
    if (m_headers != nullptr)
        m_library.SlistFreeAll(m_headers);
}

void TWebTransfer::AddHeader(const std::string& header) {
    if (curl_slist* list = m_library.SlistAppend(m_headers, header.c_str()))
        m_headers = list;
    m_library.EasySetopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
}

bool TWebTransfer::Perform(int& error, std::string& resultText) {
    m_errorBuffer[0] = '\0';
    // The report's sending bound, from its first connection, over the whole transfer.
    StartSendClock();
    const int64_t leftMs = SendTimeLeftMs(SendTimeLimit().count());
    const CURLcode code = leftMs == 0 ? CURLE_OPERATION_TIMEDOUT
                          : m_library.EasySetopt(m_curl, CURLOPT_TIMEOUT_MS, long(leftMs)) != CURLE_OK
                              ? CURLE_FAILED_INIT
                              : m_library.EasyPerform(m_curl);
    if (code == CURLE_OK)
        return true;
    error = WebErrorNumber(code);
    resultText = WinInetErrorText(error, m_lastResponse);
    if (resultText.empty())
        resultText = m_errorBuffer[0] != '\0' ? m_errorBuffer : m_library.EasyStrerror(code);
    return false;
}

int TWebTransfer::OnTransferInfo(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    NoteReportProgress();
    return 0;
}

size_t TWebTransfer::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* transfer = static_cast<TWebTransfer*>(self);
    const size_t length = size * count;
    const std::string line = TrimLine(data, std::min(length, MaxKeptResponse));
    if (line.compare(0, 5, "HTTP/") == 0) {
        // "HTTP/1.1 201 Created": the text after the code.
        const size_t code = line.find(' ');
        const size_t text = code == std::string::npos ? code : line.find(' ', code + 1);
        transfer->m_statusText = text == std::string::npos ? std::string() : line.substr(text + 1);
    } else if (line.size() >= 3 && std::isdigit((unsigned char)line[0]) &&
               std::isdigit((unsigned char)line[1]) && std::isdigit((unsigned char)line[2])) {
        transfer->m_lastResponse = line; // an FTP server's reply
    }
    return length;
}

size_t TWebTransfer::OnBody(char*, size_t size, size_t count, void*) {
    return size * count; // the server's page is not needed
}

std::string TWebTransfer::EncodePath(const std::string& path, bool keepQuery) {
    static const char hex[] = "0123456789ABCDEF";
    static const std::string queryCharacters = "?&=%+;:@,!$'()*";
    std::string result;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' ||
            (keepQuery && queryCharacters.find(char(c)) != std::string::npos))
            result += char(c);
        else
            result.append({'%', hex[c >> 4], hex[c & 15]});
    }
    return result;
}

} // namespace reporter
