#pragma once
#include "tests/support/TestTools.h"
// Loopback peers for the sending tests (peers.py run by the system's Python), and small file helpers.
#include <cstdint>
#include <string>
#include <vector>

namespace repsend {

// A fresh folder under the temporary folder, removed with its content at the end of the scope.
using testtools::TTempDir;

// One peer process: "smtp", "dns", "http" or "ftp" with its options; it writes what it receives to its own
// folder, and is stopped when the object goes.
class TPeer {
public:
    explicit TPeer(const std::string& kind, const std::vector<std::string>& options = {});
    ~TPeer();
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    uint16_t Port() const { return m_port; }
    std::string File(const std::string& name) const { return m_folder.File(name); }
    // Waits for the file to appear (20 s at most); empty when it does not.
    std::string WaitForFile(const std::string& name) const;

private:
    TTempDir m_folder;
    int m_pid = -1;
    uint16_t m_port = 0;
};

bool FileExists(const std::string& path);
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
std::vector<std::string> ListFolder(const std::string& folder); // sorted names
std::string RandomText(size_t size, uint32_t seed);
// A TCP port on 127.0.0.1 that nothing listens on (taken and released again).
uint16_t ClosedPort();

} // namespace repsend
