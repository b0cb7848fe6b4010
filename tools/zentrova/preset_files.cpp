#include "preset_files.h"

#include "cli_errors.h"
#include "effect_host.h"
#include "file_paths.h"

#include "host/cf_string.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace zentrova_cli {
namespace fs = std::filesystem;

namespace {

std::string describe(CFErrorRef error) {
    if (error == nullptr) return "unknown error";
    std::string text = "unreadable property list";
    if (CFStringRef d = CFErrorCopyDescription(error)) {
        text = host::to_string(d);
        CFRelease(d);
    }
    CFRelease(error);
    return text;
}

struct global_values {
    std::size_t restored = 0;  // what the effect takes: whole records only
    std::size_t claimed = 0, held = 0;  // of a record cut short: the count it gives, the pairs it has
};

// The parameter values a saved state holds for the global element, read as the effect reads
// them: records of (scope, element, count) and then count (id, value) pairs, big-endian, the walk
// ending at the first record cut short (which the effect skips whole).
global_values count_global_values(CFPropertyListRef state) {
    global_values result;
    const auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data")));
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID()) return result;
    const UInt8 *bytes = CFDataGetBytePtr(data);
    const auto length = static_cast<std::size_t>(CFDataGetLength(data));
    auto word = [&](std::size_t at) {
        return UInt32{bytes[at]} << 24 | UInt32{bytes[at + 1]} << 16 | UInt32{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    std::size_t at = 0;
    while (length - at >= 12) {
        const UInt32 scope = word(at), element = word(at + 4), count = word(at + 8);
        at += 12;
        if ((length - at) / 8 < count) {
            if (scope == 0 && element == 0) result = {result.restored, count, (length - at) / 8};
            break;
        }
        if (scope == 0 && element == 0) result.restored += count;
        at += std::size_t{count} * 8;
    }
    return result;
}

}  // namespace

CFPropertyListRef read_preset_file(const fs::path &path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) throw user_error("cannot read preset \"" + path.string() + "\": no such file");
    if (!fs::is_regular_file(path, ec)) throw user_error("cannot read preset \"" + path.string() + "\": not a file");
    // Presets are small; the property-list reader refuses anything over 1 MiB anyway.
    const auto size = fs::file_size(path, ec);
    if (ec || size > (1u << 20))
        throw user_error("cannot read preset \"" + path.string() + "\": larger than 1 MiB, not a preset");
    std::vector<char> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw user_error("cannot read preset \"" + path.string() + "\": " + std::strerror(errno));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + static_cast<std::size_t>(n) > (1u << 20)) {
            const std::string why = n < 0 ? std::strerror(errno) : "larger than 1 MiB, not a preset";
            ::close(fd);
            throw user_error("cannot read preset \"" + path.string() + "\": " + why);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    CFDataRef data =
        CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(kCFAllocatorDefault, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) throw user_error("cannot read preset \"" + path.string() + "\": " + describe(error));
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
        CFRelease(plist);
        throw user_error("cannot read preset \"" + path.string() + "\": not a preset dictionary");
    }
    return plist;
}

preset_file_writer::preset_file_writer(const fs::path &path, CFPropertyListRef state, bool force)
    : _path(path), _force(force) {
    check_destination(path, force, "the preset");
    CFErrorRef error = nullptr;
    CFDataRef data = CFPropertyListCreateData(kCFAllocatorDefault, state, kCFPropertyListXMLFormat_v1_0, 0, &error);
    if (data == nullptr) throw internal_error("cannot serialise the preset: " + describe(error));
    int fd = -1;
    try {
        fd = create_temporary_beside(path, _temporary);
    } catch (...) {
        CFRelease(data);
        throw;
    }
    const auto *bytes = reinterpret_cast<const char *>(CFDataGetBytePtr(data));
    std::size_t left = static_cast<std::size_t>(CFDataGetLength(data));
    int failure = 0;
    while (left > 0 && failure == 0) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    CFRelease(data);
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        ::unlink(_temporary.c_str());
        _temporary.clear();
        throw user_error("cannot write preset \"" + path.string() + "\": " + std::strerror(failure));
    }
}

preset_file_writer::~preset_file_writer() {
    if (!_temporary.empty()) ::unlink(_temporary.c_str());
}

void preset_file_writer::commit() {
    const fs::path temporary = _temporary;
    _temporary.clear();
    place_file(temporary, _path, _force, "the preset");
}

void write_preset_file(const fs::path &path, CFPropertyListRef state, bool force) {
    preset_file_writer(path, state, force).commit();
}

}  // namespace zentrova_cli

namespace zentrova_cli {

void restore_preset(effect_host &host, const fs::path &path) {
    CFPropertyListRef state = read_preset_file(path);
    try {
        restore_checked_state(host, state, "preset \"" + path.string() + "\"");
    } catch (...) {
        CFRelease(state);
        throw;
    }
    CFRelease(state);
}

void restore_checked_state(effect_host &host, CFPropertyListRef state, const std::string &source) {
    global_values values;
    try {
        values = count_global_values(state);
        host.restore_state(state);
    } catch (const user_error &e) {
        throw user_error("cannot use " + source + ": " + e.what());
    }
    const std::size_t expected = host.parameters().size();
    if (values.claimed > 0)
        std::fprintf(stderr,
                     "zentrova: warning: %s is cut short: its data claims %zu parameter values and holds "
                     "%zu; the effect skips a record cut short, so %zu of %zu parameters keep their defaults\n",
                     source.c_str(), values.claimed, values.held, expected - std::min(values.restored, expected),
                     expected);
    else if (values.restored < expected)
        std::fprintf(stderr,
                     "zentrova: warning: %s holds %zu of %zu parameter values (its data is cut short or "
                     "unreadable); the others keep their defaults\n",
                     source.c_str(), values.restored, expected);
    for (const auto &p : host.parameters()) {
        const float v = host.parameter(p.id);
        char text[128] = {};
        if (!std::isfinite(v) || v < p.minimum || v > p.maximum)
            std::snprintf(text, sizeof text, " is %g, outside its range %g .. %g", static_cast<double>(v),
                          static_cast<double>(p.minimum), static_cast<double>(p.maximum));
        else if (!p.value_strings.empty() && v != std::floor(v))
            std::snprintf(text, sizeof text, " is %g, not one of its menu items", static_cast<double>(v));
        if (text[0] != '\0') throw user_error("cannot use " + source + ": \"" + p.name + "\"" + text);
    }
}

}  // namespace zentrova_cli
