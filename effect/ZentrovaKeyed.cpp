#include "effect/ZentrovaKeyed.h"

#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace {

std::string name_of(AudioComponent component) {
    CFStringRef name = nullptr;
    if (AudioComponentCopyName(component, &name) != noErr || name == nullptr) return {};
    char text[256] = {};
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(name);
    return text;
}

// A copy of `state` with its "subtype" set to `subtype`.
CFMutableDictionaryRef with_subtype(CFDictionaryRef state, OSType subtype) {
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, state);
    const auto value = static_cast<SInt32>(subtype);
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    CFDictionarySetValue(copy, CFSTR("subtype"), number);
    CFRelease(number);
    return copy;
}

bool has_subtype(CFDictionaryRef state, OSType subtype) {
    const auto value = static_cast<CFNumberRef>(CFDictionaryGetValue(state, CFSTR("subtype")));
    SInt64 number = 0;
    return value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID() &&
           CFNumberGetValue(value, kCFNumberSInt64Type, &number) && static_cast<UInt32>(number) == subtype;
}

}  // namespace

ZentrovaKeyed::ZentrovaKeyed(AudioComponentInstance component) : Zentrova(component) {
    // Both input elements exist from construction, so a host sees the key before it initializes
    // and can give it a format and a source; their count stays fixed.
    GetScope(kAudioUnitScope_Input).SetNumberOfElements(2);
    GetInput(kKeyElement)->SetName(CFSTR("Key"));
}

OSStatus ZentrovaKeyed::Initialize() {
    const AudioStreamBasicDescription &key = GetInput(kKeyElement)->GetStreamFormat();
    if (key.mChannelsPerFrame < 1 || key.mChannelsPerFrame > 2 || key.mSampleRate != GetSampleRate())
        return kAudioUnitErr_FormatNotSupported;
    return Zentrova::Initialize();
}

Zentrova::follower_signal ZentrovaKeyed::block_key(UInt32) noexcept {
    // The gauge reads the key where the source left it. Non-finite key samples need no care of
    // their own: the gauge mends its level as it does for the main input's.
    const AudioBufferList *key = SideInput(kKeyElement);
    if (key == nullptr || key->mNumberBuffers == 0) return {};
    const auto *left = static_cast<const float *>(key->mBuffers[0].mData);
    if (key->mNumberBuffers == 1) return {left, nullptr};
    return {left, static_cast<const float *>(key->mBuffers[1].mData)};
}

OSType ZentrovaKeyed::own_subtype() {
    AudioComponentDescription own{};
    AudioComponent component = AudioComponentInstanceGetComponent(GetComponentInstance());
    if (component == nullptr || AudioComponentGetDescription(component, &own) != noErr) return 0;
    return own.componentSubType;
}

OSType ZentrovaKeyed::plain_subtype() {
    if (_plain_subtype_known) return _plain_subtype;
    _plain_subtype_known = true;
    AudioComponent component = AudioComponentInstanceGetComponent(GetComponentInstance());
    AudioComponentDescription own{};
    if (component == nullptr || AudioComponentGetDescription(component, &own) != noErr) return 0;
    std::string plain_name = name_of(component);
    const std::string suffix = " Keyed";
    if (plain_name.size() <= suffix.size() ||
        plain_name.compare(plain_name.size() - suffix.size(), suffix.size(), suffix))
        return 0;
    plain_name.resize(plain_name.size() - suffix.size());
    AudioComponentDescription wanted{own.componentType, 0, own.componentManufacturer, 0, 0};
    for (AudioComponent c = AudioComponentFindNext(nullptr, &wanted); c; c = AudioComponentFindNext(c, &wanted)) {
        AudioComponentDescription found{};
        if (name_of(c) == plain_name && AudioComponentGetDescription(c, &found) == noErr) {
            _plain_subtype = found.componentSubType;
            break;
        }
    }
    return _plain_subtype;
}

OSStatus ZentrovaKeyed::SaveState(CFPropertyListRef *out_data) {
    if (const OSStatus status = Zentrova::SaveState(out_data); status != noErr || *out_data == nullptr) return status;
    const OSType plain = plain_subtype();
    if (plain == 0) return noErr;
    CFMutableDictionaryRef state = with_subtype(static_cast<CFDictionaryRef>(*out_data), plain);
    CFRelease(*out_data);
    // The key's name was given at construction and says nothing; saved, it would give the plain
    // effect a second input element when the state is restored there.
    const auto names = static_cast<CFDictionaryRef>(CFDictionaryGetValue(state, CFSTR("element-name")));
    const auto inputs = names ? static_cast<CFDictionaryRef>(CFDictionaryGetValue(names, CFSTR("1"))) : nullptr;
    const auto key_name = inputs ? CFDictionaryGetValue(inputs, CFSTR("1")) : nullptr;
    if (key_name != nullptr && CFEqual(key_name, CFSTR("Key"))) {
        CFMutableDictionaryRef fewer_inputs = CFDictionaryCreateMutableCopy(nullptr, 0, inputs);
        CFDictionaryRemoveValue(fewer_inputs, CFSTR("1"));
        CFMutableDictionaryRef fewer_names = CFDictionaryCreateMutableCopy(nullptr, 0, names);
        if (CFDictionaryGetCount(fewer_inputs) == 0)
            CFDictionaryRemoveValue(fewer_names, CFSTR("1"));
        else
            CFDictionarySetValue(fewer_names, CFSTR("1"), fewer_inputs);
        if (CFDictionaryGetCount(fewer_names) == 0)
            CFDictionaryRemoveValue(state, CFSTR("element-name"));
        else
            CFDictionarySetValue(state, CFSTR("element-name"), fewer_names);
        CFRelease(fewer_inputs);
        CFRelease(fewer_names);
    }
    *out_data = state;
    return noErr;
}

OSStatus ZentrovaKeyed::RestoreState(CFPropertyListRef plist) {
    const OSType plain = plain_subtype();
    if (plain == 0 || plist == nullptr || CFGetTypeID(plist) != CFDictionaryGetTypeID() ||
        !has_subtype(static_cast<CFDictionaryRef>(plist), plain))
        return Zentrova::RestoreState(plist);
    CFMutableDictionaryRef own = with_subtype(static_cast<CFDictionaryRef>(plist), own_subtype());
    const OSStatus status = Zentrova::RestoreState(own);
    CFRelease(own);
    return status;
}
