#include "platform/IniFile.h"
#include "classlib/Translation.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TIniFile::TIniFile(QString fileName) : m_fileName(std::move(fileName)) {
    m_sections.push_back({});
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (file.size() > MaxFileSize)
        return;
    const QByteArray data = file.read(MaxFileSize);
    Parse(QString::fromUtf8(data));
}

void TIniFile::Parse(const QString& text) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            m_sections.push_back({trimmed.mid(1, trimmed.size() - 2).trimmed(), {}});
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) || eq <= 0) {
            m_sections.back().entries.push_back({QString(), line});
            continue;
        }
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty()) {
            m_sections.back().entries.push_back({QString(), line});
            continue;
        }
        m_sections.back().entries.push_back({key, line.mid(eq + 1).trimmed()});
    }
    // A trailing newline leaves one empty line that the writer adds again.
    auto& last = m_sections.back().entries;
    if (!last.empty() && last.back().key.isEmpty() && last.back().value.isEmpty())
        last.pop_back();
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
    if (!s)
        return defaultValue;
    const TEntry* e = FindEntry(*s, ident);
    return e ? e->value : defaultValue;
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
    TSection* s = FindSection(section);
    if (!s) {
        m_sections.push_back({section, {}});
        s = &m_sections.back();
    }
    auto it = std::find_if(s->entries.begin(), s->entries.end(), [&](const TEntry& e) {
        return !e.key.isEmpty() && e.key.compare(ident, Qt::CaseInsensitive) == 0;
    });
    if (it != s->entries.end())
        it->value = clean;
    else
        s->entries.push_back({ident, clean});
    if (AutoUpdate)
        UpdateFile();
}

QString TIniFile::Text() const {
    QString out;
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        const TSection& s = m_sections[i];
        if (i > 0)
            out += QLatin1Char('[') + s.name + QLatin1String("]\n");
        for (const TEntry& e : s.entries)
            out += (e.key.isEmpty() ? e.value : e.key + QLatin1Char('=') + e.value) + QLatin1Char('\n');
    }
    return out;
}

namespace {

// Writes data to a new file beside target and renames it over target; false (and no trace left) on
// any failure, target then untouched.
bool ReplaceFileAtomically(const QString& target, const QByteArray& data) {
    const QByteArray path = QFile::encodeName(target);
    QByteArray temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    struct stat old {};
    const mode_t mode = ::stat(path.constData(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ok = ::fchmod(fd, mode) == 0;
    for (qsizetype done = 0; ok && done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, std::size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), path.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    // Make the rename itself durable.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace

void TIniFile::UpdateFile() const {
    const QString error = _("Unable to write to %1").arg(m_fileName);
    if (!QDir().mkpath(QFileInfo(m_fileName).absolutePath()))
        throw EIniFileException(error);
    if (!ReplaceFileAtomically(m_fileName, Text().toUtf8()))
        throw EIniFileException(error);
}
