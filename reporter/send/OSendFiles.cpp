#include "OSendFiles.h"

#include "OFiles.h"

#include <cstdio>

namespace reporter {

std::string TimeStampedFileName(const std::string& fileName, bool timeStamp, time_t reportTime) {
    const std::string name = ExtractFileName(fileName);
    if (!timeStamp)
        return name;
    tm local{};
    if (localtime_r(&reportTime, &local) == nullptr)
        return name;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "_%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return name + stamp;
    return name.substr(0, dot) + stamp + name.substr(dot);
}

} // namespace reporter
