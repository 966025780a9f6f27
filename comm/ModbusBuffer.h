#pragma once
// TBuffer: the master's 256-byte frame buffer with a count of the bytes held.
#include <QString>
#include <array>
#include <cstdint>
#include <span>

// The separator of every hexadecimal frame text ("01,03,02,00,00,11,84,7E").
constexpr char HexSeparator = ',';

class TBuffer {
public:
    static constexpr int Capacity = 256;

    // Appends a byte; ignored when the buffer is full.
    void Add(std::uint8_t value);
    void Clear() { m_count = 0; }
    int Count() const { return m_count; }
    // The byte at index, or $FF for an index outside the 256 bytes.
    std::uint8_t GetByte(int index) const;
    // Copies the counted bytes into dest, as many as fit.
    void GetBytes(std::span<std::uint8_t> dest) const;
    // Copies n bytes of source, read through its GetByte, to destIndex on and adds n to the count;
    // bytes that would land past the 256 are dropped.
    void CopyFrom(const TBuffer& source, int sourceIndex, int n, int destIndex);
    // Each counted byte as two upper-case hexadecimal digits, joined by separator.
    QString ToHex(char separator) const;

private:
    std::array<std::uint8_t, Capacity> m_data{};
    int m_count = 0;
};
