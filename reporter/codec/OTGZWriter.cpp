#include "OTGZWriter.h"

#include "OCrc32.h"
#include "OErrors.h"
#include "OFiles.h"
#include "OZLib.h"

#include <cstring>

namespace reporter {

namespace {

constexpr size_t BlockSize = 512;
// Entries are readable and writable by their owner and readable by others when unpacked.
constexpr uint64_t EntryMode = 0644;
constexpr uint64_t LargestLargeField = 077777777777ull; // 11 octal digits

// Octal digits right-aligned in width characters, leading zeros as blanks, the last digit kept.
void PutOctal(uint8_t* field, int width, uint64_t value) {
    for (int i = width - 1; i >= 0; --i) {
        field[i] = (i == width - 1 || value != 0) ? uint8_t('0' + (value & 7)) : uint8_t(' ');
        value >>= 3;
    }
}

void PutLargeField(uint8_t* field, uint64_t value) {
    PutOctal(field, 11, value);
    field[11] = ' ';
}

void PutSmallField(uint8_t* field, uint64_t value) {
    PutOctal(field, 6, value);
    field[6] = ' ';
    field[7] = 0;
}

void WriteHeader(TOstrelStream& tar, const std::string& name, uint64_t size, time_t time) {
    if (size > LargestLargeField)
        throw EFileError("\"" + name + "\" is too large for the archive");
    uint8_t header[BlockSize] = {};
    std::memcpy(header, name.data(), std::min<size_t>(name.size(), 100));
    PutSmallField(header + 100, EntryMode);
    PutSmallField(header + 108, 0);
    PutSmallField(header + 116, 0);
    PutLargeField(header + 124, size);
    // A time before 1970 (or an unknown one) is written as the epoch itself.
    const uint64_t seconds = time > 0 ? std::min<uint64_t>(uint64_t(time), LargestLargeField) : 0;
    PutLargeField(header + 136, seconds);
    header[156] = '0';
    std::memcpy(header + 257, "ustar   ", 8);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (uint8_t b : header)
        sum += b;
    PutSmallField(header + 148, sum);
    tar.Write(header, BlockSize);
}

} // namespace

TTGZWriter::TTGZWriter(std::string targetFileName) : m_targetFileName(std::move(targetFileName)) {}

TTGZWriter::~TTGZWriter() {
    if (m_finished)
        return;
    try {
        Finish();
    } catch (const std::exception&) {
        // Nothing can be reported from a destructor; callers who care call Finish.
    }
}

void TTGZWriter::AddFile(const std::string& fileName, const std::string& storedName) {
    const std::vector<uint8_t> data = ReadWholeFile(fileName);
    const std::string name = ExtractFileName(storedName.empty() ? fileName : storedName);
    AddData(data.data(), data.size(), name, FileModificationTime(fileName));
}

void TTGZWriter::AddStream(TOstrelStream& stream, const std::string& name, time_t time) {
    const size_t size = stream.Remaining();
    const std::vector<uint8_t>& bytes = stream.Bytes();
    AddData(bytes.data() + stream.Position(), size, name, time);
    stream.SetPosition(stream.Size());
}

void TTGZWriter::AddData(const void* data, size_t size, const std::string& name, time_t time) {
    WriteHeader(m_tar, name, size, time);
    m_tar.Write(data, size);
    const size_t padding = (BlockSize - size % BlockSize) % BlockSize;
    const uint8_t zeros[BlockSize] = {};
    m_tar.Write(zeros, padding);
}

void TTGZWriter::Finish() {
    if (m_finished)
        return;
    m_finished = true;
    // Two zero blocks end a tar archive; one alone makes tar warn.
    const uint8_t zeros[2 * BlockSize] = {};
    m_tar.Write(zeros, sizeof zeros);
    const std::string name = ChangeFileExt(ExtractFileName(m_targetFileName), ".tar");
    const std::vector<uint8_t> gzip = BuildGZip(m_tar.Bytes(), name);
    WriteNewFile(m_targetFileName, gzip.data(), gzip.size());
}

std::vector<uint8_t> BuildGZip(const std::vector<uint8_t>& data, const std::string& name) {
    const std::vector<uint8_t> body = DeflateRaw(data.data(), data.size(), 9);
    std::vector<uint8_t> out;
    out.reserve(10 + name.size() + 1 + body.size() + 8);
    for (uint8_t b : {0x1F, 0x8B, 0x08, 0x08, 0, 0, 0, 0, 0, 0})
        out.push_back(b);
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), body.begin(), body.end());
    const uint32_t crc = Crc32(data.data(), data.size());
    const uint32_t length = uint32_t(data.size()); // modulo 2^32, as gzip defines it
    for (uint32_t v : {crc, length})
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

} // namespace reporter
