// CFPreferences: one XML property list per application id, in
// $XDG_CONFIG_HOME/zentrova-preferences/<application id>.plist (~/.config when XDG_CONFIG_HOME is
// unset or relative). The user and host arguments are accepted and ignored: one user, one file.
//
// Values set are kept in memory and written by CFPreferencesSynchronize, which re-reads the file
// first and applies only this process's changes, so two processes editing different keys do not
// undo each other. Files are replaced atomically (temporary file, then rename). A file that cannot
// be read as a dictionary reads as empty, and is kept aside as <file>.corrupt before being replaced.
// Thread-safety: any thread except the render thread (file access, one mutex).
#include "cf/CFRuntime.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

const CFStringRef kCFPreferencesAnyApplication = CFSTR("kCFPreferencesAnyApplication");
const CFStringRef kCFPreferencesCurrentApplication = CFSTR("kCFPreferencesCurrentApplication");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");

namespace {

const char *kLog = "CFPreferences";

struct Domain {
    CFMutableDictionaryRef values = nullptr;  // the file's contents with this process's changes
    // This process's changes since the last synchronisation, in order; a null value removes.
    std::vector<std::pair<CFStringRef, CFTypeRef>> pending;
};

struct Store {
    std::mutex mutex;
    std::map<std::string, Domain> domains;  // by file path
};

Store &store() {
    static auto *s = new Store;  // never destroyed: preferences may be touched during exit
    return *s;
}

CFMutableDictionaryRef new_dictionary() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

std::string folder() {
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char *home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd *pw = getpwuid(getuid());
            home = pw != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/zentrova-preferences";
}

// The file of an application id, or empty when the id cannot name a file safely.
std::string file_of(CFStringRef application_id) {
    std::string id;
    if (CFEqual(application_id, kCFPreferencesAnyApplication)) {
        id = ".GlobalPreferences";
    } else if (CFEqual(application_id, kCFPreferencesCurrentApplication)) {
        id = program_invocation_short_name;
    } else {
        id = std::string(cf::string_view(application_id));
    }
    if (id.empty() || id == "." || id == ".." || id.find('/') != std::string::npos || id.find('\0') != std::string::npos) {
        cf::log(kLog, "refusing application id \"" + id + "\": it cannot name a preferences file");
        return {};
    }
    return folder() + "/" + id + ".plist";
}

// The file's dictionary; empty when the file is missing or unreadable (corrupt set in that case).
CFMutableDictionaryRef read_file(const std::string &path, bool &corrupt) {
    corrupt = false;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return new_dictionary();
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && bytes.size() <= (size_t(1) << 20)) bytes.append(buffer, n);
    std::fclose(f);
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    CFErrorRef error = nullptr;
    // Immutable inside, so values handed out by CFPreferencesCopyValue cannot change the store.
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (plist != nullptr && CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
        CFMutableDictionaryRef top = CFDictionaryCreateMutableCopy(nullptr, 0, static_cast<CFDictionaryRef>(plist));
        CFRelease(plist);
        return top;
    }
    std::string why = "it does not hold a dictionary";
    if (error != nullptr) {
        CFStringRef text = CFErrorCopyDescription(error);
        why = std::string(cf::string_view(text));
        CFRelease(text);
        CFRelease(error);
    }
    CFRelease(plist);
    cf::log(kLog, "reading " + path + " as empty: " + why);
    corrupt = true;
    return new_dictionary();
}

