#include "comm/ModbusBuffer.h"

#include <algorithm>

void TBuffer::Add(std::uint8_t value) {
    if (m_count < Capacity)
        m_data[std::size_t(m_count++)] = value;
}

std::uint8_t TBuffer::GetByte(int index) const {
    if (index < 0 || index >= Capacity)
        return 0xFF;
    return m_data[std::size_t(index)];
}

void TBuffer::GetBytes(std::span<std::uint8_t> dest) const {
    const std::size_t n = std::min(dest.size(), std::size_t(m_count));
    std::copy_n(m_data.begin(), n, dest.begin());
}

void TBuffer::CopyFrom(const TBuffer& source, int sourceIndex, int n, int destIndex) {
    if (n <= 0)
        return;
    for (int i = 0; i < n; ++i) {
        const int dest = destIndex + i;
        if (dest >= 0 && dest < Capacity)
            m_data[std::size_t(dest)] = source.GetByte(sourceIndex + i);
    }
    m_count = std::min(m_count + n, Capacity);
}

QString TBuffer::ToHex(char separator) const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(m_count * 3);
    for (int i = 0; i < m_count; ++i) {
        if (i > 0)
            text += QLatin1Char(separator);
        const std::uint8_t b = m_data[std::size_t(i)];
        text += QLatin1Char(kDigits[b >> 4]);
        text += QLatin1Char(kDigits[b & 0x0F]);
    }
    return text;
}
