// CFURL for file-system paths only, which is all the system uses URLs for (bundle folders and
// their resources). Relative paths are made absolute against the working directory when the URL
// is created, so a URL means the same file whatever the working directory becomes later.
// Thread-safety: immutable; any thread.
#include "cf/CFRuntime.h"

#include <unistd.h>

#include <cstring>

namespace {

// Absolute, single slashes, no "." segments, no trailing slash except for the root. ".." stays:
// resolving it textually would be wrong across symbolic links.
std::string normalise(std::string_view path) {
    std::string input;
    if (path.empty() || path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr) input = cwd;
        input += '/';
    }
    input.append(path);
    std::string out;
    size_t i = 0;
    while (i < input.size()) {
        while (i < input.size() && input[i] == '/') ++i;
        size_t j = i;
        while (j < input.size() && input[j] != '/') ++j;
        std::string_view segment(input.data() + i, j - i);
        if (!segment.empty() && segment != ".") {
            out += '/';
            out.append(segment);
        }
        i = j;
    }
    return out.empty() ? "/" : out;
}

std::string percent_encode(std::string_view path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     std::strchr("/-._~!$&'()*+,;=:@", c) != nullptr;
        if (plain && c != 0) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

CFURLRef make_url(std::string_view path, bool directory) {
    // Paths are bytes on Linux, but a CFURL must be describable as a CFString: refuse what is not
    // UTF-8 rather than produce an object whose string form is invalid.
    if (!cf::is_valid_utf8(path) || path.find('\0') != std::string_view::npos) return nullptr;
    return new __CFURL(normalise(path), directory);
}

}  // namespace

__CFURL::__CFURL(std::string absolute_path, bool directory)
    : Object(kTypeID), path(std::move(absolute_path)), is_directory(directory) {
    std::string text = "file://" + percent_encode(path);
    if (is_directory && path != "/") text += '/';
    url_string = cf::make_string(text);
}

__CFURL::~__CFURL() { CFRelease(url_string); }

bool __CFURL::equal(const Object &other) const {
    const auto &o = static_cast<const __CFURL &>(other);
    return path == o.path && is_directory == o.is_directory;
}

std::string __CFURL::describe() const { return std::string(cf::string_view(url_string)); }

CFTypeID CFURLGetTypeID(void) { return cf::kURLTypeID; }

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8 *buffer, CFIndex buf_len, Boolean is_directory) {
    if (buffer == nullptr || buf_len <= 0) return nullptr;
    std::string_view path(reinterpret_cast<const char *>(buffer), static_cast<size_t>(buf_len));
    // Callers often pass strlen()+1 or a buffer size: the path ends at the first NUL.
    path = path.substr(0, path.find('\0'));
    if (path.empty()) return nullptr;
    return make_url(path, is_directory);
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef file_path, CFURLPathStyle path_style, Boolean is_directory) {
    std::string_view path = cf::string_view(file_path);
    if (path.empty() || path_style != kCFURLPOSIXPathStyle) return nullptr;
    return make_url(path, is_directory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8 *buffer, CFIndex max_buf_len) {
    const auto *u = cf::as<__CFURL>(url);
    if (u == nullptr || buffer == nullptr || max_buf_len <= static_cast<CFIndex>(u->path.size())) return false;
    std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
    return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle path_style) {
    const auto *u = cf::as<__CFURL>(url);
    if (u == nullptr || path_style != kCFURLPOSIXPathStyle) return nullptr;
    return cf::make_string(u->path);
}

CFStringRef CFURLGetString(CFURLRef url) {
    const auto *u = cf::as<__CFURL>(url);
    return u != nullptr ? u->url_string : nullptr;
}

Boolean CFURLHasDirectoryPath(CFURLRef url) {
    const auto *u = cf::as<__CFURL>(url);
    return u != nullptr && u->is_directory;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
    const auto *u = cf::as<__CFURL>(url);
    if (u == nullptr) return nullptr;
    if (u->path == "/") return cf::make_string("/");
    return cf::make_string(std::string_view(u->path).substr(u->path.rfind('/') + 1));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef path_component, Boolean is_directory) {
    const auto *u = cf::as<__CFURL>(url);
    if (u == nullptr || cf::as<__CFString>(path_component) == nullptr) return nullptr;
    return make_url(u->path + "/" + std::string(cf::string_view(path_component)), is_directory);
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url) {
    const auto *u = cf::as<__CFURL>(url);
    if (u == nullptr) return nullptr;
    size_t slash = u->path.rfind('/');
    return make_url(slash == 0 ? std::string("/") : u->path.substr(0, slash), true);
}
