#pragma once
// TCoilArray and TRegisterArray: the unpacked results of the master's last good read, read by the
// displays through GetValue.
#include <cstdint>
#include <span>
#include <vector>

class TCoilArray {
public:
    explicit TCoilArray(int size = 64);
    int Size() const { return int(m_values.size()); }
    // 0 for an index outside the array.
    std::uint8_t GetValue(int index) const;
    // Value i := bit (i mod 8) of data byte (i div 8), least significant bit first, for i < n. Entries
    // past the array are not taken; bits past the data read as 0.
    void Unpack(std::span<const std::uint8_t> data, int n);

private:
    std::vector<std::uint8_t> m_values;
};

class TRegisterArray {
public:
    explicit TRegisterArray(int size = 64);
    int Size() const { return int(m_values.size()); }
    // 0 for an index outside the array.
    std::int32_t GetValue(int index) const;
    // Value i := data byte 2i * 256 + data byte 2i + 1 (big-endian, unsigned), for i < n. Entries past
    // the array are not taken; bytes past the data read as 0.
    void Unpack(std::span<const std::uint8_t> data, int n);

private:
    std::vector<std::int32_t> m_values;
};
