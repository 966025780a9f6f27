#include "OReportFolder.h"

#include "OErrors.h"
#include "OTextUtils.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace reporter {

TReportFolder::TReportFolder() {
    std::string folder = GetTempFolder() + "OstrelLog-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr)
        throw EFileError("Cannot create \"" + folder + "\": " + std::strerror(errno));
    m_path = folder + "/";
}

TReportFolder::~TReportFolder() {
    // Only names inside the folder are removed; a link among them goes, never what it points at.
    const int descriptor = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor >= 0) {
        if (DIR* directory = ::fdopendir(descriptor)) {
            while (const dirent* entry = ::readdir(directory)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    ::unlinkat(::dirfd(directory), name.c_str(), 0);
            }
            ::closedir(directory);
        } else {
            ::close(descriptor);
        }
    }
    ::rmdir(m_path.c_str());
}

} // namespace reporter
