// CFBundle: a bundle folder laid out as
//   <name>/Contents/Info.plist
//   <name>/Contents/Resources/...
//   <name>/Contents/x86_64-linux/<CFBundleExecutable>.so
// Every bundle opened in the process stays open (and registered under its identifier) until the
// process ends, as on the original platform, so CFBundleGetBundleWithIdentifier can hand out
// unretained references and loaded code is never unloaded under its callers.
// Thread-safety: any thread; the registry and each bundle's loading are guarded by mutexes.
#include "cf/CFRuntime.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>

struct __CFBundle final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kBundleTypeID;
    __CFBundle() : Object(kTypeID) {}
    std::string describe() const override { return "<bundle " + path + ">"; }

    std::string path;  // canonical, without trailing slash
    CFURLRef url = nullptr;
    CFDictionaryRef info = nullptr;
    CFStringRef identifier = nullptr;  // inside info, or null

    std::mutex load_mutex;
    void *handle = nullptr;  // guarded by load_mutex
};

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<__CFBundle *> bundles;  // each holds the registry's reference, never released
};

Registry &registry() {
    static auto *r = new Registry;  // outlives static destructors: bundles may be used at exit
    return *r;
}

const char *kLog = "CFBundle";

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A name taken from outside (Info.plist, a caller) must not climb out of the bundle.
bool safe_component(std::string_view name, bool allow_slash) {
    if (name.empty()) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        if (!allow_slash && end != name.size()) return false;
        std::string_view part = name.substr(start, end - start);
        if (part == ".." || (part.empty() && !allow_slash)) return false;
        start = end + 1;
    }
    return name.find('\0') == std::string_view::npos;
}

bool read_file(const std::string &path, std::string &out, std::string &problem) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        problem = "cannot be opened";
        return false;
    }
    out.clear();
    char buffer[65536];
    size_t n;
    // One byte past the property-list bound is enough to know the file is too large.
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && out.size() <= (size_t(1) << 20)) out.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) problem = "cannot be read";
    return !failed;
}

CFDictionaryRef read_info(const std::string &bundle_path) {
    std::string plist_path = bundle_path + "/Contents/Info.plist";
    std::string bytes, problem;
    if (!read_file(plist_path, bytes, problem)) {
        cf::log(kLog, plist_path + " " + problem);
        return nullptr;
    }
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) {
        CFStringRef why = CFErrorCopyDescription(error);
        cf::log(kLog, plist_path + " is not a property list: " + std::string(cf::string_view(why)));
        CFRelease(why);
        CFRelease(error);
        return nullptr;
    }
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
        cf::log(kLog, plist_path + " does not hold a dictionary");
        CFRelease(plist);
        return nullptr;
    }
    return static_cast<CFDictionaryRef>(plist);
}

std::string executable_name(const __CFBundle &b) {
    CFTypeRef name = CFDictionaryGetValue(b.info, CFSTR("CFBundleExecutable"));
    if (CFGetTypeID(name) != CFStringGetTypeID()) return {};
    std::string_view text = cf::string_view(name);
    return safe_component(text, false) && text != "." ? std::string(text) : std::string();
}

std::string executable_path(const __CFBundle &b) {
    std::string name = executable_name(b);
    return name.empty() ? std::string() : b.path + "/Contents/x86_64-linux/" + name + ".so";
}

bool load(__CFBundle &b) {
    std::lock_guard lock(b.load_mutex);
    if (b.handle != nullptr) return true;
    std::string path = executable_path(b);
    if (path.empty()) {
        cf::log(kLog, b.path + "/Contents/Info.plist names no usable CFBundleExecutable (a plain file name)");
        return false;
    }
    // RTLD_NOW: an unresolved symbol is reported here, with the path, not at some later call.
    b.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (b.handle == nullptr) {
        const char *why = dlerror();
        cf::log(kLog, "cannot load " + path + ": " + (why != nullptr ? why : "unknown reason"));
        return false;
    }
    return true;
}

}  // namespace

