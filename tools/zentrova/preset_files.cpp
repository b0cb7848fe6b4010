#include "preset_files.h"

#include "cli_errors.h"
#include "file_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
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
        char buffer[512];
        if (CFStringGetCString(d, buffer, sizeof buffer, kCFStringEncodingUTF8)) text = buffer;
        CFRelease(d);
    }
    CFRelease(error);
    return text;
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
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw user_error("cannot read preset \"" + path.string() + "\"");
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

preset_file_writer::preset_file_writer(const fs::path &path, CFPropertyListRef state, bool force) : _path(path) {
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
    const auto size = static_cast<std::size_t>(CFDataGetLength(data));
    const bool written = ::write(fd, CFDataGetBytePtr(data), size) == static_cast<ssize_t>(size);
    CFRelease(data);
    if (::close(fd) != 0 || !written) {
        const std::string why = std::strerror(errno);
        ::unlink(_temporary.c_str());
        throw user_error("cannot write preset \"" + path.string() + "\": " + why);
    }
}

preset_file_writer::~preset_file_writer() {
    if (!_temporary.empty()) ::unlink(_temporary.c_str());
}

void preset_file_writer::commit() {
    std::error_code ec;
    fs::rename(_temporary, _path, ec);
    if (ec) throw user_error("cannot write preset \"" + _path.string() + "\": " + ec.message());
    _temporary.clear();
}

void write_preset_file(const fs::path &path, CFPropertyListRef state, bool force) {
    preset_file_writer(path, state, force).commit();
}

}  // namespace zentrova_cli
