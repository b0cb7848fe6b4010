// Saved state: the class-info dictionary that hosts keep in their documents and preset files.
//
//   "version" 0, "type"/"subtype"/"manufacturer" (the component's codes), "data" (every parameter
//   of the global, input and output elements as big-endian records: scope, element, count, then
//   (id, float bits) pairs), "name" (the current preset), optional "render-quality", "cpu-load"
//   and "element-name" ({scope: {element: name}}, decimal keys).
#include "framework/AUBase.h"

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Owns one CoreFoundation reference.
template <class T> class CFHolder {
public:
    explicit CFHolder(T ref = nullptr) : ref_(ref) {}
    ~CFHolder() {
        if (ref_ != nullptr) CFRelease(ref_);
    }
    CFHolder(const CFHolder &) = delete;
    CFHolder &operator=(const CFHolder &) = delete;
    T get() const { return ref_; }
    T release() { return std::exchange(ref_, nullptr); }

private:
    T ref_;
};

// Restored names may grow a scope to this many elements and no further: a state naming element
// four billion must not create four billion elements.
constexpr UInt32 kMaxRestoredElements = 64;

void AddSInt32(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
    CFHolder<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dict, key, number.get());
}

void AppendBigEndian(std::vector<UInt8> &blob, UInt32 value) {
    const UInt8 bytes[4] = {UInt8(value >> 24), UInt8(value >> 16), UInt8(value >> 8), UInt8(value)};
    blob.insert(blob.end(), bytes, bytes + 4);
}

UInt32 ReadBigEndian(const UInt8 *bytes) {
    return UInt32{bytes[0]} << 24 | UInt32{bytes[1]} << 16 | UInt32{bytes[2]} << 8 | UInt32{bytes[3]};
}

// A scope or element number as the dictionary key that names it ("%u").
CFStringRef CreateDecimalKey(UInt32 number) {
    char text[12];
    std::snprintf(text, sizeof text, "%u", number);
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

bool HasType(CFTypeRef value, CFTypeID type) { return value != nullptr && CFGetTypeID(value) == type; }

// A number key holding a four-character code, read whole; codes are written as signed 32-bit
// numbers, so both their signed and unsigned readings are accepted.
bool MatchesCode(CFDictionaryRef dict, CFStringRef key, UInt32 code) {
    CFTypeRef value = CFDictionaryGetValue(dict, key);
    if (!HasType(value, CFNumberGetTypeID())) return false;
    SInt64 number = 0;
    if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number)) return false;
    return number >= INT32_MIN && number <= SInt64{UINT32_MAX} && static_cast<UInt32>(number) == code;
}

// A decimal element index ("0", "12"), or -1 for any other text.
SInt64 ParseIndex(CFTypeRef key) {
    if (!HasType(key, CFStringGetTypeID())) return -1;
    char text[12];
    if (!CFStringGetCString(static_cast<CFStringRef>(key), text, sizeof text, kCFStringEncodingUTF8)) return -1;
    if (text[0] == '\0') return -1;
    SInt64 index = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return -1;
        index = index * 10 + (*c - '0');
    }
    return index;
}

}  // namespace

AudioComponentDescription AUBase::ComponentDescription() const {
    AudioComponentDescription description{};
    AudioComponentInstance instance = GetComponentInstance();
    if (instance == nullptr) return description;
    AudioComponent component = AudioComponentInstanceGetComponent(instance);
    if (component == nullptr || AudioComponentGetDescription(component, &description) != noErr)
        return AudioComponentDescription{};
    return description;
}

