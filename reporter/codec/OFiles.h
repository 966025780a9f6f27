#pragma once
// Whole-file reading and writing with POSIX calls; every descriptor is close-on-exec.
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace reporter {

// Opens the file by name as open(2) does (always close-on-exec), but never waits on what is no plain
// file (a FIFO, a device) and refuses it: -1 with errno EISDIR for a folder, EINVAL for anything else
// that is not a regular file. The descriptor returned blocks as usual.
int OpenRegularFile(const std::string& path, int flags, mode_t mode = 0);
// The file a name stands for: the final target when the name is a symbolic link (also one not made yet),
// so that a file replaced by a new one renamed over it stays where the link points and the link stays a
// link; else the name.
std::string LinkTarget(const std::string& path);

// Raise EFileError with the file name and the system's reason; only regular files are read or written.
// A file larger than maxSize is refused, not read.
std::vector<uint8_t> ReadWholeFile(const std::string& path, size_t maxSize = SIZE_MAX);
void WriteWholeFile(const std::string& path, const void* data, size_t size);
// The whole text of a regular file of at most maxSize bytes; empty when it cannot be read whole.
std::string ReadWholeText(const std::string& path, size_t maxSize);
// Creates the file anew (never an existing name, never through a symbolic link), readable by its owner
// only, and writes the data; a file cut short by a failed write is removed again.
void WriteNewFile(const std::string& path, const void* data, size_t size);
// Renames the file without replacing an existing target (copying it across file systems); false when the
// target exists or the move fails, the source then stays.
bool MoveFileNoReplace(const std::string& from, const std::string& to);
// The file's last-write time in seconds since 1970 (UTC); -1 when the file has none.
time_t FileModificationTime(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path); // with its trailing "/", empty when none
// The file name with its extension (from the last "." of the name part) replaced or appended.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

} // namespace reporter
