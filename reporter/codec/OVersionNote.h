#pragma once
// The version note that stands for a module's version resource, as the build writes it into the program
// (app/VersionNote.c.in): an ELF note (owner VersionNoteOwner, type VersionNoteType) whose descriptor holds
// a fixed block of six little-endian 32-bit words (signature VersionNoteSignature, layout version, file
// version high (major << 16 | minor) and low (release << 16 | build), product version high and low),
// then zero-terminated key and value texts in pairs ("FileDescription", ...). The core reads it itself, as
// it links no toolkit.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace reporter {

inline constexpr char VersionNoteOwner[] = "VexaDaxo";
inline constexpr uint32_t VersionNoteType = 1;
inline constexpr uint32_t VersionNoteSignature = 0xFEEF04BD;
inline constexpr size_t VersionNoteFixedSize = 24;

struct TVersionNote {
    uint16_t Version[4] = {0, 0, 0, 0};
    std::map<std::string, std::string> Texts;
};

// The note of the named ELF file; none when the file cannot be read, is no ELF file or has no note.
std::optional<TVersionNote> ReadVersionNote(const std::string& fileName);
// Description ("FileDescription", empty when missing) and version ("a.b.c.d", empty when missing or
// 0.0.0.0) of the file.
void GetModuleVersion(const std::string& fileName, std::string& description, std::string& version);

} // namespace reporter
