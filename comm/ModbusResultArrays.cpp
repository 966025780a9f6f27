#include "comm/ModbusResultArrays.h"

#include <algorithm>

namespace {
std::uint8_t ByteAt(std::span<const std::uint8_t> data, std::size_t index) {
    return index < data.size() ? data[index] : 0;
}
} // namespace

TCoilArray::TCoilArray(int size) : m_values(std::size_t(std::max(size, 0)), 0) {}

std::uint8_t TCoilArray::GetValue(int index) const {
    return index >= 0 && index < Size() ? m_values[std::size_t(index)] : 0;
}

void TCoilArray::Unpack(std::span<const std::uint8_t> data, int n) {
    const int count = std::min(n, Size());
    for (int i = 0; i < count; ++i)
        m_values[std::size_t(i)] = (ByteAt(data, std::size_t(i / 8)) >> (i % 8)) & 1;
}

TRegisterArray::TRegisterArray(int size) : m_values(std::size_t(std::max(size, 0)), 0) {}

std::int32_t TRegisterArray::GetValue(int index) const {
    return index >= 0 && index < Size() ? m_values[std::size_t(index)] : 0;
}

void TRegisterArray::Unpack(std::span<const std::uint8_t> data, int n) {
    const int count = std::min(n, Size());
    for (int i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(i) * 2;
        m_values[std::size_t(i)] = ByteAt(data, at) * 256 + ByteAt(data, at + 1);
    }
}
