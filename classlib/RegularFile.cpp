#include "classlib/RegularFile.h"
#include <QFile>
#include <QMutex>
#include <QSet>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TDescriptor {
public:
    explicit TDescriptor(int fd) : m_fd(fd) {}
    ~TDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// O_NONBLOCK keeps open() from waiting for a FIFO's writer or a device; fstat then tells what it is.
// Missing: -1 with status Missing; anything else that is no regular file: -1 with status Refused.
int OpenRegular(const QString& path, TFileReadStatus& status, struct stat& info) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        status = error == ENOENT ? TFileReadStatus::Missing : TFileReadStatus::Refused;
        if (error != ENOENT)
            ReportUnusableFile(path, QString::fromLocal8Bit(std::strerror(error)));
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        status = TFileReadStatus::Refused;
        ReportUnusableFile(path, QStringLiteral("not a regular file"));
        return -1;
    }
    status = TFileReadStatus::Read;
    return fd;
}

} // namespace

void ReportUnusableFile(const QString& path, const QString& reason) {
    // A file is read again at each save: the user hears of it once a run.
    static QMutex mutex;
    static QSet<QString> reported;
    {
        const QMutexLocker lock(&mutex);
        if (reported.contains(path))
            return;
        reported.insert(path);
    }
    std::fprintf(stderr, "vexadaxo: %s: %s; not used\n", QFile::encodeName(path).constData(),
                 reason.toLocal8Bit().constData());
}

TRegularFileContents ReadRegularFile(const QString& path, qint64 maxSize) {
    TRegularFileContents result;
    struct stat info {};
    const TDescriptor fd(OpenRegular(path, result.Status, info));
    if (fd.get() < 0)
        return result;
    result.Device = quint64(info.st_dev);
    result.Inode = quint64(info.st_ino);
    const auto refuse = [&](const QString& reason) {
        ReportUnusableFile(path, reason);
        result.Status = TFileReadStatus::Refused;
        result.Data.clear();
        return result;
    };
    if (info.st_size > maxSize)
        return refuse(QStringLiteral("larger than %1 bytes").arg(maxSize));
    // The size may change while the file is read: read to the end, within the bound.
    result.Data.resize(qsizetype(info.st_size) + 1);
    qsizetype done = 0;
    for (;;) {
        if (done == result.Data.size()) {
            if (done > maxSize)
                return refuse(QStringLiteral("larger than %1 bytes").arg(maxSize));
            result.Data.resize(std::min<qsizetype>(done * 2 + 4096, qsizetype(maxSize) + 1));
        }
        const ssize_t n = ::read(fd.get(), result.Data.data() + done, std::size_t(result.Data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refuse(QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0)
            break;
        done += n;
    }
    result.Data.truncate(done);
    return result;
}

bool IsReadableRegularFile(const QString& path) {
    TFileReadStatus status = TFileReadStatus::Missing;
    struct stat info {};
    const TDescriptor fd(OpenRegular(path, status, info));
    return fd.get() >= 0;
}
