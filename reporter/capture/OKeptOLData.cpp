#include "OKeptOLData.h"

#include "ODebugData.h"
#include "OErrors.h"
#include "OModules.h"

#include <map>
#include <sys/stat.h>

namespace reporter {

namespace {

struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileIdentity&) const = default;
};

struct TEntry {
    TFileIdentity Identity;
    bool Present = false;
    bool Damaged = false;
    std::shared_ptr<const TKeptOLData> Kept;
};

std::mutex gLock;

// Built at its first use: the reporter may start from another initialiser before this file's.
std::map<std::string, TEntry>& Entries() {
    static std::map<std::string, TEntry> entries;
    return entries;
}

bool IdentityOf(const std::string& fileName, TFileIdentity& identity) {
    struct stat info {};
    if (::stat(ModuleFileToOpen(fileName).c_str(), &info) != 0)
        return false;
    identity = {info.st_dev, info.st_ino, info.st_size,
                int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return true;
}

} // namespace

TKeptOLData::TKeptOLData(TOLData data) : m_data(std::move(data)) {
    m_debugBytes = std::move(m_data.DebugInfo);
    m_data.DebugInfo.clear();
}

std::shared_ptr<const TDebugData> TKeptOLData::DebugData(bool& damaged) const {
    std::lock_guard guard(m_lock);
    if (!m_debug && !m_damaged && !m_debugBytes.empty()) {
        try {
            m_debug = std::make_shared<const TDebugData>(std::move(m_debugBytes), m_data.Version);
        } catch (const Exception&) {
            m_damaged = true;
        }
        m_debugBytes = std::vector<uint8_t>();
    }
    damaged = m_damaged;
    return m_debug;
}

std::shared_ptr<const TKeptOLData> KeptOLData(const std::string& fileName, bool& damaged) {
    damaged = false;
    if (fileName.empty())
        return nullptr;
    TFileIdentity identity;
    const bool known = IdentityOf(fileName, identity);
    {
        std::lock_guard guard(gLock);
        const auto it = Entries().find(fileName);
        if (known && it != Entries().end() && it->second.Identity == identity) {
            damaged = it->second.Damaged;
            return it->second.Kept;
        }
    }
    TEntry entry;
    entry.Identity = identity;
    if (const std::optional<std::vector<uint8_t>> container = FindOLData(fileName)) {
        entry.Present = true;
        try {
            entry.Kept = std::make_shared<const TKeptOLData>(ParseOLData(*container));
        } catch (const Exception&) {
            entry.Damaged = true;
        }
    }
    damaged = entry.Damaged;
    std::shared_ptr<const TKeptOLData> kept = entry.Kept;
    if (known) {
        std::lock_guard guard(gLock);
        Entries()[fileName] = std::move(entry);
    }
    return kept;
}

} // namespace reporter
