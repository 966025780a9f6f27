#include "OStream.h"

#include "OErrors.h"

#include <cstring>

namespace reporter {

void TOstrelStream::SetPosition(size_t position) {
    if (position > m_data.size())
        throw EReadError("Stream position beyond its end");
    m_position = position;
}

void TOstrelStream::Write(const void* data, size_t count) {
    if (count == 0)
        return;
    if (m_position + count > m_data.size())
        m_data.resize(m_position + count);
    std::memcpy(m_data.data() + m_position, data, count);
    m_position += count;
}

void TOstrelStream::Read(void* data, size_t count) {
    if (count > Remaining())
        throw EReadError("Stream read error");
    if (count != 0)
        std::memcpy(data, m_data.data() + m_position, count);
    m_position += count;
}

void TOstrelStream::WriteU16(uint16_t value) {
    const uint8_t b[2] = {uint8_t(value), uint8_t(value >> 8)};
    Write(b, 2);
}

void TOstrelStream::WriteU32(uint32_t value) {
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    Write(b, 4);
}

uint8_t TOstrelStream::ReadU8() {
    uint8_t b;
    Read(&b, 1);
    return b;
}

uint16_t TOstrelStream::ReadU16() {
    uint8_t b[2];
    Read(b, 2);
    return uint16_t(b[0] | (b[1] << 8));
}

uint32_t TOstrelStream::ReadU32() {
    uint8_t b[4];
    Read(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

} // namespace reporter
