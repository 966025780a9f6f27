#pragma once
// The "OLDATA" container that the build appends to a program file: a header (magic 0xFAB10 and the data
// version), the program's stored options (compressed, scrambled), and a trailer at the very end of the
// file through which the reader finds the container.
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
    std::vector<uint8_t> Options; // the options stream, uncompressed and unscrambled
};

// The container bytes (header and options block) for the options, trailer included.
std::vector<uint8_t> BuildOLData(const TOstrelModuleOptions& options, uint16_t version);
// Parses a container (trailer optional); raises EReadError or EZLibError on malformed data.
TOLData ParseOLData(const std::vector<uint8_t>& container);
// The container appended to the file, or none when the file carries none.
std::optional<std::vector<uint8_t>> FindOLData(const std::string& fileName);
void AppendOLData(const std::string& fileName, const std::vector<uint8_t>& container);
// Loads the options stored in the container, with OptionsDataVersion taken from its header.
void LoadOptionsFromOLData(const TOLData& data, TOstrelModuleOptions& options);

} // namespace reporter
