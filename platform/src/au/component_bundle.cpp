// Bundle layout: <Name>.component/Contents/Info.plist and
// <Name>.component/Contents/x86_64-linux/<CFBundleExecutable>.so.
#include "au/component_bundle.h"

#include <CoreFoundation/CoreFoundation.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace platform::au {
namespace {

// Info.plist files are a few kilobytes; anything this large is not one.
constexpr long kMaxInfoPlistBytes = 1 << 20;

struct CFReleaser {
    void operator()(CFTypeRef object) const {
        if (object) CFRelease(object);
    }
};
using CFHolder = std::unique_ptr<const void, CFReleaser>;

struct DlCloser {
    void operator()(void *handle) const {
        if (handle) dlclose(handle);
    }
};
using DlHandle = std::unique_ptr<void, DlCloser>;

// A refusal: every problem below is a defect of the bundle's contents, so it is answered as
// kAudioUnitErr_InvalidFile; only a bundle folder that is not there at all is fnfErr (decided
// by the caller).
BundleLoadResult refuse(std::string problem) {
    BundleLoadResult result;
    result.status = kAudioUnitErr_InvalidFile;
    result.problem = std::move(problem);
    return result;
}

bool read_file(const std::string &path, std::string &out, std::string &problem) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        problem = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (size < 0 || size > kMaxInfoPlistBytes) {
        std::fclose(file);
        problem = path + " is not a plausible Info.plist (size " + std::to_string(size) + " bytes)";
        return false;
    }
    out.resize(static_cast<size_t>(size));
    const size_t got = size ? std::fread(out.data(), 1, out.size(), file) : 0;
    std::fclose(file);
    if (got != out.size()) {
        problem = "cannot read " + path;
        return false;
    }
    return true;
}

std::string cf_to_string(CFStringRef string) {
    if (const char *bytes = CFStringGetCStringPtr(string, kCFStringEncodingUTF8)) return bytes;
    const CFIndex capacity = CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<size_t>(capacity), '\0');
    if (!CFStringGetCString(string, buffer.data(), capacity, kCFStringEncodingUTF8)) return {};
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

// The value of `key` when it is a string; `present` tells a missing key from a mistyped one.
bool string_value(CFDictionaryRef dict, const char *key, std::string &out, bool &present) {
    CFStringRef cf_key = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(dict, cf_key);
    CFRelease(cf_key);
    present = value != nullptr;
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return false;
    out = cf_to_string(static_cast<CFStringRef>(value));
    return true;
}

CFTypeRef raw_value(CFDictionaryRef dict, const char *key) {
    CFStringRef cf_key = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(dict, cf_key);
    CFRelease(cf_key);
    return value;
}

// Four-character codes are written as exactly four bytes ("aufx") and packed big-endian, the
// way the platform spells OSType constants ('aufx' == 0x61756678).
bool four_char_code(const std::string &text, OSType &out) {
    if (text.size() != 4) return false;
    out = 0;
    for (unsigned char c : text) out = (out << 8) | c;
    return true;
}

// The executable name becomes part of a path: refuse anything that could leave the bundle.
bool plausible_file_name(const std::string &name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Parses one dictionary of the "AudioComponents" array; `where` names it in messages.
bool parse_component(CFTypeRef item, const std::string &where, const std::string &bundle_name,
                     OpaqueAudioComponent &out, std::string &factory, std::string &problem) {
    if (!item || CFGetTypeID(item) != CFDictionaryGetTypeID()) {
        problem = where + " is not a dictionary";
        return false;
    }
    const auto dict = static_cast<CFDictionaryRef>(item);
    const char *code_keys[3] = {"type", "subtype", "manufacturer"};
    OSType *code_fields[3] = {&out.description.componentType, &out.description.componentSubType,
                              &out.description.componentManufacturer};
    for (int i = 0; i < 3; ++i) {
        std::string text;
        bool present = false;
        if (!string_value(dict, code_keys[i], text, present) || !four_char_code(text, *code_fields[i])) {
            problem = where + ": \"" + code_keys[i] + "\" must be a four-character string";
            return false;
        }
    }
    bool present = false;
    if (!string_value(dict, "factoryFunction", factory, present) || factory.empty()) {
        problem = where + " names no entry symbol (\"factoryFunction\")";
        return false;
    }
    // A missing name falls back to the bundle's name, so a component always has one to show.
    if (!string_value(dict, "name", out.name, present)) {
        if (present) {
            problem = where + ": \"name\" must be a string";
            return false;
        }
        out.name = bundle_name;
    }
    if (CFTypeRef version = raw_value(dict, "version")) {
        SInt64 number = -1;
        if (CFGetTypeID(version) != CFNumberGetTypeID() || CFNumberIsFloatType(static_cast<CFNumberRef>(version)) ||
            !CFNumberGetValue(static_cast<CFNumberRef>(version), kCFNumberSInt64Type, &number) || number < 0 ||
            number > static_cast<SInt64>(std::numeric_limits<UInt32>::max())) {
            problem = where + ": \"version\" must be an integer from 0 to 4294967295";
            return false;
        }
        out.version = static_cast<UInt32>(number);
    }
    return true;
}

}  // namespace

