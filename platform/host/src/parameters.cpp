#include "host/parameters.h"

#include "host/cf_string.h"

#include <cstring>

namespace host {

status_error::status_error(const std::string &what, OSStatus status_)
    : std::runtime_error(what + " failed with status " + std::to_string(status_)), status(status_) {}

namespace {

void check(OSStatus status, const std::string &what) {
    if (status != noErr) throw status_error(what, status);
}

std::vector<std::string> value_strings_of(AudioUnit unit, AudioUnitParameterID id) {
    std::vector<std::string> items;
    CFArrayRef strings = nullptr;
    UInt32 size = sizeof strings;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, &strings,
                             &size) != noErr ||
        strings == nullptr)
        return items;
    for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
        items.push_back(to_string(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
    CFRelease(strings);
    return items;
}

}  // namespace

std::vector<parameter_description> read_parameters(AudioUnit unit) {
    UInt32 size = 0;
    Boolean writable = false;
    check(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, &writable),
          "reading the parameter list size");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty())
        check(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids.data(), &size),
              "reading the parameter list");
    std::vector<parameter_description> parameters;
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info{};
        UInt32 info_size = sizeof info;
        check(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info, &info_size),
              "reading the information of parameter " + std::to_string(id));
        parameter_description p;
        p.id = id;
        p.name = (info.flags & kAudioUnitParameterFlag_HasCFNameString) ? to_string(info.cfNameString)
                                                                         : std::string(info.name, ::strnlen(info.name, sizeof info.name));
        if (info.flags & kAudioUnitParameterFlag_CFNameRelease) CFRelease(info.cfNameString);
        p.unit = info.unit;
        p.flags = info.flags;
        p.minimum = info.minValue;
        p.maximum = info.maxValue;
        p.default_value = info.defaultValue;
        if (info.unit == kAudioUnitParameterUnit_Indexed) p.value_strings = value_strings_of(unit, id);
        parameters.push_back(std::move(p));
    }
    return parameters;
}

}  // namespace host
