#pragma once
// The version note that stands for a module's version resource, as the build writes it into the program
// (app/VersionNote.c.in): an ELF note (owner VersionNoteOwner, type VersionNoteType) whose descriptor holds
// a fixed block of six 32-bit words in the file's byte order (signature VersionNoteSignature, layout
// version, file version high (major << 16 | minor) and low (release << 16 | build), product version high
// and low), then zero-terminated key and value texts in pairs ("FileDescription", ...).
//
// The one reader of the note, for the reporter and for the program's toolkit side alike: plain C++, as
// the reporter links no toolkit. Only the headers and the note sections are read, never the whole file;
// every offset and length taken from the file is checked against the file's size and against fixed
// limits before it is used.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace reporter {

inline constexpr char VersionNoteOwner[] = "VexaDaxo";
inline constexpr uint32_t VersionNoteType = 1;
inline constexpr uint32_t VersionNoteSignature = 0xFEEF04BD;
inline constexpr size_t VersionNoteFixedSize = 24;
// Note sections larger than this are not read: the real one is a few hundred bytes.
inline constexpr uint64_t VersionNoteMaxSectionSize = 64 * 1024;

struct TVersionNote {
    uint16_t FileVersion[4] = {0, 0, 0, 0}; // major, minor, release, build
    uint16_t ProductVersion[4] = {0, 0, 0, 0};
    // The texts in note order.
    std::vector<std::pair<std::string, std::string>> Texts;

    // The text of a key (empty when absent).
    std::string Text(const std::string& key) const;
};

// The note of the named ELF file. Raises nothing, as it runs inside the reporter, whose hooks take every
// raise: false when the file cannot be read, is no ELF file or has no valid note, with the reason (without
// the file name) in *reason when given.
bool ReadVersionNote(const std::string& fileName, TVersionNote& note, std::string* reason);
std::optional<TVersionNote> ReadVersionNote(const std::string& fileName);
// Description ("FileDescription", empty when missing) and version ("a.b.c.d", empty when missing or
// 0.0.0.0) of the file.
void GetModuleVersion(const std::string& fileName, std::string& description, std::string& version);

} // namespace reporter