OSStatus AUBase::SaveState(CFPropertyListRef *outData) {
    const AudioComponentDescription description = ComponentDescription();
    CFHolder<CFMutableDictionaryRef> dict(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    AddSInt32(dict.get(), CFSTR("version"), 0);
    AddSInt32(dict.get(), CFSTR("type"), static_cast<SInt32>(description.componentType));
    AddSInt32(dict.get(), CFSTR("subtype"), static_cast<SInt32>(description.componentSubType));
    AddSInt32(dict.get(), CFSTR("manufacturer"), static_cast<SInt32>(description.componentManufacturer));

    std::vector<UInt8> blob;
    std::vector<AudioUnitParameterID> ids;
    for (AudioUnitScope scope : {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const AUScope &elements = scopes_[scope];
        for (UInt32 index = 0; index < elements.GetNumberOfElements(); ++index) {
            AUElement *element = elements.GetElement(index);
            const UInt32 count = element->GetNumberOfParameters();
            if (count == 0) continue;
            ids.resize(count);
            element->GetParameterList(ids.data());
            AppendBigEndian(blob, scope);
            AppendBigEndian(blob, index);
            AppendBigEndian(blob, count);
            for (AudioUnitParameterID id : ids) {
                const Float32 value = element->FindParameter(id)->Value1();
                UInt32 bits;
                std::memcpy(&bits, &value, sizeof bits);
                AppendBigEndian(blob, id);
                AppendBigEndian(blob, bits);
            }
        }
    }
    CFHolder<CFDataRef> data(CFDataCreate(nullptr, blob.data(), static_cast<CFIndex>(blob.size())));
    CFDictionarySetValue(dict.get(), CFSTR("data"), data.get());
    CFDictionarySetValue(dict.get(), CFSTR("name"), currentPreset_.presetName);

    // Quality and load are saved only by units that answer them (4-byte values both).
    auto readFourBytes = [&](AudioUnitPropertyID id, void *out) {
        return Guard([&]() -> OSStatus {
            UInt32 size = 0;
            Boolean writable = false;
            OSStatus status = DispatchGetPropertyInfo(id, kAudioUnitScope_Global, 0, size, writable);
            if (status == noErr && size != 4) status = kAudioUnitErr_InvalidPropertyValue;
            return status == noErr ? DispatchGetProperty(id, kAudioUnitScope_Global, 0, out) : status;
        });
    };
    SInt32 quality = 0;
    if (readFourBytes(kAudioUnitProperty_RenderQuality, &quality) == noErr) AddSInt32(dict.get(), CFSTR("render-quality"), quality);
    Float32 load = 0;
    if (readFourBytes(kAudioUnitProperty_CPULoad, &load) == noErr) {
        CFHolder<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat32Type, &load));
        CFDictionarySetValue(dict.get(), CFSTR("cpu-load"), number.get());
    }

    CFHolder<CFMutableDictionaryRef> names(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (UInt32 scope = 0; scope < kNumScopes; ++scope) {
        CFHolder<CFMutableDictionaryRef> scopeNames(
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        for (UInt32 index = 0; index < scopes_[scope].GetNumberOfElements(); ++index) {
            CFStringRef name = scopes_[scope].GetElement(index)->GetName();
            if (name == nullptr) continue;
            CFHolder<CFStringRef> key(CreateDecimalKey(index));
            CFDictionarySetValue(scopeNames.get(), key.get(), name);
        }
        if (CFDictionaryGetCount(scopeNames.get()) == 0) continue;
        CFHolder<CFStringRef> key(CreateDecimalKey(scope));
        CFDictionarySetValue(names.get(), key.get(), scopeNames.get());
    }
    if (CFDictionaryGetCount(names.get()) > 0) CFDictionarySetValue(dict.get(), CFSTR("element-name"), names.get());

    *outData = dict.release();
    return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef plist) {
    if (!HasType(plist, CFDictionaryGetTypeID())) return kAudioUnitErr_InvalidPropertyValue;
    auto dict = static_cast<CFDictionaryRef>(plist);
    if (CFDictionaryContainsKey(dict, CFSTR("part"))) return kAudioUnitErr_InvalidPropertyValue;

    const AudioComponentDescription description = ComponentDescription();
    if (!MatchesCode(dict, CFSTR("version"), 0) || !MatchesCode(dict, CFSTR("subtype"), description.componentSubType) ||
        !MatchesCode(dict, CFSTR("manufacturer"), description.componentManufacturer))
        return kAudioUnitErr_InvalidPropertyValue;

    // A key of the wrong type refuses the whole state before anything changes, so a damaged file
    // never leaves the instance half restored.
    CFTypeRef data = CFDictionaryGetValue(dict, CFSTR("data"));
    CFTypeRef name = CFDictionaryGetValue(dict, CFSTR("name"));
    CFTypeRef elementNames = CFDictionaryGetValue(dict, CFSTR("element-name"));
    if ((data != nullptr && !HasType(data, CFDataGetTypeID())) || (name != nullptr && !HasType(name, CFStringGetTypeID())) ||
        (elementNames != nullptr && !HasType(elementNames, CFDictionaryGetTypeID())))
        return kAudioUnitErr_InvalidPropertyValue;

    if (data != nullptr) {
        const OSStatus status = RestoreParameterBlob(static_cast<CFDataRef>(data));
        if (status != noErr) return status;
    }

    CFStringRef presetName = name != nullptr ? static_cast<CFStringRef>(name) : CFSTR("Untitled");
    CFRetain(presetName);
    if (currentPreset_.presetName != nullptr) CFRelease(currentPreset_.presetName);
    currentPreset_ = AUPreset{-1, presetName};
    PropertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);

    // Quality and load are applied when the unit takes them; their results do not matter.
    CFTypeRef quality = CFDictionaryGetValue(dict, CFSTR("render-quality"));
    SInt32 qualityValue = 0;
    if (HasType(quality, CFNumberGetTypeID()) &&
        CFNumberGetValue(static_cast<CFNumberRef>(quality), kCFNumberSInt32Type, &qualityValue))
        Guard([&] { return DispatchSetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0,
                                               &qualityValue, sizeof qualityValue); });
    CFTypeRef load = CFDictionaryGetValue(dict, CFSTR("cpu-load"));
    Float32 loadValue = 0;
    if (HasType(load, CFNumberGetTypeID()) &&
        CFNumberGetValue(static_cast<CFNumberRef>(load), kCFNumberFloat32Type, &loadValue))
        Guard([&] { return DispatchSetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &loadValue,
                                               sizeof loadValue); });

    if (elementNames != nullptr) RestoreElementNames(static_cast<CFDictionaryRef>(elementNames));
    return noErr;
}

