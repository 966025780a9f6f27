#pragma once
// Uploads a report's files by FTP into a folder, in binary mode over one connection.
#include "OSendFiles.h"
#include "OWebUpload.h"

#include <string>

namespace reporter {

// Result 0 when every existing file went up (or there was nothing to send); else -1 (no transfer library)
// or the error number of the failed transfer, with resultText telling why (the server's reply when it
// gave one).
int FTPUploadFiles(const std::string& host, const std::string& folder, const std::string& user,
                   const std::string& password, uint32_t port, const TSendFiles& files,
                   const TUploadProgress& progress, std::string& resultText);

} // namespace reporter
