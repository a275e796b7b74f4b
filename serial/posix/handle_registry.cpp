#include "handle_registry.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of 4 like Win32 handles; never 0 and never INVALID_HANDLE_VALUE.
    std::uintptr_t lastToken = 0;
};

Registry& registry() {
    // Never destroyed: handles may still be closed from static destructors at exit.
    static Registry* instance = new Registry;
    return *instance;
}

std::uintptr_t tokenOf(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

HANDLE registerHandle(std::shared_ptr<KernelObject> object) {
    Registry& table = registry();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.lastToken += 4;
    table.objects.emplace(table.lastToken, std::move(object));
    return reinterpret_cast<HANDLE>(table.lastToken);
}

std::shared_ptr<KernelObject> findHandle(HANDLE handle) {
    Registry& table = registry();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.objects.find(tokenOf(handle));
    return found == table.objects.end() ? nullptr : found->second;
}

std::shared_ptr<KernelObject> unregisterHandle(HANDLE handle) {
    Registry& table = registry();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.objects.find(tokenOf(handle));
    if (found == table.objects.end()) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(found->second);
    table.objects.erase(found);
    return object;
}
