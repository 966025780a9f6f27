#include "platform/IniFile.h"
#include "classlib/RegularFile.h"
#include "classlib/Translation.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArray TrimmedBytes(const QByteArray& bytes) {
    qsizetype begin = 0, end = bytes.size();
    while (begin < end && IsBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && IsBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

// The key of a "key=value" line, empty for any other line.
QString KeyOfLine(const QByteArray& trimmed) {
    if (trimmed.isEmpty() || trimmed.startsWith(';'))
        return QString();
    const qsizetype eq = trimmed.indexOf('=');
    return eq <= 0 ? QString() : QString::fromUtf8(TrimmedBytes(trimmed.left(eq)));
}

QByteArray LineBreakOf(const QByteArray& line) {
    if (line.endsWith("\r\n"))
        return "\r\n";
    return line.endsWith('\n') ? QByteArray("\n") : QByteArray();
}

} // namespace

TIniFile::TIniFile(QString fileName) : m_fileName(std::move(fileName)) {
    m_sections.push_back({});
    const TRegularFileContents file = ReadRegularFile(m_fileName, MaxFileSize);
    m_readable = file.Status != TFileReadStatus::Refused;
    if (file.Status != TFileReadStatus::Read)
        return;
    m_existed = true;
    m_device = file.Device;
    m_inode = file.Inode;
    Parse(file.Data);
}

void TIniFile::Parse(const QByteArray& data) {
    static const QByteArray bom("\xEF\xBB\xBF");
    for (qsizetype start = 0; start < data.size();) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        const QByteArray line = data.mid(start, end - start);
        QByteArray trimmed = TrimmedBytes(start == 0 && line.startsWith(bom) ? line.mid(bom.size()) : line);
        start = end;
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            m_sections.push_back(
                {QString::fromUtf8(TrimmedBytes(trimmed.mid(1, trimmed.size() - 2))), line, {}});
            continue;
        }
        m_sections.back().entries.push_back({KeyOfLine(trimmed), line});
    }
}

QByteArray TIniFile::LineBreak() const {
    for (const TSection& s : m_sections) {
        if (!s.header.isEmpty())
            return LineBreakOf(s.header).isEmpty() ? QByteArray("\n") : LineBreakOf(s.header);
        for (const TEntry& e : s.entries)
            if (const QByteArray lineBreak = LineBreakOf(e.raw); !lineBreak.isEmpty())
                return lineBreak;
    }
    return "\n";
}

