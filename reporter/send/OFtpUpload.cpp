#include "OFtpUpload.h"

#include "OErrors.h"
#include "OFiles.h"
#include "OWebTransfer.h"

#include <cstring>
#include <sys/stat.h>

namespace reporter {

namespace {

constexpr size_t UploadChunk = 1024;

struct TFileSource {
    const std::vector<uint8_t>* Data;
    size_t Offset = 0;
    uint64_t DoneBefore = 0; // bytes of the files sent before this one
    uint64_t Total = 0;
    bool* Connected;
    const TUploadProgress* Progress;
};

size_t ReadFileData(char* buffer, size_t size, size_t count, void* source) {
    auto* s = static_cast<TFileSource*>(source);
    if (!*s->Connected) {
        *s->Connected = true;
        if (*s->Progress)
            (*s->Progress)(1, s->Total, 0);
    }
    const size_t chunk = std::min({UploadChunk, size * count, s->Data->size() - s->Offset});
    std::memcpy(buffer, s->Data->data() + s->Offset, chunk);
    s->Offset += chunk;
    // The bar counts every file sent so far against the whole, so that it never runs backwards.
    if (chunk > 0 && *s->Progress)
        (*s->Progress)(2, s->Total, s->DoneBefore + s->Offset);
    return chunk;
}

bool IsExistingFile(const std::string& path, uint64_t& size) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = uint64_t(info.st_size);
    return true;
}

} // namespace

int FTPUploadFiles(const std::string& host, const std::string& folder, const std::string& user,
                   const std::string& password, uint32_t port, const TSendFiles& files,
                   const TUploadProgress& progress, std::string& resultText) {
    resultText.clear();
    if (files.empty())
        return 0;
    const TWebLibrary library;
    if (!library.Loaded())
        return WebLibraryMissing;
    uint64_t total = 0;
    for (const TSendFile& file : files) {
        uint64_t size = 0;
        if (IsExistingFile(file.FileName, size))
            total += size;
    }
    if (progress)
        progress(0, total, 0);

    TWebTransfer transfer(library);
    if (!transfer.Valid()) {
        resultText = WinInetErrorText(12004);
        return 12004;
    }
    CURL* curl = transfer.Handle();
    library.EasySetopt(curl, CURLOPT_UPLOAD, 1L);
    library.EasySetopt(curl, CURLOPT_FTPPORT, "-"); // active mode
    if (!user.empty() || !password.empty()) {
        library.EasySetopt(curl, CURLOPT_USERNAME, user.c_str());
        library.EasySetopt(curl, CURLOPT_PASSWORD, password.c_str());
    }
    std::string base = "ftp://" + host + (port != 0 ? ":" + std::to_string(port) : std::string()) + "/";
    std::string remoteFolder = folder;
    if (!remoteFolder.empty() && remoteFolder.back() != '/')
        remoteFolder += '/';
    if (remoteFolder.starts_with("/"))
        base += "%2F"; // a folder from the root, not from the login folder
    bool connected = false;
    uint64_t done = 0;
    for (const TSendFile& file : files) {
        std::vector<uint8_t> data;
        uint64_t size = 0;
        if (!IsExistingFile(file.FileName, size))
            continue;
        try {
            data = ReadWholeFile(file.FileName);
        } catch (const EFileError&) {
            continue;
        }
        const std::string remote = remoteFolder + ExtractFileName(file.StoredName);
        const std::string url =
            base + TWebTransfer::EncodePath(remote.starts_with("/") ? remote.substr(1) : remote, false);
        TFileSource source{&data, 0, done, total, &connected, &progress};
        library.EasySetopt(curl, CURLOPT_URL, url.c_str());
        library.EasySetopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(data.size()));
        library.EasySetopt(curl, CURLOPT_READFUNCTION, &ReadFileData);
        library.EasySetopt(curl, CURLOPT_READDATA, &source);
        int error = 0;
        if (!transfer.Perform(error, resultText))
            return error;
        done += data.size();
    }
    return 0;
}

} // namespace reporter
