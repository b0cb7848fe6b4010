#include "state_check.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace zentrova_lv2 {

namespace {

UInt32 big_endian_word(const UInt8 *bytes) {
    return UInt32{bytes[0]} << 24 | UInt32{bytes[1]} << 16 | UInt32{bytes[2]} << 8 | bytes[3];
}

std::string parameter_name(const AudioUnitParameterInfo &info) {
    std::string name = info.name;
    if (info.flags & kAudioUnitParameterFlag_HasCFNameString) {
        char buffer[256] = {};
        if (info.cfNameString && CFStringGetCString(info.cfNameString, buffer, sizeof buffer, kCFStringEncodingUTF8))
            name = buffer;
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
    }
    return name;
}

// Empty, or why `value` is no value of the parameter `id`.
std::string check_value(AudioUnit unit, UInt32 id, float value) {
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    // An id the component does not have: its own restore refuses the state for that.
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info, &size) != noErr)
        return {};
    const std::string name = parameter_name(info);
    char text[160];
    if (!std::isfinite(value))
        std::snprintf(text, sizeof text, " is %g, not a number it can take", static_cast<double>(value));
    else if (value < info.minValue || value > info.maxValue)
        std::snprintf(text, sizeof text, " is %g, outside its range %g .. %g", static_cast<double>(value),
                      static_cast<double>(info.minValue), static_cast<double>(info.maxValue));
    else if (info.unit == kAudioUnitParameterUnit_Indexed && value != std::floor(value))
        std::snprintf(text, sizeof text, " is %g, not one of its menu items (0 .. %g)", static_cast<double>(value),
                      static_cast<double>(info.maxValue));
    else
        return {};
    return "\"" + name + "\"" + text;
}

}  // namespace

std::string unusable_state_value(AudioUnit unit, CFPropertyListRef class_info) {
    if (class_info == nullptr || CFGetTypeID(class_info) != CFDictionaryGetTypeID()) return {};
    const auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(class_info), CFSTR("data")));
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID()) return {};
    const UInt8 *bytes = CFDataGetBytePtr(data);
    const auto length = static_cast<std::size_t>(CFDataGetLength(data));
    constexpr std::size_t header = 12, pair = 8;
    for (std::size_t at = 0; length - at >= header;) {
        const UInt32 scope = big_endian_word(bytes + at), element = big_endian_word(bytes + at + 4),
                     count = big_endian_word(bytes + at + 8);
        at += header;
        if ((length - at) / pair < count) break;  // a record cut short: the component skips it
        for (UInt32 k = 0; k < count; ++k, at += pair) {
            if (scope != kAudioUnitScope_Global || element != 0) continue;
            const UInt32 bits = big_endian_word(bytes + at + 4);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            if (std::string why = check_value(unit, big_endian_word(bytes + at), value); !why.empty()) return why;
        }
    }
    return {};
}

}  // namespace zentrova_lv2
