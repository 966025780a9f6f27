#pragma once
// Uploads a report's files with one HTTP or HTTPS POST of a multipart/form-data body: the custom form
// fields, then one file field "ol_upload_file_<index>" per existing file.
#include "OSendFiles.h"
#include "OWebUpload.h"

#include <string>
#include <vector>

namespace reporter {

// "---------------------------" and three random numbers as four hexadecimal digits each.
std::string MultipartBoundary();
// The whole body; a file that does not exist (or cannot be read) is left out, its index unused.
std::string BuildMultipartBody(const std::string& boundary, const TSendFiles& files,
                               const std::vector<std::string>& fieldNames,
                               const std::vector<std::string>& fieldValues);

// Result 0 when the server answered 200; else -1 (no transfer library), the error number of a failed
// transfer, the HTTP status, or 0x7FFFFFFF; resultText then tells why.
int WebUploadFiles(const std::string& host, const std::string& path, const std::string& user,
                   const std::string& password, uint32_t port, bool https, const TSendFiles& files,
                   const std::vector<std::string>& fieldNames, const std::vector<std::string>& fieldValues,
                   const TUploadProgress& progress, std::string& resultText);

} // namespace reporter
