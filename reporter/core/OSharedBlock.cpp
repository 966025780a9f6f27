#include "OSharedBlock.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace reporter {

namespace {

struct TBlockMemory {
    std::vector<uint8_t> Bytes;
};

struct TRegistry {
    std::mutex Lock;
    std::map<std::string, std::weak_ptr<TBlockMemory>> ByName;
    std::map<uint64_t, std::shared_ptr<TBlockMemory>> Open;
    uint64_t NextHandle = 1;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

uint32_t StoredSize(const TBlockMemory& block) {
    uint32_t size;
    std::memcpy(&size, block.Bytes.data(), 4);
    return size;
}

} // namespace

std::string SharedBlockName(TModuleHandle module, const std::string& prefix) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, "%08X%016llX", unsigned(getpid()), (unsigned long long)module);
    return prefix + suffix;
}

TSharedBlock OpenSharedBlock(TModuleHandle module, const std::string& prefix, uint32_t size) {
    TRegistry& r = Registry();
    const std::string name = SharedBlockName(module, prefix);
    std::lock_guard guard(r.Lock);
    std::shared_ptr<TBlockMemory> memory;
    if (auto it = r.ByName.find(name); it != r.ByName.end())
        memory = it->second.lock();
    if (!memory && size == 0)
        return {};
    if (!memory || (size > 0 && size > StoredSize(*memory) - 4)) {
        if (size > UINT32_MAX - 4)
            return {};
        memory = std::make_shared<TBlockMemory>();
        memory->Bytes.assign(size_t(size) + 4, 0);
        const uint32_t total = size + 4;
        std::memcpy(memory->Bytes.data(), &total, 4);
        r.ByName[name] = memory;
    }
    const uint64_t handle = r.NextHandle++;
    r.Open[handle] = memory;
    return {handle, memory->Bytes.data() + 4};
}

void CloseSharedBlock(TSharedBlock& block) {
    if (block.Handle == 0)
        return;
    TRegistry& r = Registry();
    std::lock_guard guard(r.Lock);
    r.Open.erase(block.Handle);
    for (auto it = r.ByName.begin(); it != r.ByName.end();)
        it = it->second.expired() ? r.ByName.erase(it) : std::next(it);
    block = {};
}

uint32_t SharedBlockDataSize(const TSharedBlock& block) {
    if (block.Data == nullptr)
        return 0;
    uint32_t total;
    std::memcpy(&total, block.Data - 4, 4);
    return total - 4;
}

} // namespace reporter
