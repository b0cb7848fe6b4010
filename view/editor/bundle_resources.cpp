#include "view/editor/bundle_resources.h"

#include <CoreFoundation/CoreFoundation.h>

#include <climits>

namespace view {

std::string interface_description_path(const std::string &name) {
    // The host opened the bundle to load this code, so it is found by its identifier; that holds
    // whichever folder the bundle was installed in.
    CFStringRef identifier = CFStringCreateWithCString(nullptr, editor_bundle_identifier, kCFStringEncodingUTF8);
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
    CFRelease(identifier);
    if (bundle == nullptr) return {};
    CFStringRef resource = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFBundleCopyResourceURL(bundle, resource, CFSTR("plist"), nullptr);
    CFRelease(resource);
    if (url == nullptr) return {};
    char path[PATH_MAX];
    const bool ok = CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path);
    CFRelease(url);
    return ok ? std::string(path) : std::string();
}

}  // namespace view
