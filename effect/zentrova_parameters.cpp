#include "effect/zentrova_parameters.h"

#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace zentrova {
namespace {

// The names and value strings are handed out as constant strings: interned once for the life of
// the process, so hosts may keep them without retaining and the effect never releases them.
CFStringRef constant_string(std::string_view text) {
    const std::string terminated(text);
    return __CFStringMakeConstantString(terminated.c_str());
}

}  // namespace

OSStatus get_parameter_info(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info) {
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (scope != kAudioUnitScope_Global || id >= parameters.size()) return kAudioUnitErr_InvalidParameter;

    const parameter_definition &row = parameters[id];
    info.cfNameString = constant_string(row.name);
    info.flags |= kAudioUnitParameterFlag_HasCFNameString;

    const std::size_t length = std::min(row.name.size(), sizeof(info.name) - 1);
    std::memcpy(info.name, row.name.data(), length);
    info.name[length] = '\0';

    info.unit = row.unit;
    info.minValue = row.minimum;
    info.maxValue = row.maximum;
    info.defaultValue = row.default_value;
    return noErr;
}

OSStatus get_parameter_value_strings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef *out_strings) {
    // A null out pointer only asks whether strings may exist; every id answers yes.
    if (scope == kAudioUnitScope_Global && out_strings == nullptr) return noErr;
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidProperty;
    if (id >= parameters.size() || parameters[id].value_strings.empty()) return kAudioUnitErr_InvalidProperty;

    const auto names = parameters[id].value_strings;
    const void *values[16];
    for (std::size_t i = 0; i < names.size(); ++i) values[i] = constant_string(names[i]);
    // No retain/release callbacks: the strings are constants; the caller owns only the array.
    *out_strings = CFArrayCreate(kCFAllocatorDefault, values, static_cast<CFIndex>(names.size()), nullptr);
    return noErr;
}

}  // namespace zentrova
