#pragma once
// Reads a gzip file back into its data, checking the header, the CRC-32 and the length: corrupt or
// truncated data raises EZLibError instead of giving a shortened result.
#include "OStream.h"
#include "OZLib.h"

#include <string>
#include <vector>

namespace reporter {

std::vector<uint8_t> ReadGZipData(const uint8_t* data, size_t size, size_t limit = DefaultDecompressLimit);
// Reads the source from its position to its end and appends the data to the target.
void ReadGZipFile(TOstrelStream& source, TOstrelStream& target);
std::vector<uint8_t> ReadGZipFile(const std::string& path);

} // namespace reporter
