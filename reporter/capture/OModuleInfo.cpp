#include "OModuleInfo.h"

#include "OCore.h"
#include "OReportProgress.h"
#include "OVersionNote.h"

#include <algorithm>
#include <atomic>
#include <link.h>
#include <sys/stat.h>

namespace reporter {

namespace {

std::unique_ptr<TOstrelModulesList> gModules;
std::atomic<bool> gLightScan{false};

// Sets the light-scan flag for a scope; it is cleared on every way out.
class TLightScanGuard {
public:
    TLightScanGuard() { gLightScan = true; }
    ~TLightScanGuard() { gLightScan = false; }
    TLightScanGuard(const TLightScanGuard&) = delete;
    TLightScanGuard& operator=(const TLightScanGuard&) = delete;
};

} // namespace

bool LightScan() {
    return gLightScan;
}

TOstrelModulesList* ModulesList() {
    return gModules.get();
}

void SetModulesList(std::unique_ptr<TOstrelModulesList> list) {
    gModules = std::move(list);
}

// ---- TOstrelFunctionsList ----

void TOstrelFunctionsList::Sort() {
    std::stable_sort(
        m_items.begin(), m_items.end(),
        [](const TOstrelFunctionInfo& a, const TOstrelFunctionInfo& b) { return a.Address < b.Address; });
}

const TOstrelFunctionInfo* TOstrelFunctionsList::FindByAddress(uintptr_t address) const {
    auto it = std::upper_bound(m_items.begin(), m_items.end(), address,
                               [](uintptr_t a, const TOstrelFunctionInfo& f) { return a < f.Address; });
    if (it == m_items.begin())
        return nullptr;
    // Among routines that start at or below the address, one that contains it wins over the nearest.
    const auto nearest = it - 1;
    for (auto k = nearest;; --k) {
        if (address - k->Address < k->Size)
            return &*k;
        if (k == m_items.begin() || nearest->Address - k->Address > (1u << 20))
            break;
    }
    return &*nearest;
}

const TOstrelFunctionInfo* TOstrelFunctionsList::FindByName(const std::string& name) const {
    for (const TOstrelFunctionInfo& f : m_items)
        if (f.Name == name)
            return &f;
    return nullptr;
}

// ---- TOstrelModulesList ----

void TOstrelModulesList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    m_items.erase(m_items.begin() + index);
}

int TOstrelModulesList::IndexOf(TModuleHandle handle) const {
    for (int i = 0; i < Count(); ++i)
        if (m_items[size_t(i)]->Handle == handle)
            return i;
    return -1;
}

bool TOstrelModulesList::StillLoaded(const TOstrelModuleInfo& info) {
    const std::string fileName = GetModuleFileNameEx(info.Handle);
    if (fileName.empty() || fileName != info.FileName)
        return false;
    struct stat status;
    if (::stat(ModuleFileToOpen(fileName).c_str(), &status) != 0)
        return info.FileDevice == 0 && info.FileInode == 0;
    return uint64_t(status.st_dev) == info.FileDevice && uint64_t(status.st_ino) == info.FileInode;
}

void TOstrelModulesList::GetProcessModules() {
    for (int i = Count() - 1; i >= 0; --i)
        if (!StillLoaded(*m_items[size_t(i)]))
            Delete(i);
    TLightScanGuard light;
    std::vector<TModuleHandle> handles;
    EnumerateModules([&](const TLoadedModule& module) {
        handles.push_back(module.Handle);
        return true;
    });
    for (TModuleHandle handle : handles) {
        if (IndexOf(handle) < 0)
            BuildModuleInfo(handle);
        NoteReportProgress(); // a report's module list reads files: a faulting thread sees it move
    }
    std::stable_sort(
        m_items.begin(), m_items.end(),
        [](const TOstrelModuleInfoPtr& a, const TOstrelModuleInfoPtr& b) { return a->Handle < b->Handle; });
}

