#pragma once
// A growable in-memory byte stream with little-endian integer access. Every read is bounded by the bytes
// actually present: a short or lying stream raises EReadError instead of reading past its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reporter {

class TOstrelStream {
public:
    TOstrelStream() = default;
    explicit TOstrelStream(std::vector<uint8_t> bytes) : m_data(std::move(bytes)) {}
    TOstrelStream(const uint8_t* data, size_t size) : m_data(data, data + size) {}

    const std::vector<uint8_t>& Bytes() const { return m_data; }
    size_t Size() const { return m_data.size(); }
    size_t Position() const { return m_position; }
    void SetPosition(size_t position);
    size_t Remaining() const { return m_data.size() - m_position; }

    void Write(const void* data, size_t count);
    void Read(void* data, size_t count);

    void WriteU8(uint8_t value) { Write(&value, 1); }
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();

private:
    std::vector<uint8_t> m_data;
    size_t m_position = 0;
};

} // namespace reporter
