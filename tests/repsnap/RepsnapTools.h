#pragma once
// Helpers of the call-stack, module and debug-data tests: temporary folders, commands, files, and pages
// of memory with chosen protections for code and stacks built by hand.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace repsnap {

// A fresh folder, removed with its contents at the end of the scope.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

struct TCommandResult {
    int ExitCode = -1;
    std::string Output; // standard output and standard error
};
TCommandResult Run(const std::string& command);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
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
