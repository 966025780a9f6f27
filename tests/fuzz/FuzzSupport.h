#pragma once
// What the fuzz targets share: a cursor that takes typed values from the fuzzer's bytes, the check that
// turns a broken promise of a parser into a crash the fuzzer reports, and a private folder for the
// readers that only read files.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fuzz {

// Takes values from the front of the input; once the bytes run out every value is 0 or empty.
class TInput {
public:
    TInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::size_t Remaining() const { return m_size - m_position; }
    std::uint8_t Byte();
    std::uint16_t Word();
    bool Flag() { return Byte() & 1; }
    // At most count bytes.
    std::span<const std::uint8_t> Take(std::size_t count);
    std::span<const std::uint8_t> Rest() { return Take(Remaining()); }
    // Bytes up to (not including) the separator, or to the end; the separator is taken too.
    std::string_view TakeUntil(std::uint8_t separator);

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// A parser broke a promise (its result contradicts what it accepted): says which and aborts, so the
// fuzzer keeps the input and the replay test fails.
[[noreturn]] void Fail(std::string_view what);
inline void Check(bool holds, std::string_view what) {
    if (!holds)
        Fail(what);
}

// Writes the bytes as a new file of that name in a folder of this process's own (mkdtemp, mode 0700,
// removed at exit), replacing the file an earlier input left, and returns its path.
std::string WriteFile(const std::string& name, std::span<const std::uint8_t> bytes);
const std::string& PrivateFolder();

} // namespace fuzz
