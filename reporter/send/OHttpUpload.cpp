#include "OHttpUpload.h"

#include "OBase64.h"
#include "OErrors.h"
#include "OFiles.h"
#include "OWebTransfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

namespace reporter {

namespace {

constexpr size_t UploadChunk = 1024;

// The body goes out in chunks so that the progress bar moves; the first request for data means that the
// connection stands.
struct TBodySource {
    const std::string* Body;
    size_t Offset = 0;
    bool Started = false;
    const TUploadProgress* Progress;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* source) {
    auto* s = static_cast<TBodySource*>(source);
    if (!s->Started) {
        s->Started = true;
        if (*s->Progress)
            (*s->Progress)(1, s->Body->size(), 0);
    }
    const size_t chunk = std::min({UploadChunk, size * count, s->Body->size() - s->Offset});
    std::memcpy(buffer, s->Body->data() + s->Offset, chunk);
    s->Offset += chunk;
    if (chunk > 0 && *s->Progress)
        (*s->Progress)(2, s->Body->size(), s->Offset);
    return chunk;
}

std::string UploadURL(bool https, const std::string& host, uint32_t port, const std::string& path) {
    std::string url = std::string(https ? "https" : "http") + "://" + host;
    if (port != 0)
        url += ":" + std::to_string(port);
    return url + "/" + TWebTransfer::EncodePath(path.starts_with("/") ? path.substr(1) : path, true);
}

} // namespace

std::string MultipartBoundary() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> number(0, 65534);
    char text[48];
    std::snprintf(text, sizeof text, "---------------------------%04X%04X%04X", number(generator),
                  number(generator), number(generator));
    return text;
}

std::string BuildMultipartBody(const std::string& boundary, const TSendFiles& files,
                               const std::vector<std::string>& fieldNames,
                               const std::vector<std::string>& fieldValues) {
    std::string body;
    const size_t fields = std::min(fieldNames.size(), fieldValues.size());
    for (size_t i = 0; i < fields; ++i)
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + fieldNames[i] +
                "\";\r\n\r\n" + fieldValues[i] + "\r\n";
    for (size_t i = 0; i < files.size(); ++i) {
        std::vector<uint8_t> data;
        try {
            data = ReadWholeFile(files[i].FileName);
        } catch (const EFileError&) {
            continue; // a missing file is skipped; its number stays unused
        }
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"ol_upload_file_" +
                std::to_string(i) + "\"; filename=\"" + files[i].StoredName +
                "\";\r\nContent-Type: application/octet-stream\r\n\r\n";
        body.append(reinterpret_cast<const char*>(data.data()), data.size());
        body += "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

int WebUploadFiles(const std::string& host, const std::string& path, const std::string& user,
                   const std::string& password, uint32_t port, bool https, const TSendFiles& files,
                   const std::vector<std::string>& fieldNames, const std::vector<std::string>& fieldValues,
                   const TUploadProgress& progress, std::string& resultText) {
    resultText.clear();
    const TWebLibrary library;
    if (!library.Loaded())
        return WebLibraryMissing;
    const std::string boundary = MultipartBoundary();
    const std::string body = BuildMultipartBody(boundary, files, fieldNames, fieldValues);
    if (progress)
        progress(0, 0, 0);

    TWebTransfer transfer(library);
    if (!transfer.Valid()) {
        resultText = WinInetErrorText(12004);
        return 12004;
    }
    CURL* curl = transfer.Handle();
    const std::string url = UploadURL(https, host, port, path);
    library.EasySetopt(curl, CURLOPT_URL, url.c_str());
    library.EasySetopt(curl, CURLOPT_POST, 1L);
    library.EasySetopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    TBodySource source{&body, 0, false, &progress};
    library.EasySetopt(curl, CURLOPT_READFUNCTION, &ReadBody);
    library.EasySetopt(curl, CURLOPT_READDATA, &source);
    // The upload never follows a redirect and keeps no cookies: both are the library's defaults.
    transfer.AddHeader("Content-Type: multipart/form-data; boundary=" + boundary);
    if (!user.empty() || !password.empty())
        transfer.AddHeader("Authorization: Basic " + Base64Encode(user + ":" + password));
    transfer.AddHeader("Expect:"); // the body follows the headers at once
    transfer.AddHeader("Cache-Control: no-cache");

    int error = 0;
    if (!transfer.Perform(error, resultText))
        return error;
    long status = 0;
    if (library.EasyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0)
        error = WebStatusNotNumber;
    else if (status < 200 || status > 299) // "201 Created" and "204 No Content" took the files too
        error = int(status);
    if (error != 0) {
        resultText = transfer.StatusText();
        if (resultText.empty())
            resultText = WinInetErrorText(error);
    }
    return error;
}

} // namespace reporter
