#pragma once
// Helpers of the call-stack, module and debug-data tests: the shared test tools, and pages
// of memory with chosen protections for code and stacks built by hand.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/TestTools.h"

namespace repsnap {

using testtools::Run;
using testtools::TCommandResult;
using TTempFolder = testtools::TTempDir;
// Unlike the shared reader, a missing file is an error here.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    testtools::WriteFile(path, bytes);
}
void CopyFile(const std::string& from, const std::string& to);

// Consecutive pages, readable and writable; Seal makes one of them inaccessible.
class TPages {
public:
    explicit TPages(size_t count);
    ~TPages();
    TPages(const TPages&) = delete;
    TPages& operator=(const TPages&) = delete;
    uint8_t* Page(size_t index) const { return m_base + index * PageSize; }
    uintptr_t Address(size_t index, size_t offset = 0) const { return uintptr_t(Page(index) + offset); }
    void Seal(size_t index);
    static constexpr size_t PageSize = 4096;

private:
    uint8_t* m_base;
    size_t m_count;
};

} // namespace repsnap
