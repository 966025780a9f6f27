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

} // namespace testtools
