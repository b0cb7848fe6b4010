// The component registry: bundles found on the search path or registered explicitly, and the
// component look-up calls of <AudioUnit/AudioComponent.h>. All of it runs on host control
// threads; one mutex guards the list.
#include "au/component_registry.h"

#include "au/component_bundle.h"

#include <CoreFoundation/CoreFoundation.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::au {
namespace {

struct Registry {
    std::mutex mutex;
    // Registration order; entries are never removed, so handles stay valid for the process.
    std::vector<std::unique_ptr<OpaqueAudioComponent>> components;
    // Canonical bundle path -> its first component, so a bundle registers once.
    std::map<std::string, OpaqueAudioComponent *> bundles;
};

Registry &registry() {
    // Leaked on purpose: components may be used from static destructors of other libraries.
    static Registry *instance = new Registry;
    return *instance;
}

bool is_directory(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool matches(const AudioComponentDescription &have, const AudioComponentDescription *want) {
    if (!want) return true;
    return (!want->componentType || want->componentType == have.componentType) &&
           (!want->componentSubType || want->componentSubType == have.componentSubType) &&
           (!want->componentManufacturer || want->componentManufacturer == have.componentManufacturer);
}

// Lets CFBundleGetBundleWithIdentifier find the bundle (a component looks up its own resources
// that way). The bundle object is kept for the life of the process, like the component.
void open_cf_bundle(const std::string &path) {
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                           static_cast<CFIndex>(path.size()), true);
    if (!url) return;
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    if (!bundle) report_bundle_problem(path, "registered, but CoreFoundation could not open it as a bundle");
}

void scan_folder(const std::string &folder) {
    DIR *dir = opendir(folder.c_str());
    if (!dir) return;  // search folders are optional; most machines have none of the defaults
    std::vector<std::string> names;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const std::string suffix = ".component";
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    closedir(dir);
    // Sorted, so the order of FindNext does not depend on the file system.
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        const std::string path = folder + "/" + name;
        if (!is_directory(path)) continue;
        AudioComponent ignored = nullptr;
        register_bundle(path.c_str(), &ignored);  // a broken bundle is reported and skipped
    }
}

}  // namespace

void report_bundle_problem(const std::string &path, const std::string &problem) {
    std::fprintf(stderr, "auplatform: component bundle %s refused: %s\n", path.c_str(), problem.c_str());
}

OSStatus register_bundle(const char *bundle_path, AudioComponent *out_component) {
    if (out_component) *out_component = nullptr;
    if (!bundle_path || !*bundle_path) {
        report_bundle_problem("(none)", "no bundle path given");
        return paramErr;
    }
    char *resolved = realpath(bundle_path, nullptr);
    if (!resolved) {
        report_bundle_problem(bundle_path, "no such bundle folder");
        return fnfErr;
    }
    const std::string path = resolved;
    std::free(resolved);
    if (!is_directory(path)) {
        report_bundle_problem(bundle_path, "not a folder");
        return fnfErr;
    }

    Registry &reg = registry();
    // Loading runs under the lock: the same folder registered from two threads at once must
    // load once. So a component's static initialisers (run by dlopen) must not call the registry.
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (auto known = reg.bundles.find(path); known != reg.bundles.end()) {
        if (out_component) *out_component = known->second;
        return noErr;
    }
    BundleLoadResult loaded = load_component_bundle(path);
    if (loaded.status != noErr) {
        report_bundle_problem(bundle_path, loaded.problem);
        return loaded.status;
    }
    OpaqueAudioComponent *first = loaded.components.front().get();
    for (auto &component : loaded.components) reg.components.push_back(std::move(component));
    reg.bundles.emplace(path, first);
    open_cf_bundle(path);
    if (out_component) *out_component = first;
    return noErr;
}

void scan_component_folders_once() {
    static std::once_flag scanned;
    std::call_once(scanned, [] {
        std::vector<std::string> folders;
        if (const char *search = std::getenv("AUDIO_COMPONENT_PATH")) {
            std::string list = search;
            size_t start = 0;
            while (start <= list.size()) {
                const size_t colon = std::min(list.find(':', start), list.size());
                if (colon > start) folders.push_back(list.substr(start, colon - start));
                start = colon + 1;
            }
        }
        if (const char *home = std::getenv("HOME"); home && *home)
            folders.push_back(std::string(home) + "/.local/lib/audio-components");
        folders.push_back("/usr/local/lib/audio-components");
        folders.push_back("/usr/lib/audio-components");
        for (const std::string &folder : folders) scan_folder(folder);
    });
}

}  // namespace platform::au

using platform::au::registry;

extern "C" {

OSStatus AudioComponentRegisterBundle(const char *bundlePath, AudioComponent *outComponent) {
    return platform::au::register_bundle(bundlePath, outComponent);
}

AudioComponent AudioComponentFindNext(AudioComponent inComponent, const AudioComponentDescription *inDesc) {
    platform::au::scan_component_folders_once();
    auto &reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    size_t start = 0;
    if (inComponent) {
        // An unknown `inComponent` finds nothing rather than restarting the search.
        start = reg.components.size();
        for (size_t i = 0; i < reg.components.size(); ++i)
            if (reg.components[i].get() == inComponent) start = i + 1;
    }
    for (size_t i = start; i < reg.components.size(); ++i)
        if (platform::au::matches(reg.components[i]->description, inDesc)) return reg.components[i].get();
    return nullptr;
}

UInt32 AudioComponentCount(const AudioComponentDescription *inDesc) {
    platform::au::scan_component_folders_once();
    auto &reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    return static_cast<UInt32>(std::count_if(reg.components.begin(), reg.components.end(), [&](const auto &c) {
        return platform::au::matches(c->description, inDesc);
    }));
}

// The fields below never change after registration, so reading them needs no lock.
OSStatus AudioComponentGetDescription(AudioComponent inComponent, AudioComponentDescription *outDesc) {
    if (!inComponent || !outDesc) return paramErr;
    *outDesc = inComponent->description;
    return noErr;
}

OSStatus AudioComponentCopyName(AudioComponent inComponent, CFStringRef *outName) {
    if (!inComponent || !outName) return paramErr;
    *outName = CFStringCreateWithCString(nullptr, inComponent->name.c_str(), kCFStringEncodingUTF8);
    return *outName ? noErr : memFullErr;
}

OSStatus AudioComponentGetVersion(AudioComponent inComponent, UInt32 *outVersion) {
    if (!inComponent || !outVersion) return paramErr;
    *outVersion = inComponent->version;
    return noErr;
}

}  // extern "C"
