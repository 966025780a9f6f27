#pragma once
// One call-stack entry and the list of them that a report carries.
#include "OModuleInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reporter {

// How far an entry's address was resolved.
enum TOstrelDebugKind : uint8_t {
    dkNoModule = 0,       // the address lies in no loaded module
    dkModule = 1,         // module known, routine not found
    dkExportName = 2,     // an exported name without unit (procedure only)
    dkExportUnitName = 3, // a structured exported name: unit, class and procedure
    dkDebugData = 4,      // the module's packed debug information: unit, class, procedure, line
};

struct TOstrelDebugInfo {
    uint8_t Kind = dkNoModule;
    TOstrelModuleInfoPtr Module; // none for kind 0
    uint32_t ThreadID = 0;
    // True when the entry comes from the thread's own stack, false for the stack its creator had when it
    // created the thread ("Calling Thread").
    bool Running = false;
    uintptr_t Address = 0; // the call instruction, or for the first entry the exception address
    std::string UnitName;
    std::string ClassName;
    std::string ProcedureName;
    int32_t Line = 0;       // 0: none
    int32_t LineOffset = 0; // lines from the routine's first line, never below 0
    // The frame where the exception happened: shown whatever its kind.
    bool Faulting = false;
};

class TOstrelStackList {
public:
    int Count() const { return int(m_items.size()); }
    TOstrelDebugInfo& Items(int index) { return *m_items.at(size_t(index)); }
    const TOstrelDebugInfo& Items(int index) const { return *m_items.at(size_t(index)); }
    void Add(std::unique_ptr<TOstrelDebugInfo> entry) { m_items.push_back(std::move(entry)); }
    void Delete(int index) { m_items.erase(m_items.begin() + index); }
    void Clear() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<TOstrelDebugInfo>> m_items;
};

} // namespace reporter
