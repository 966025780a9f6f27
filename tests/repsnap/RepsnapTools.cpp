#include "RepsnapTools.h"

#include <filesystem>
#include <stdexcept>
#include <sys/mman.h>

namespace repsnap {

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    if (!std::filesystem::is_regular_file(path))
        throw std::runtime_error("cannot read " + path);
    return testtools::ReadFile(path);
}

void CopyFile(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

TPages::TPages(size_t count) : m_count(count) {
    void* p = mmap(nullptr, count * PageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::runtime_error("mmap failed");
    m_base = static_cast<uint8_t*>(p);
}

TPages::~TPages() {
    munmap(m_base, m_count * PageSize);
}

void TPages::Seal(size_t index) {
    if (mprotect(Page(index), PageSize, PROT_NONE) != 0)
        throw std::runtime_error("mprotect failed");
}

} // namespace repsnap
