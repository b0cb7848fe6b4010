#include "view/editor/color_preferences.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <cstring>

namespace view {

namespace {

constexpr uint8_t tag[4] = {'R', 'G', 'B', 'A'};
constexpr size_t encoded_size = sizeof tag + 4 * sizeof(uint64_t);

// Any application, current user, current host: every host of this user shares the colours.
CFStringRef application() { return kCFPreferencesAnyApplication; }

CFStringRef key_string(color_preference which) {
    return which == color_preference::info ? CFSTR("com.harrowfield.velder_info_color")
                                           : CFSTR("com.harrowfield.velder_readout_color");
}

bool is_present(color_preference which) {
    CFPropertyListRef value =
        CFPreferencesCopyValue(key_string(which), application(), kCFPreferencesCurrentUser, kCFPreferencesCurrentHost);
    if (value == nullptr) return false;
    CFRelease(value);
    return true;
}

void set_value(color_preference which, const ui::Color &color) {
    const std::vector<uint8_t> bytes = encode_color(color);
    CFDataRef data = CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
    CFPreferencesSetValue(key_string(which), data, application(), kCFPreferencesCurrentUser, kCFPreferencesCurrentHost);
    CFRelease(data);
}

void synchronize() { CFPreferencesSynchronize(application(), kCFPreferencesCurrentUser, kCFPreferencesCurrentHost); }

}  // namespace

const char *color_preference_key(color_preference which) {
    return which == color_preference::info ? "com.harrowfield.velder_info_color" : "com.harrowfield.velder_readout_color";
}

ui::Color default_color(color_preference which) {
    return which == color_preference::info ? ui::Color{0.0, 0.15, 0.8, 1.0} : ui::Color{0.8, 0.65, 0.2, 1.0};
}

std::vector<uint8_t> encode_color(const ui::Color &color) {
    std::vector<uint8_t> bytes(tag, tag + sizeof tag);
    for (double component : {color.red, color.green, color.blue, color.alpha}) {
        uint64_t bits;
        std::memcpy(&bits, &component, sizeof bits);
        for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return bytes;
}

std::optional<ui::Color> decode_color(const uint8_t *bytes, size_t size) {
    if (bytes == nullptr || size != encoded_size || std::memcmp(bytes, tag, sizeof tag) != 0) return std::nullopt;
    double components[4];
    const uint8_t *p = bytes + sizeof tag;
    for (double &component : components) {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | *p++;
        std::memcpy(&component, &bits, sizeof component);
        if (!(component >= 0.0 && component <= 1.0)) return std::nullopt;  // also refuses NaN
    }
    return ui::Color{components[0], components[1], components[2], components[3]};
}

void ensure_color_preferences() {
    if (is_present(color_preference::info) && is_present(color_preference::readout)) return;
    set_value(color_preference::info, default_color(color_preference::info));
    set_value(color_preference::readout, default_color(color_preference::readout));
    synchronize();
}

ui::Color read_color_preference(color_preference which) {
    CFPropertyListRef value =
        CFPreferencesCopyValue(key_string(which), application(), kCFPreferencesCurrentUser, kCFPreferencesCurrentHost);
    std::optional<ui::Color> color;
    if (value != nullptr && CFGetTypeID(value) == CFDataGetTypeID()) {
        auto data = static_cast<CFDataRef>(value);
        color = decode_color(CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data)));
    }
    if (value != nullptr) CFRelease(value);
    return color.value_or(default_color(which));
}

void write_color_preference(color_preference which, const ui::Color &color) {
    set_value(which, color);
    synchronize();
}

}  // namespace view