BundleLoadResult load_component_bundle(const std::string &canonical_path) {
    const std::string plist_path = canonical_path + "/Contents/Info.plist";
    std::string bytes, problem;
    if (!read_file(plist_path, bytes, problem)) return refuse(problem);

    CFHolder data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                               static_cast<CFIndex>(bytes.size())));
    CFErrorRef error = nullptr;
    CFHolder plist(CFPropertyListCreateWithData(nullptr, static_cast<CFDataRef>(data.get()), kCFPropertyListImmutable,
                                                nullptr, &error));
    if (!plist) {
        std::string why = "not a property list";
        if (error) {
            CFStringRef description = CFErrorCopyDescription(error);
            if (description) {
                why = cf_to_string(description);
                CFRelease(description);
            }
            CFRelease(error);
        }
        return refuse(plist_path + " is malformed: " + why);
    }
    if (error) CFRelease(error);
    if (CFGetTypeID(plist.get()) != CFDictionaryGetTypeID())
        return refuse(plist_path + " is malformed: its root is not a dictionary");
    const auto info = static_cast<CFDictionaryRef>(plist.get());

    std::string executable;
    bool present = false;
    if (!string_value(info, "CFBundleExecutable", executable, present) || !plausible_file_name(executable))
        return refuse(plist_path + " has no usable CFBundleExecutable (a plain file name is required)");
    std::string bundle_name;
    if (!string_value(info, "CFBundleName", bundle_name, present)) bundle_name = executable;

    CFTypeRef list = raw_value(info, "AudioComponents");
    if (!list || CFGetTypeID(list) != CFArrayGetTypeID() || CFArrayGetCount(static_cast<CFArrayRef>(list)) == 0)
        return refuse(plist_path + " declares no component (\"AudioComponents\" must be a non-empty array)");
    const auto components = static_cast<CFArrayRef>(list);

    // Every entry must be sound before anything is registered: a half-registered bundle would
    // make FindNext answer differently depending on which entry broke.
    BundleLoadResult result;
    std::vector<std::string> factories;
    for (CFIndex i = 0; i < CFArrayGetCount(components); ++i) {
        auto component = std::make_unique<OpaqueAudioComponent>();
        component->bundle_path = canonical_path;
        std::string factory;
        const std::string where = plist_path + ": AudioComponents[" + std::to_string(i) + "]";
        if (!parse_component(CFArrayGetValueAtIndex(components, i), where, bundle_name, *component, factory, problem))
            return refuse(problem);
        factories.push_back(std::move(factory));
        result.components.push_back(std::move(component));
    }

    const std::string so_path = canonical_path + "/Contents/x86_64-linux/" + executable + ".so";
    struct stat so_stat {};
    if (stat(so_path.c_str(), &so_stat) != 0 || !S_ISREG(so_stat.st_mode))
        return refuse("missing shared object " + so_path);
    dlerror();
    DlHandle handle(dlopen(so_path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle) {
        const char *why = dlerror();
        return refuse("cannot load " + so_path + ": " + (why ? why : "unknown dlopen error"));
    }
    for (size_t i = 0; i < factories.size(); ++i) {
        void *symbol = dlsym(handle.get(), factories[i].c_str());
        if (!symbol)
            return refuse(so_path + " has no entry symbol \"" + factories[i] + "\" (named in " + plist_path + ")");
        result.components[i]->entry = reinterpret_cast<ComponentRoutineProcPtr>(symbol);
    }
    // The components keep running code from this object for the life of the process.
    handle.release();
    return result;
}

}  // namespace platform::au