const TIniFile::TSection* TIniFile::FindSection(const QString& name) const {
    for (std::size_t i = 1; i < m_sections.size(); ++i)
        if (m_sections[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return &m_sections[i];
    return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(const QString& name) {
    return const_cast<TSection*>(std::as_const(*this).FindSection(name));
}

const TIniFile::TEntry* TIniFile::FindEntry(const TSection& section, const QString& ident) {
    for (const TEntry& e : section.entries)
        if (!e.key.isEmpty() && e.key.compare(ident, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

QString TIniFile::ReadString(const QString& section, const QString& ident,
                             const QString& defaultValue) const {
    const TSection* s = FindSection(section);
    const TEntry* e = s ? FindEntry(*s, ident) : nullptr;
    if (!e)
        return defaultValue;
    return QString::fromUtf8(TrimmedBytes(e->raw.mid(e->raw.indexOf('=') + 1)));
}

int TIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const {
    bool ok = false;
    const int v = ReadString(section, ident, QString()).toInt(&ok);
    return ok ? v : defaultValue;
}

bool TIniFile::SectionExists(const QString& section) const {
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(const QString& section, const QString& ident) const {
    const TSection* s = FindSection(section);
    return s && FindEntry(*s, ident);
}

QStringList TIniFile::ReadSection(const QString& section) const {
    QStringList keys;
    if (const TSection* s = FindSection(section))
        for (const TEntry& e : s->entries)
            if (!e.key.isEmpty())
                keys << e.key;
    return keys;
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value) {
    // Line breaks would split the entry into lines the reader sees differently.
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray lineBreak = LineBreak();
    TSection* s = FindSection(section);
    if (!s) {
        m_sections.push_back({section, '[' + section.toUtf8() + ']' + lineBreak, {}});
        s = &m_sections.back();
    }
    auto it = std::find_if(s->entries.begin(), s->entries.end(), [&](const TEntry& e) {
        return !e.key.isEmpty() && e.key.compare(ident, Qt::CaseInsensitive) == 0;
    });
    if (it != s->entries.end()) {
        // The stored key keeps its spelling; the line keeps its line break.
        const QByteArray ending = LineBreakOf(it->raw);
        it->raw = TrimmedBytes(it->raw.left(it->raw.indexOf('='))) + '=' + clean.toUtf8() +
                  (ending.isEmpty() ? lineBreak : ending);
    } else {
        // After the section's last key, so that blank lines and comments before the next section stay
        // where they are.
        auto last = std::find_if(s->entries.rbegin(), s->entries.rend(),
                                 [](const TEntry& e) { return !e.key.isEmpty(); });
        s->entries.insert(last.base(), {ident, ident.toUtf8() + '=' + clean.toUtf8() + lineBreak});
    }
    if (AutoUpdate)
        UpdateFile();
}

QByteArray TIniFile::Bytes() const {
    QByteArray out;
    const QByteArray lineBreak = LineBreak();
    const auto add = [&](const QByteArray& line) {
        // A last line without a line break gets one when more follows.
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += lineBreak;
        out += line;
    };
    for (const TSection& s : m_sections) {
        if (!s.header.isEmpty())
            add(s.header);
        for (const TEntry& e : s.entries)
            add(e.raw);
    }
    return out;
}

namespace {

struct TWriteTarget {
    QByteArray path; // the file to replace: the path itself, or the end of its chain of links
    bool exists = false;
    struct stat info {};
};

// What a write to path would replace. Throws when it is anything other than the regular file that was
// read (or nothing, when nothing was read).
TWriteTarget ResolveTarget(const QString& fileName, bool existed, quint64 device, quint64 inode,
                           const QString& error) {
    TWriteTarget target;
    target.path = QFile::encodeName(fileName);
    struct stat link {};
    if (::lstat(target.path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // realpath fails on a dangling link or a loop: nothing safe to write to.
        char resolved[PATH_MAX];
        if (::realpath(target.path.constData(), resolved) == nullptr)
            throw EIniFileException(error);
        target.path = resolved;
    }
    if (::stat(target.path.constData(), &target.info) == 0) {
        target.exists = true;
        // Never a file that was not read: a FIFO or device now, or another file put there meanwhile.
        if (!S_ISREG(target.info.st_mode) || !existed || quint64(target.info.st_dev) != device ||
            quint64(target.info.st_ino) != inode)
            throw EIniFileException(error);
        // The folder would let a new file take its place, but the file's owner has locked it.
        if (::access(target.path.constData(), W_OK) != 0)
            throw EIniFileException(error);
    } else if (errno != ENOENT) {
        throw EIniFileException(error);
    }
    return target;
}

// A new file beside target, opened for writing: a new settings file gets what an editor would give it
// (0666 less the umask); one that replaces a file starts private and gets that file's permissions.
int CreateTemporary(const TWriteTarget& target, QByteArray& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target.path + ".tmp" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              target.exists ? 0600 : 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Writes data to a new file beside target and renames it over target; false (and no trace left) on
// any failure, target then untouched. The new file's device and inode on success.
bool ReplaceFileAtomically(const TWriteTarget& target, const QByteArray& data, struct stat& written) {
    QByteArray temp;
    const int fd = CreateTemporary(target, temp);
    if (fd < 0)
        return false;
    bool ok = !target.exists || ::fchmod(fd, target.info.st_mode & 07777) == 0;
    // The file keeps its owner where the system lets us (root writing a user's file); elsewhere it
    // becomes ours, with the same permissions, and keeps at least its group when we are one of its
    // members, so that the others sharing it can still write it.
    if (ok && target.exists && (target.info.st_uid != ::geteuid() || target.info.st_gid != ::getegid()) &&
        ::fchown(fd, target.info.st_uid, target.info.st_gid) != 0 &&
        (errno != EPERM || (::fchown(fd, uid_t(-1), target.info.st_gid) != 0 && errno != EPERM)))
        ok = false;
    for (qsizetype done = 0; ok && done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, std::size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += n;
    }
    ok = ok && ::fsync(fd) == 0 && ::fstat(fd, &written) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.path.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    // Make the rename itself durable.
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(target.path)).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

void TIniFile::UpdateFile() {
    const QString error = _("Unable to write to %1").arg(m_fileName);
    if (!m_readable)
        throw EIniFileException(error);
    const TWriteTarget target = ResolveTarget(m_fileName, m_existed, m_device, m_inode, error);
    if (!target.exists && !QDir().mkpath(QFileInfo(QFile::decodeName(target.path)).absolutePath()))
        throw EIniFileException(error);
    struct stat written {};
    if (!ReplaceFileAtomically(target, Bytes(), written))
        throw EIniFileException(error);
    m_existed = true;
    m_device = quint64(written.st_dev);
    m_inode = quint64(written.st_ino);
}
