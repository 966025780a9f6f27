#include "OFiles.h"

#include "OErrors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace reporter {

namespace {

[[noreturn]] void RaiseFile(const std::string& action, const std::string& path, int error) {
    throw EFileError("Cannot " + action + " \"" + path +
                     "\": " + (error == EINVAL ? "it is not a regular file" : std::strerror(error)));
}

class TDescriptor {
public:
    explicit TDescriptor(int fd) : m_fd(fd) {}
    ~TDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace

int OpenRegularFile(const std::string& path, int flags, mode_t mode) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    struct stat info;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    else if ((flags & O_NONBLOCK) == 0) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
            error = errno;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string LinkTarget(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        std::string target = resolved;
        std::free(resolved);
        return target;
    }
    // A link to no file yet: where the file is to be, from the links' own texts, as far as the system
    // follows a chain of links.
    std::string end = path;
    for (int hops = 0; hops < 40 && ::lstat(end.c_str(), &info) == 0 && S_ISLNK(info.st_mode); ++hops) {
        char text[PATH_MAX];
        const ssize_t n = ::readlink(end.c_str(), text, sizeof text);
        if (n <= 0 || size_t(n) == sizeof text)
            return path;
        const std::string next(text, size_t(n));
        end = next.front() == '/' ? next : ExtractFilePath(end) + next;
    }
    return end;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path, size_t maxSize) {
    TDescriptor fd(OpenRegularFile(path, O_RDONLY));
    if (fd.Get() < 0)
        RaiseFile("open", path, errno);
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0)
        RaiseFile("read", path, errno);
    const auto tooLarge = [&] {
        throw EFileError("Cannot read \"" + path + "\": it is larger than " + std::to_string(maxSize) +
                         " bytes.");
    };
    if (uint64_t(info.st_size) > maxSize)
        tooLarge();
    // Read straight into place; a file that grows or shrinks meanwhile is read to its actual end.
    std::vector<uint8_t> data(size_t(info.st_size > 0 ? info.st_size : 0) + 1);
    size_t used = 0;
    for (;;) {
        if (used > maxSize)
            tooLarge();
        if (used == data.size())
            data.resize(data.size() * 2 + 65536);
        const ssize_t n = ::read(fd.Get(), data.data() + used, data.size() - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseFile("read", path, errno);
        if (n == 0)
            break;
        used += size_t(n);
    }
    if (used > maxSize)
        tooLarge();
    data.resize(used);
    return data;
}

std::string ReadWholeText(const std::string& path, size_t maxSize) {
    try {
        const std::vector<uint8_t> data = ReadWholeFile(path, maxSize);
        return std::string(data.begin(), data.end());
    } catch (const EFileError&) {
        return std::string();
    }
}

namespace {

void WriteAndClose(TDescriptor& fd, const std::string& path, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd.Get(), p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            RaiseFile("write", path, errno);
        p += n;
        size -= size_t(n);
    }
    if (::close(fd.Release()) != 0)
        RaiseFile("write", path, errno);
}

} // namespace

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
    TDescriptor fd(OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, 0644));
    if (fd.Get() < 0)
        RaiseFile("create", path, errno);
    WriteAndClose(fd, path, data, size);
}

void WriteNewFile(const std::string& path, const void* data, size_t size) {
    TDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.Get() < 0)
        RaiseFile("create", path, errno);
    try {
        WriteAndClose(fd, path, data, size);
    } catch (const EFileError&) {
        ::unlink(path.c_str()); // ours: created above
        throw;
    }
}

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS)
        return false;
    try { // another file system (or one without the no-replace rename): copy, then delete
        const std::vector<uint8_t> data = ReadWholeFile(from);
        WriteNewFile(to, data.data(), data.size());
    } catch (const EFileError&) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

time_t FileModificationTime(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return -1;
    return info.st_mtime;
}

std::string ExtractFileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

} // namespace reporter