OSStatus AUBase::RestoreParameterBlob(CFDataRef blob) {
    const UInt8 *bytes = CFDataGetBytePtr(blob);
    const size_t length = static_cast<size_t>(CFDataGetLength(blob));
    size_t at = 0;
    constexpr size_t kHeader = 12, kPair = 8;
    while (length - at >= kHeader) {
        const UInt32 scope = ReadBigEndian(bytes + at);
        const UInt32 index = ReadBigEndian(bytes + at + 4);
        const UInt32 count = ReadBigEndian(bytes + at + 8);
        at += kHeader;
        if (scope >= kNumScopes) return kAudioUnitErr_InvalidScope;
        AUElement *element = scopes_[scope].GetElement(index);
        if (element == nullptr) break;                // a record for an element we lack ends the walk
        if ((length - at) / kPair < count) break;     // so does a record cut short
        for (UInt32 k = 0; k < count; ++k, at += kPair) {
            const UInt32 id = ReadBigEndian(bytes + at);
            const UInt32 bits = ReadBigEndian(bytes + at + 4);
            Float32 value;
            std::memcpy(&value, &bits, sizeof value);
            if (element->UsesIndexedParameters() && id >= element->GetNumberOfParameters())
                return kAudioUnitErr_InvalidParameter;
            // Straight into the element: nobody is notified, as after any restore.
            element->SetParameter(id, value, false);
        }
    }
    return noErr;
}

void AUBase::RestoreElementNames(CFDictionaryRef names) {
    for (UInt32 scope = 0; scope < kNumScopes; ++scope) {
        CFHolder<CFStringRef> scopeKey(CreateDecimalKey(scope));
        CFTypeRef value = CFDictionaryGetValue(names, scopeKey.get());
        if (!HasType(value, CFDictionaryGetTypeID())) continue;  // not a dictionary: nothing to name
        auto scopeNames = static_cast<CFDictionaryRef>(value);
        const CFIndex count = CFDictionaryGetCount(scopeNames);
        std::vector<const void *> keys(count), values(count);
        CFDictionaryGetKeysAndValues(scopeNames, keys.data(), values.data());

        // Only decimal keys naming a string, and only indices below the bound, take part.
        std::vector<std::pair<UInt32, CFStringRef>> named;
        for (CFIndex i = 0; i < count; ++i) {
            const SInt64 index = ParseIndex(keys[i]);
            if (index < 0 || index >= kMaxRestoredElements || !HasType(values[i], CFStringGetTypeID())) continue;
            named.emplace_back(static_cast<UInt32>(index), static_cast<CFStringRef>(values[i]));
        }
        if (named.empty()) continue;
        UInt32 highest = 0;
        for (const auto &entry : named) highest = std::max(highest, entry.first);

        AUScope &elements = scopes_[scope];
        bool grew = false;
        // Growing a scope while initialized would move elements a render may be using: then the
        // names of elements that do not exist are dropped instead.
        if (highest >= elements.GetNumberOfElements() && !IsInitialized()) {
            elements.SetNumberOfElements(highest + 1);
            grew = true;
        }
        for (const auto &[index, elementName] : named)
            if (AUElement *element = elements.GetElement(index)) element->SetName(elementName);
        if (grew) PropertyChanged(kAudioUnitProperty_ElementCount, scope, 0);
    }
}
