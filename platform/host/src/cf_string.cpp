#include "host/cf_string.h"

namespace host {

std::string to_string(CFStringRef text) {
    if (text == nullptr) return {};
    if (const char *direct = CFStringGetCStringPtr(text, kCFStringEncodingUTF8)) return direct;
    const CFIndex capacity = CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::string buffer(static_cast<std::size_t>(capacity), '\0');
    if (!CFStringGetCString(text, buffer.data(), capacity, kCFStringEncodingUTF8)) return {};
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

}  // namespace host