bool make_folders(const std::string &path) {
    for (size_t slash = 1; (slash = path.find('/', slash)) != std::string::npos; ++slash) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool write_file(const std::string &path, CFDictionaryRef values) {
    CFErrorRef error = nullptr;
    CFDataRef data = CFPropertyListCreateData(nullptr, values, kCFPropertyListXMLFormat_v1_0, 0, &error);
    if (data == nullptr) {
        CFStringRef text = CFErrorCopyDescription(error);
        cf::log(kLog, "cannot write " + path + ": " + std::string(cf::string_view(text)));
        CFRelease(text);
        CFRelease(error);
        return false;
    }
    std::string dir = path.substr(0, path.rfind('/'));
    std::string temp = dir + "/." + path.substr(dir.size() + 1) + ".XXXXXX";
    bool ok = make_folders(dir);
    int fd = ok ? mkstemp(temp.data()) : -1;
    if (fd >= 0) {
        const UInt8 *p = CFDataGetBytePtr(data);
        size_t left = static_cast<size_t>(CFDataGetLength(data));
        while (left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        // fsync before rename: after a crash the file is either the old one or the whole new one.
        ok = left == 0 && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        ok = ok && rename(temp.c_str(), path.c_str()) == 0;
        if (!ok) unlink(temp.c_str());
    } else {
        ok = false;
    }
    if (!ok) cf::log(kLog, "cannot write " + path + ": " + std::strerror(errno));
    CFRelease(data);
    return ok;
}

Domain &domain_of(const std::string &path) {
    Domain &d = store().domains[path];
    if (d.values == nullptr) {
        bool corrupt;
        d.values = read_file(path, corrupt);
    }
    return d;
}

void apply(CFMutableDictionaryRef values, CFStringRef key, CFTypeRef value) {
    if (value != nullptr)
        CFDictionarySetValue(values, key, value);
    else
        CFDictionaryRemoveValue(values, key);
}

}  // namespace

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef application_id, CFStringRef, CFStringRef) {
    if (cf::as<__CFString>(key) == nullptr) return nullptr;
    std::string path = file_of(application_id);
    if (path.empty()) return nullptr;
    std::lock_guard lock(store().mutex);
    // Stored values are immutable copies, so handing out a reference is safe.
    return CFRetain(CFDictionaryGetValue(domain_of(path).values, key));
}

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef application_id) {
    return CFPreferencesCopyValue(key, application_id, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef application_id, CFStringRef, CFStringRef) {
    if (cf::as<__CFString>(key) == nullptr) return;
    CFPropertyListRef copy = nullptr;
    if (value != nullptr) {
        // A copy, so that later changes to a mutable value by the caller do not leak in unsaved.
        copy = CFPropertyListCreateDeepCopy(nullptr, value, kCFPropertyListImmutable);
        if (copy == nullptr) {
            cf::log(kLog, "ignoring a value for \"" + std::string(cf::string_view(key)) + "\" that is not a property list");
            return;
        }
    }
    std::string path = file_of(application_id);
    if (!path.empty()) {
        std::lock_guard lock(store().mutex);
        Domain &d = domain_of(path);
        apply(d.values, key, copy);
        CFRetain(key);
        CFRetain(copy);
        d.pending.emplace_back(key, copy);
    }
    CFRelease(copy);
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef application_id) {
    CFPreferencesSetValue(key, value, application_id, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

Boolean CFPreferencesSynchronize(CFStringRef application_id, CFStringRef, CFStringRef) {
    std::string path = file_of(application_id);
    if (path.empty()) return false;
    std::lock_guard lock(store().mutex);
    Domain &d = store().domains[path];
    bool corrupt = false;
    CFMutableDictionaryRef merged = read_file(path, corrupt);
    for (const auto &[key, value] : d.pending) apply(merged, key, value);
    bool ok = true;
    if (!d.pending.empty()) {
        // Keep what could not be read instead of destroying it silently.
        if (corrupt) rename(path.c_str(), (path + ".corrupt").c_str());
        ok = write_file(path, merged);
    }
    if (ok) {
        for (const auto &[key, value] : d.pending) {
            CFRelease(key);
            CFRelease(value);
        }
        d.pending.clear();
    }
    CFRelease(d.values);
    d.values = merged;
    return ok;
}

Boolean CFPreferencesAppSynchronize(CFStringRef application_id) {
    return CFPreferencesSynchronize(application_id, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}
