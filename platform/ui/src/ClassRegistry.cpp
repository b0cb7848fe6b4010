#include "ui/ClassRegistry.h"

#include "ui/View.h"

#include <algorithm>

namespace ui {

ClassRegistry &ClassRegistry::shared() {
    // Never destroyed: bundles unloaded at exit may still unregister after static destruction.
    static ClassRegistry *registry = new ClassRegistry();
    return *registry;
}

void ClassRegistry::register_class(const std::string &name, Factory factory) {
    std::lock_guard lock(_mutex);
    _entries.erase(std::remove_if(_entries.begin(), _entries.end(), [&](const Entry &e) { return e.name == name; }),
                   _entries.end());
    if (factory) _entries.push_back({name, std::move(factory)});
}

void ClassRegistry::unregister_class(const std::string &name) {
    std::lock_guard lock(_mutex);
    _entries.erase(std::remove_if(_entries.begin(), _entries.end(), [&](const Entry &e) { return e.name == name; }),
                   _entries.end());
}

bool ClassRegistry::contains(const std::string &name) const {
    std::lock_guard lock(_mutex);
    return std::any_of(_entries.begin(), _entries.end(), [&](const Entry &e) { return e.name == name; });
}

std::vector<std::string> ClassRegistry::class_names() const {
    std::lock_guard lock(_mutex);
    std::vector<std::string> names;
    for (const Entry &e : _entries) names.push_back(e.name);
    return names;
}

ClassRegistry::Factory ClassRegistry::find(const std::string &name) const {
    std::lock_guard lock(_mutex);
    for (const Entry &e : _entries)
        if (e.name == name) return e.factory;
    return nullptr;
}

std::unique_ptr<Object> ClassRegistry::create(const std::string &name) const {
    // Called without the lock held: a constructor may itself look up or register classes.
    const Factory factory = find(name);
    return factory ? factory() : nullptr;
}

std::unique_ptr<View> ClassRegistry::create_view(const std::string &name) const {
    std::unique_ptr<Object> object = create(name);
    if (auto *view = dynamic_cast<View *>(object.get())) {
        object.release();
        return std::unique_ptr<View>(view);
    }
    return nullptr;
}

}  // namespace ui