CFTypeID CFBundleGetTypeID(void) { return cf::kBundleTypeID; }

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundle_url) {
    const auto *u = cf::as<__CFURL>(bundle_url);
    if (u == nullptr) return nullptr;
    char resolved[PATH_MAX];
    if (realpath(u->path.c_str(), resolved) == nullptr || !is_directory(resolved)) return nullptr;
    std::string path = resolved;

    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    for (__CFBundle *b : r.bundles)
        if (b->path == path) return static_cast<CFBundleRef>(const_cast<void *>(CFRetain(b)));
    CFDictionaryRef info = read_info(path);
    if (info == nullptr) return nullptr;
    auto *b = new __CFBundle;
    b->path = path;
    b->url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                     static_cast<CFIndex>(path.size()), true);
    b->info = info;
    CFTypeRef id = CFDictionaryGetValue(info, CFSTR("CFBundleIdentifier"));
    if (CFGetTypeID(id) == CFStringGetTypeID()) b->identifier = static_cast<CFStringRef>(id);
    r.bundles.push_back(b);  // the registry keeps the creation reference
    return static_cast<CFBundleRef>(const_cast<void *>(CFRetain(b)));
}

// When two bundles share an identifier, the first one opened answers.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundle_id) {
    if (cf::as<__CFString>(bundle_id) == nullptr) return nullptr;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    for (__CFBundle *b : r.bundles)
        if (b->identifier != nullptr && CFEqual(b->identifier, bundle_id)) return b;
    return nullptr;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    const auto *b = cf::as<__CFBundle>(bundle);
    return b != nullptr ? b->identifier : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    const auto *b = cf::as<__CFBundle>(bundle);
    return b != nullptr ? b->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    const auto *b = cf::as<__CFBundle>(bundle);
    return b != nullptr ? CFDictionaryGetValue(b->info, key) : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    const auto *b = cf::as<__CFBundle>(bundle);
    return b != nullptr ? static_cast<CFURLRef>(CFRetain(b->url)) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
    const auto *b = cf::as<__CFBundle>(bundle);
    if (b == nullptr) return nullptr;
    std::string path = b->path + "/Contents/Resources";
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), true);
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    const auto *b = cf::as<__CFBundle>(bundle);
    if (b == nullptr) return nullptr;
    std::string path = executable_path(*b);
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return nullptr;
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), false);
}

// The type may be given with or without its leading dot ("bundle" or ".bundle").
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resource_name, CFStringRef resource_type,
                                 CFStringRef sub_dir_name) {
    const auto *b = cf::as<__CFBundle>(bundle);
    if (b == nullptr || cf::as<__CFString>(resource_name) == nullptr) return nullptr;
    std::string_view name = cf::string_view(resource_name);
    std::string_view type = cf::string_view(resource_type);
    std::string_view sub = cf::string_view(sub_dir_name);
    if (!type.empty() && type[0] == '.') type.remove_prefix(1);
    if (!safe_component(name, false) || (!type.empty() && !safe_component(type, false)) ||
        (!sub.empty() && !safe_component(sub, true)))
        return nullptr;
    std::string path = b->path + "/Contents/Resources/";
    if (!sub.empty()) path.append(sub).append("/");
    path.append(name);
    if (!type.empty()) path.append(".").append(type);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return nullptr;
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), S_ISDIR(st.st_mode));
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
    auto *b = cf::as<__CFBundle>(bundle);
    return b != nullptr && load(*b);
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) {
    auto *b = cf::as<__CFBundle>(bundle);
    if (b == nullptr) return false;
    std::lock_guard lock(b->load_mutex);
    return b->handle != nullptr;
}

// Loads the executable first when needed, as the original platform does.
void *CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef function_name) {
    auto *b = cf::as<__CFBundle>(bundle);
    std::string_view name = cf::string_view(function_name);
    if (b == nullptr || name.empty() || !load(*b)) return nullptr;
    std::lock_guard lock(b->load_mutex);
    void *symbol = dlsym(b->handle, std::string(name).c_str());
    if (symbol == nullptr) cf::log(kLog, executable_path(*b) + " has no symbol " + std::string(name));
    return symbol;
}
