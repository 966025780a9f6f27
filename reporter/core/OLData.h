#pragma once
// The "OLDATA" container that the build appends to a program file: a header (magic 0xFAB10 and the data
// version), the program's stored options (compressed, scrambled), optionally the compilation time and
// the packed debug information (compressed), and a trailer at the very end of the file through which
// the reader finds the container.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reporter {

class TOstrelModuleOptions;

inline constexpr uint32_t OLDataMagic = 0xFAB10;
// The trailer: container size (8 bytes, little-endian), the magic (4 bytes), then "OLDATA\0\0".
inline constexpr size_t OLDataTrailerSize = 20;
// The largest container a reader accepts.
inline constexpr uint64_t OLDataLimit = uint64_t(64) << 20;

struct TOLData {
    uint16_t Version = 0;
    std::vector<uint8_t> Options;   // the options stream, uncompressed and unscrambled
    int64_t CompilationTime = 0;    // seconds since 1970 (UTC), 0 when the container has none
    std::vector<uint8_t> DebugInfo; // the packed debug information, uncompressed; empty when none
};

// The options stream written here is the one of every version from this one up to the current one.
inline constexpr uint16_t OldestWritableOLDataVersion = 500;
// Packed debug information joins a routine's class and procedure, which readers know from this version.
inline constexpr uint16_t DebugNamesJoinedVersion = 502;

// The container bytes (header and options block) for the options, trailer included. A version whose
// stream this build does not write raises EConvertError.
std::vector<uint8_t> BuildOLData(const TOstrelModuleOptions& options, uint16_t version);
// The same with the compilation time and the packed debug information (ODebugData.h), which needs
// DebugNamesJoinedVersion or later.
std::vector<uint8_t> BuildOLData(const TOstrelModuleOptions& options, uint16_t version,
                                 int64_t compilationTime, const std::vector<uint8_t>& debugInfo);
// Parses a container (trailer optional); raises EReadError or EZLibError on malformed data.
TOLData ParseOLData(const std::vector<uint8_t>& container);
// The container appended to the file, or none when the file carries none.
std::optional<std::vector<uint8_t>> FindOLData(const std::string& fileName);
void AppendOLData(const std::string& fileName, const std::vector<uint8_t>& container);
// Cuts a container found at the file's end off again; false when the file carries none.
bool RemoveOLData(const std::string& fileName);
// Loads the options stored in the container, with OptionsDataVersion taken from its header.
void LoadOptionsFromOLData(const TOLData& data, TOstrelModuleOptions& options);

} // namespace reporter