TOstrelModuleInfoPtr TOstrelModulesList::FindModuleInfo(TModuleHandle handle) {
    if (handle == 0)
        return nullptr;
    const int index = IndexOf(handle);
    const bool checked =
        m_passOpen && std::find(m_passChecked.begin(), m_passChecked.end(), handle) != m_passChecked.end();
    if (index >= 0) {
        const TOstrelModuleInfo& found = *m_items[size_t(index)];
        if ((found.ModuleKind != mkNotExamined || LightScan()) && (checked || StillLoaded(found))) {
            if (m_passOpen && !checked)
                m_passChecked.push_back(handle);
            return m_items[size_t(index)];
        }
        Delete(index);
    }
    if (!BuildModuleInfo(handle))
        return nullptr;
    if (m_passOpen && !checked)
        m_passChecked.push_back(handle);
    return m_items.back();
}

TOstrelModuleInfoPtr TOstrelModulesList::FindModuleInfoByAddr(uintptr_t address) {
    return FindModuleInfo(m_passOpen ? PassModuleOf(address) : FindModuleOfAddress(address));
}

void TOstrelModulesList::BeginLookupPass() {
    m_passSegments.clear();
    m_passChecked.clear();
    EnumerateModules([this](const TLoadedModule& module) {
        const auto* headers = static_cast<const ElfW(Phdr)*>(module.ProgramHeaders);
        for (int i = 0; i < module.ProgramHeaderCount; ++i)
            if (headers[i].p_type == PT_LOAD && headers[i].p_memsz > 0) {
                const uintptr_t start = module.LoadBias + headers[i].p_vaddr;
                m_passSegments.push_back({start, start + headers[i].p_memsz, module.Handle});
            }
        return true;
    });
    std::sort(m_passSegments.begin(), m_passSegments.end(),
              [](const TSegment& a, const TSegment& b) { return a.Start < b.Start; });
    m_passOpen = true;
}

void TOstrelModulesList::EndLookupPass() {
    m_passOpen = false;
    m_passSegments.clear();
    m_passChecked.clear();
}

TModuleHandle TOstrelModulesList::PassModuleOf(uintptr_t address) const {
    auto it = std::upper_bound(m_passSegments.begin(), m_passSegments.end(), address,
                               [](uintptr_t a, const TSegment& s) { return a < s.Start; });
    if (it == m_passSegments.begin())
        return 0;
    --it;
    return address < it->End ? it->Module : 0;
}

bool TOstrelModulesList::BuildModuleInfo(TModuleHandle handle) {
    const std::string fileName = GetModuleFileNameEx(handle);
    if (fileName.empty())
        return false;
    auto info = std::make_shared<TOstrelModuleInfo>();
    info->Handle = handle;
    info->FileName = fileName;
    // The program's own file may have been replaced on disk since the start: read the running one.
    const std::string file = ModuleFileToOpen(fileName);
    struct stat status;
    if (::stat(file.c_str(), &status) == 0) {
        info->FileDevice = uint64_t(status.st_dev);
        info->FileInode = uint64_t(status.st_ino);
    }
    info->Modified = GetFileDateTime(file);
    GetModuleVersion(file, info->Description, info->Version);
    info->Size = GetFileSizeByName(file);
    if (!LightScan()) {
        if (handle != GetModuleHandle(std::string()))
            ReadModuleExports(handle, info->Functions);
        info->ModuleKind = IsPackageModule(handle);
    }
    info->Options = std::make_unique<TOstrelModuleOptionsEx>(fileName, true);
    if (!ReadModuleDebugData(*info)) {
        info->DebugDataVersion = uint16_t(CurrentOptionsDataVersion);
        info->CompilationTime = 0;
        info->DebugStream.reset();
    }
    m_items.push_back(std::move(info));
    return true;
}

void TOstrelModulesList::PurgeChangedModules() {
    for (int i = Count() - 1; i >= 0; --i)
        if (GetFileDateTime(m_items[size_t(i)]->FileName) != m_items[size_t(i)]->Modified)
            Delete(i);
}

// ---- free routines ----

bool IsValidModule(TModuleHandle handle) {
    return !GetModuleFileNameEx(handle).empty();
}

std::string GetModuleFolder(const TOstrelModuleInfo& info) {
    const size_t slash = info.FileName.rfind('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : info.FileName.substr(0, slash);
}

bool ModuleHasDebugData(TModuleHandle handle) {
    return HasAppendedDebugData(handle);
}

uintptr_t CodeOffsetToAddress(TModuleHandle base, uint32_t offset) {
    return base + offset;
}

} // namespace reporter
