#include "kvad_nso/com.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace kvad {
namespace {

std::string Key(std::string_view progId) {
    std::string key(progId);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

struct Registry {
    std::mutex mutex;
    std::map<std::string, ObjectFactory> factories;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void RegisterClass(std::string_view progId, ObjectFactory factory) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.factories[Key(progId)] = std::move(factory);
}

void UnregisterClass(std::string_view progId) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.factories.erase(Key(progId));
}

bool IsClassRegistered(std::string_view progId) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.factories.count(Key(progId)) != 0;
}

std::shared_ptr<ComObject> CreateObject(std::string_view progId) {
    ObjectFactory factory;
    {
        auto& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        auto it = registry.factories.find(Key(progId));
        if (it != registry.factories.end()) {
            factory = it->second;
        }
    }
    std::shared_ptr<ComObject> object = factory ? factory() : nullptr;
    if (!object) {
        throw VbError(vberr::kCannotCreateObject, "ActiveX component can't create object");
    }
    return object;
}

} // namespace kvad
