#include "OReportFolder.h"

#include "OCore.h"
#include "OErrors.h"
#include "OFiles.h"
#include "OTextUtils.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

std::string UnusedFileName(const std::string& folder, const std::string& name) {
    const std::string prefix = IncludeTrailingBackslashEx(folder);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    for (int number = 0; number < 1000; ++number) {
        char suffix[8] = {};
        if (number > 0)
            std::snprintf(suffix, sizeof suffix, "_%03d", number);
        const std::string candidate = prefix + stem + suffix + extension;
        struct stat info;
        if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
    return std::string();
}

namespace {

// Skips a run of digits of the given length bounds at pos; false when there is none.
bool SkipDigits(std::string_view text, size_t& pos, size_t least, size_t most) {
    size_t count = 0;
    while (pos + count < text.size() && count < most && text[pos + count] >= '0' && text[pos + count] <= '9')
        ++count;
    if (count < least)
        return false;
    pos += count;
    return true;
}

} // namespace

bool IsUnsentReportName(std::string_view file) {
    const std::string_view name = CompressFileName;
    const std::string_view stem = name.substr(0, name.rfind('.'));
    const std::string_view extension = name.substr(name.rfind('.'));
    if (!file.starts_with(stem) || !file.ends_with(extension) || file.size() < name.size())
        return false;
    const std::string_view middle = file.substr(stem.size(), file.size() - name.size());
    size_t pos = 0;
    // An optional "_" and a run of digits; pos moves past it only when it is there whole.
    const auto group = [&](size_t least, size_t most) {
        size_t at = pos + 1;
        if (pos < middle.size() && middle[pos] == '_' && SkipDigits(middle, at, least, most))
            pos = at;
    };
    group(14, 15); // the report's time stamp
    group(3, 3);   // the number of a name already taken
    return pos == middle.size();
}

std::string MoveToUnusedName(const std::string& file, const std::string& folder, const std::string& name) {
    // Another process may take the free name between the choice and the move: the next one is tried.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string target = UnusedFileName(folder, name);
        if (target.empty())
            break;
        if (MoveFileNoReplace(file, target))
            return target;
        if (errno != EEXIST)
            return std::string();
    }
    errno = EEXIST;
    return std::string();
}

namespace {

constexpr size_t MaxKeptOrderSize = 64 * 1024;
constexpr auto FolderLockWait = std::chrono::seconds(5);

struct TKeptReport {
    std::string Name;
    timespec Modified{};
};

bool ModifiedEarlier(const TKeptReport& a, const TKeptReport& b) {
    if (a.Modified.tv_sec != b.Modified.tv_sec)
        return a.Modified.tv_sec < b.Modified.tv_sec;
    if (a.Modified.tv_nsec != b.Modified.tv_nsec)
        return a.Modified.tv_nsec < b.Modified.tv_nsec;
    return a.Name < b.Name;
}

// Processes that keep reports in one folder take turns: the lock on the folder itself, waited for a
// bounded time (pruning without it is still better than keeping every report for ever).
class TFolderLock {
public:
    explicit TFolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        const auto deadline = std::chrono::steady_clock::now() + FolderLockWait;
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0 &&
               (errno == EWOULDBLOCK || errno == EINTR) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~TFolderLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

private:
    int m_fd;
};

// The recorded order of keeping; false when a record exists but cannot be read whole, which is then
// left as it is.
bool ReadKeptOrder(const std::string& path, std::vector<std::string>& names) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    std::vector<uint8_t> data;
    try {
        data = ReadWholeFile(path, MaxKeptOrderSize);
    } catch (const EFileError&) {
        return false;
    }
    std::vector<std::string> lines;
    SplitText("\r\n", std::string(data.begin(), data.end()), lines);
    for (const std::string& line : lines)
        if (IsUnsentReportName(line) && std::find(names.begin(), names.end(), line) == names.end())
            names.push_back(line);
    return true;
}

// Replaces the record by a new file renamed over it.
void WriteKeptOrder(const std::string& path, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += name + "\n";
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return;
    // Every user who keeps reports in the folder follows the record: it holds only names that the
    // folder's listing shows anyway.
    ::fchmod(fd, 0644);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    if (::close(fd) != 0 || done != text.size() || ::rename(temporary.c_str(), path.c_str()) != 0)
        ::unlink(temporary.c_str());
}

} // namespace

void PruneUnsentReports(const std::string& folder, size_t keep, const std::string& newest) {
    const std::string prefix = IncludeTrailingBackslashEx(folder);
    const TFolderLock lock(prefix);
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(prefix.c_str()), &::closedir);
    if (!directory)
        return;
    const std::string newestName = ExtractFileName(newest);
    std::vector<TKeptReport> unrecorded;
    std::vector<std::string> present;
    while (const dirent* entry = ::readdir(directory.get())) {
        // Only names the reporter gives: other archives in the folder belong to the user.
        if (!IsUnsentReportName(entry->d_name))
            continue;
        struct stat info;
        if (::lstat((prefix + entry->d_name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        present.push_back(entry->d_name);
        unrecorded.push_back({entry->d_name, info.st_mtim});
    }
    const auto isPresent = [&](const std::string& name) {
        return std::find(present.begin(), present.end(), name) != present.end();
    };
    std::vector<std::string> recorded;
    const std::string recordPath = prefix + KeptOrderFileName;
    const bool recordUsable = ReadKeptOrder(recordPath, recorded);

    // The order of keeping: what the record does not know first (by time), then the record's order, and
    // the report just kept last, wherever its name stood before.
    std::erase_if(unrecorded, [&](const TKeptReport& report) {
        return report.Name == newestName ||
               std::find(recorded.begin(), recorded.end(), report.Name) != recorded.end();
    });
    std::sort(unrecorded.begin(), unrecorded.end(), ModifiedEarlier);
    std::vector<std::string> order;
    for (const TKeptReport& report : unrecorded)
        order.push_back(report.Name);
    for (const std::string& name : recorded)
        if (name != newestName && isPresent(name))
            order.push_back(name);
    if (!newestName.empty() && isPresent(newestName))
        order.push_back(newestName);

    const size_t excess = order.size() > keep ? order.size() - keep : 0;
    for (size_t i = 0; i < excess; ++i)
        ::unlink((prefix + order[i]).c_str());
    order.erase(order.begin(), order.begin() + std::ptrdiff_t(excess));
    if (recordUsable && order != recorded)
        WriteKeptOrder(recordPath, order);
}

} // namespace reporter
