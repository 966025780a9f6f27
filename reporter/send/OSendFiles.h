#pragma once
// The files a report sends and the names they travel under.
#include <ctime>
#include <string>
#include <vector>

namespace reporter {

struct TSendFile {
    std::string FileName;   // where the file lies
    std::string StoredName; // its attachment name
};
using TSendFiles = std::vector<TSendFile>;

// The file's name without folder; with timeStamp the report's local date and time "yyyymmddhhnnss" joins
// the name before its extension: "Screenshot.png" gives "Screenshot_20240131235959.png".
std::string TimeStampedFileName(const std::string& fileName, bool timeStamp, time_t reportTime);

} // namespace reporter
