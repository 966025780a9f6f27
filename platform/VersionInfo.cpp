#include "platform/VersionInfo.h"
#include "classlib/RegularFile.h"
#include <QFileInfo>

namespace {

TFileVersion FromParts(const uint16_t (&parts)[4]) {
    return {parts[0], parts[1], parts[2], parts[3]};
}

} // namespace

TFileVersion TFileVersion::FromWords(quint32 ms, quint32 ls) {
    return {quint16(ms >> 16), quint16(ms & 0xFFFF), quint16(ls >> 16), quint16(ls & 0xFFFF)};
}

QString TFileVersion::Text() const {
    return QStringLiteral("%1.%2.%3.%4").arg(Major).arg(Minor).arg(Release).arg(Build);
}

QString TVersionInfo::Value(const QString& key) const {
    for (const auto& [k, v] : Texts)
        if (k == key)
            return v;
    return {};
}

TVersionInfo ReadVersionInfo(const QString& fileName) {
    // The note reader opens the file as it is: a FIFO or device there would hold it for ever.
    if (QFileInfo::exists(fileName) && !IsReadableRegularFile(fileName))
        throw EVersionInfoError(QStringLiteral("%1: not a regular file").arg(fileName));
    reporter::TVersionNote note;
    std::string reason;
    if (!reporter::ReadVersionNote(fileName.toLocal8Bit().toStdString(), note, &reason))
        throw EVersionInfoError(QStringLiteral("%1: %2").arg(fileName, QString::fromLocal8Bit(reason)));
    TVersionInfo info;
    info.FileVersion = FromParts(note.FileVersion);
    info.ProductVersion = FromParts(note.ProductVersion);
    for (const auto& [key, value] : note.Texts)
        info.Texts.append({QString::fromStdString(key), QString::fromStdString(value)});
    return info;
}

bool TryReadVersionInfo(const QString& fileName, TVersionInfo& info, QString* error) {
    try {
        info = ReadVersionInfo(fileName);
        return true;
    } catch (const EVersionInfoError& e) {
        if (error)
            *error = e.Message();
        return false;
    }
}
