#pragma once
// Small helpers of the tests: temporary folders, random data, and running the real tools that
// serve as oracles.
#include <cstdint>
#include <string>
#include <vector>

namespace testtools {

// A fresh folder under the temporary folder, removed with everything in it at the end of the scope.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

struct TCommandResult {
    int ExitCode = -1;
    std::string Output; // standard output and standard error
};

// Runs the command through the shell.
TCommandResult Run(const std::string& command);
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
void WriteFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFile(const std::string& path);
std::string Hex(const uint8_t* data, size_t size);
// Waits until something exists at the path, woken by the kernel whenever an entry appears in its folder
// or in a folder on the way to it; false when nothing did within timeoutMs. A writer that renames its
// finished file into place is read whole.
bool WaitForPath(const std::string& path, int timeoutMs);

} // namespace testtools
