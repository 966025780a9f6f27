#pragma once
// The "OLDATA" container of a module file, read and inflated once for the process's life: the start-up
// reads the program's for its options, and a report finds the same bytes here instead of reading and
// inflating them again on the fault path. A file replaced on disk (another device, inode, size or time)
// is read anew.
#include "OLData.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace reporter {

class TDebugData;

class TKeptOLData {
public:
    explicit TKeptOLData(TOLData data);
    const TOLData& Data() const { return m_data; } // its DebugInfo is empty: DebugData() holds it
    // The debug data, built at the first call; nullptr when there is none or it is malformed (damaged).
    std::shared_ptr<const TDebugData> DebugData(bool& damaged) const;

private:
    TOLData m_data;
    mutable std::mutex m_lock;
    mutable std::vector<uint8_t> m_debugBytes;
    mutable std::shared_ptr<const TDebugData> m_debug;
    mutable bool m_damaged = false;
};

// The file's container: nullptr when it carries none; damaged is set (and nullptr returned) when it
// carries one that cannot be parsed.
std::shared_ptr<const TKeptOLData> KeptOLData(const std::string& fileName, bool& damaged);

} // namespace reporter
