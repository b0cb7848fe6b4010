// One registry per process of the classes that can be created by name: the view classes that
// interface descriptions name, and factory classes a host looks up (the editor's view factory).
// It lives in this library, so every shared object of the process that registers or looks up a
// class sees the same one. Bundles register while they load, on whatever thread loads them, so
// the registry takes a lock (the objects it creates are the UI thread's).
#pragma once

#include "ui/Object.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ui {

class View;

class ClassRegistry {
public:
    using Factory = std::function<std::unique_ptr<Object>()>;

    static ClassRegistry &shared();

    // Replaces an earlier registration of the same name (a reloaded bundle).
    void register_class(const std::string &name, Factory factory);
    void unregister_class(const std::string &name);
    bool contains(const std::string &name) const;
    std::vector<std::string> class_names() const;

    // A new object of that class, or null when the name is unknown.
    std::unique_ptr<Object> create(const std::string &name) const;
    // A new view of that class, or null when unknown or not a view.
    std::unique_ptr<View> create_view(const std::string &name) const;

private:
    ClassRegistry() = default;
    struct Entry {
        std::string name;
        Factory factory;
    };
    Factory find(const std::string &name) const;
    mutable std::mutex _mutex;
    std::vector<Entry> _entries;
};

// Registers a default-constructible class at load time of the object it is in:
//   UI_REGISTER_CLASS(HF_Zentrova_Knob_View)            (registered under its own name)
//   UI_REGISTER_CLASS_AS(ui::TextField, "NSTextField")
#define UI_REGISTRY_CONCAT2(a, b) a##b
#define UI_REGISTRY_CONCAT(a, b) UI_REGISTRY_CONCAT2(a, b)
#define UI_REGISTER_CLASS_AS(Type, Name)                                                                               \
    [[maybe_unused]] static const bool UI_REGISTRY_CONCAT(ui_registered_, __LINE__) = [] {                             \
        ::ui::ClassRegistry::shared().register_class(Name, [] { return std::unique_ptr<::ui::Object>(new Type()); });  \
        return true;                                                                                                   \
    }()
#define UI_REGISTER_CLASS(Type) UI_REGISTER_CLASS_AS(Type, #Type)

}  // namespace ui
