#pragma once
// Files opened by name: whatever stands at the path is opened without blocking and looked at before a
// byte is read, so that a FIFO, a device or a folder where a file is expected is refused at once instead
// of hanging the program (or feeding it endless zeros). A refusal is said on standard error, in one line,
// once a run for each file.
#include <QByteArray>
#include <QString>

enum class TFileReadStatus {
    Read,    // the whole file is in Data
    Missing, // nothing at the path (a dangling link too)
    Refused, // something is there that could not be read whole; said on standard error
};

struct TRegularFileContents {
    TFileReadStatus Status = TFileReadStatus::Missing;
    QByteArray Data;
    // Device and inode of the file read, to tell later whether the path still names it.
    quint64 Device = 0;
    quint64 Inode = 0;
};

// Reads the regular file at path, at most maxSize bytes; a larger file is refused.
TRegularFileContents ReadRegularFile(const QString& path, qint64 maxSize);

// Whether path names a regular file that can be opened for reading; false for a missing one, and with
// one line on standard error for anything else.
bool IsReadableRegularFile(const QString& path);

// The one line on standard error that says why a file is not used; said once a run for each path.
void ReportUnusableFile(const QString& path, const QString& reason);
