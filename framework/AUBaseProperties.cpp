// Property dispatch: the framework's own property rows, and the four requests (info, get, set,
// remove) answered as a lookup of the row followed by the row's checks and functions. A property
// that no table holds goes to the virtual operations.
#include "framework/AUBase.h"
#include "framework/AUPropertyTable.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T> OSStatus Store(void *out, const T &value) {
    std::memcpy(out, &value, sizeof value);
    return noErr;
}
template <class T> T Load(const void *in) {
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

bool IsStringOrNull(CFTypeRef value) { return value == nullptr || CFGetTypeID(value) == CFStringGetTypeID(); }

// The size of a list of `count` items; an empty list means the unit does not offer the property.
OSStatus ListSize(UInt32 count, size_t itemBytes, UInt32 &outSize) {
    if (count == 0) return kAudioUnitErr_InvalidProperty;
    outSize = count * UInt32(itemBytes);
    return noErr;
}

// A format set takes the first 36 bytes; the reserved word after them is not the host's.
constexpr UInt32 kFormatBytesSet = offsetof(AudioStreamBasicDescription, mReserved);

}  // namespace

struct AUBaseProperties {
    using At = AUPropertyAddress;

    // ---- info: what the row's fixed size and writability cannot say
    static OSStatus FormatWritable(AUBase &unit, At at, UInt32 &, Boolean &writable) {
        writable = unit.IsStreamFormatWritable(at.scope, at.element);
        return noErr;
    }
    static OSStatus ParameterListSize(AUBase &unit, At at, UInt32 &size, Boolean &) {
        UInt32 count = 0;
        unit.GetParameterList(at.scope, nullptr, count);
        size = count * sizeof(AudioUnitParameterID);
        return noErr;
    }
    static OSStatus ElementCountWritable(AUBase &unit, At at, UInt32 &, Boolean &writable) {
        unit.GetScope(at.scope);  // a scope of 5 or more is refused
        writable = unit.BusCountWritable(at.scope);
        return noErr;
    }
    static OSStatus ChannelTableSize(AUBase &unit, At, UInt32 &size, Boolean &) {
        return ListSize(unit.SupportedNumChannels(nullptr), sizeof(AUChannelInfo), size);
    }
    static OSStatus HasValueStrings(AUBase &unit, At at, UInt32 &, Boolean &) {
        return unit.GetParameterValueStrings(at.scope, at.element, nullptr);
    }
    static OSStatus UIComponentsSize(AUBase &unit, At, UInt32 &size, Boolean &) {
        return ListSize(unit.GetNumCustomUIComponents(), sizeof(AudioComponentDescription), size);
    }
    static OSStatus ChannelLayoutSize(AUBase &unit, At at, UInt32 &size, Boolean &writable) {
        return ListSize(unit.GetAudioChannelLayout(at.scope, at.element, nullptr, writable), 1, size);
    }
    static OSStatus HasTail(AUBase &unit, At, UInt32 &, Boolean &) {
        return unit.SupportsTail() ? OSStatus(noErr) : OSStatus(kAudioUnitErr_InvalidProperty);
    }
    static OSStatus TakesRenderCallbacks(AUBase &unit, At, UInt32 &, Boolean &) {
        return unit.apiVersion_ == 1 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    static OSStatus HasPresets(AUBase &unit, At, UInt32 &, Boolean &) { return unit.GetPresets(nullptr); }
    static OSStatus LayoutTagsSize(AUBase &unit, At at, UInt32 &size, Boolean &) {
        return ListSize(unit.GetChannelLayoutTags(at.scope, at.element, nullptr), sizeof(AudioChannelLayoutTag), size);
    }
    static OSStatus HasIcon(AUBase &unit, At, UInt32 &, Boolean &) {
        CFURLRef url = unit.CopyIconLocation();
        if (url == nullptr) return kAudioUnitErr_InvalidProperty;
        CFRelease(url);
        return noErr;
    }

    // ---- get
    static OSStatus GetClassInfo(AUBase &unit, At, void *out) {
        CFPropertyListRef state = nullptr;
        Store(out, state);
        const OSStatus status = unit.SaveState(&state);
        Store(out, state);
        return status;
    }
    static OSStatus GetSampleRate(AUBase &unit, At at, void *out) {
        return Store(out, unit.GetStreamFormat(at.scope, at.element).mSampleRate);
    }
    static OSStatus GetParameterList(AUBase &unit, At at, void *out) {
        UInt32 count = 0;
        unit.GetParameterList(at.scope, nullptr, count);
        if (count == 0) return noErr;
        std::vector<AudioUnitParameterID> ids(count);
        unit.GetParameterList(at.scope, ids.data(), count);
        std::memcpy(out, ids.data(), count * sizeof(AudioUnitParameterID));
        return noErr;
    }
    static OSStatus GetParameterInfo(AUBase &unit, At at, void *out) {
        AudioUnitParameterInfo info{};
        const OSStatus status = unit.GetParameterInfo(at.scope, at.element, info);  // the element is the parameter
        Store(out, info);
        return status;
    }
    static OSStatus GetFastDispatch(AUBase &unit, At at, void *out) {
        switch (at.element) {  // the element names the selector
        case kAudioUnitGetParameterSelect: return Store(out, &AUBase::DirectGetParameter);
        case kAudioUnitSetParameterSelect: return Store(out, &AUBase::DirectSetParameter);
        case kAudioUnitRenderSelect: return Store(out, &AUBase::DirectRender);
        default: return unit.GetProperty(at.id, at.scope, at.element, out);
        }
    }
    static OSStatus GetStreamFormat(AUBase &unit, At at, void *out) {
        return Store(out, unit.GetStreamFormat(at.scope, at.element));
    }
    static OSStatus GetElementCount(AUBase &unit, At at, void *out) {
        return Store(out, unit.GetScope(at.scope).GetNumberOfElements());
    }
    static OSStatus GetChannelTable(AUBase &unit, At, void *out) {
        const AUChannelInfo *table = nullptr;
        const UInt32 count = unit.SupportedNumChannels(&table);
        if (count == 0 || table == nullptr) return kAudioUnitErr_InvalidProperty;
        std::memcpy(out, table, count * sizeof(AUChannelInfo));
        return noErr;
    }
    static OSStatus GetValueStrings(AUBase &unit, At at, void *out) {
        return unit.GetParameterValueStrings(at.scope, at.element, static_cast<CFArrayRef *>(out));
    }
    static OSStatus GetUIComponents(AUBase &unit, At, void *out) {
        unit.GetUIComponentDescs(static_cast<AudioComponentDescription *>(out));
        return noErr;
    }
    static OSStatus GetChannelLayout(AUBase &unit, At at, void *out) {
        Boolean writable = false;
        const UInt32 size = unit.GetAudioChannelLayout(at.scope, at.element, static_cast<AudioChannelLayout *>(out), writable);
        return size == 0 ? OSStatus(kAudioUnitErr_InvalidProperty) : OSStatus(noErr);
    }
    static OSStatus GetTailTime(AUBase &unit, At, void *out) {
        if (!unit.SupportsTail()) return kAudioUnitErr_InvalidProperty;
        return Store(out, unit.GetTailTime());
    }
    static OSStatus GetLastRenderError(AUBase &unit, At, void *out) {
        // Reading clears it, so the next failure is recorded and announced again.
        return Store(out, unit.lastRenderError_.exchange(noErr));
    }
    static OSStatus GetFactoryPresets(AUBase &unit, At, void *out) {
        CFArrayRef presets = nullptr;
        const OSStatus status = unit.GetPresets(&presets);
        Store(out, presets);
        return status;
    }
    static OSStatus GetContextName(AUBase &unit, At, void *out) {
        if (unit.contextName_ == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        return Store(out, static_cast<CFStringRef>(CFRetain(unit.contextName_)));
    }
    static OSStatus GetElementName(AUBase &unit, At at, void *out) {
        CFStringRef name = unit.GetElement(at.scope, at.element)->GetName();
        if (name == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        return Store(out, static_cast<CFStringRef>(CFRetain(name)));
    }
    static OSStatus GetLayoutTags(AUBase &unit, At at, void *out) {
        unit.GetChannelLayoutTags(at.scope, at.element, static_cast<AudioChannelLayoutTag *>(out));
        return noErr;
    }
    static OSStatus GetClumpName(AUBase &unit, At at, void *out) {
        auto request = Load<AudioUnitParameterNameInfo>(out);  // the request carries the clump and length
        if (request.inID == kAudioUnitClumpID_System) return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus status = unit.CopyClumpName(
            at.scope, request.inID, static_cast<UInt32>(std::max<SInt32>(0, request.inDesiredLength)), &request.outName);
        if (status == kAudioUnitErr_InvalidProperty) return unit.GetProperty(at.id, at.scope, at.element, out);
        Store(out, request);
        return status;
    }
    static OSStatus GetPresentPreset(AUBase &unit, At, void *out) {
        AUPreset preset = unit.currentPreset_;
        if (preset.presetName != nullptr) CFRetain(preset.presetName);
        return Store(out, preset);
    }
    static OSStatus GetIconLocation(AUBase &unit, At, void *out) {
        CFURLRef url = unit.CopyIconLocation();
        if (url == nullptr) return kAudioUnitErr_InvalidProperty;
        return Store(out, url);
    }
    static OSStatus GetShouldAllocate(AUBase &unit, At at, void *out) {
        return Store(out, UInt32{unit.GetIOElement(at.scope, at.element)->WillAllocateBuffer() ? 1u : 0u});
    }

    // ---- set and remove (the row has checked the size, and the scope where it says so)
    static OSStatus SetClassInfo(AUBase &unit, At, const void *in, UInt32) {
        return unit.RestoreState(Load<CFPropertyListRef>(in));
    }
    static OSStatus SetConnection(AUBase &unit, At, const void *in, UInt32) {
        return unit.SetConnection(Load<AudioUnitConnection>(in));
    }
    // StreamFormat and SampleRate: `replace` makes the new format from the current one.
    template <class Replace> static OSStatus SetFormat(AUBase &unit, At at, Replace replace) {
        if (unit.GetScope(at.scope).GetElement(at.element) == nullptr) return kAudioUnitErr_InvalidElement;
        const AudioStreamBasicDescription current = unit.GetStreamFormat(at.scope, at.element);
        const AudioStreamBasicDescription format = replace(current);
        if (!unit.ValidFormat(at.scope, at.element, format)) return kAudioUnitErr_FormatNotSupported;
        if (std::memcmp(&format, &current, kFormatBytesSet) == 0) return noErr;
        if (!unit.IsStreamFormatWritable(at.scope, at.element)) return kAudioUnitErr_PropertyNotWritable;
        return unit.ChangeStreamFormat(at.scope, at.element, current, format);
    }
    static OSStatus SetSampleRate(AUBase &unit, At at, const void *in, UInt32) {
        return SetFormat(unit, at, [in](AudioStreamBasicDescription format) {
            format.mSampleRate = Load<Float64>(in);
            return format;
        });
    }
    static OSStatus SetStreamFormat(AUBase &unit, At at, const void *in, UInt32) {
        return SetFormat(unit, at, [in](const AudioStreamBasicDescription &) {
            AudioStreamBasicDescription format{};  // the reserved word cleared
            std::memcpy(&format, in, kFormatBytesSet);
            return format;
        });
    }
    static OSStatus SetElementCount(AUBase &unit, At at, const void *in, UInt32) {
        if (!unit.BusCountWritable(at.scope)) return kAudioUnitErr_PropertyNotWritable;
        return unit.SetBusCount(at.scope, Load<UInt32>(in));
    }
    static OSStatus SetMaximumFrames(AUBase &unit, At, const void *in, UInt32) {
        if (const OSStatus status = unit.CanSetMaxFrames(); status != noErr) return status;
        unit.SetMaxFramesPerSlice(Load<UInt32>(in));
        return noErr;
    }
    static OSStatus SetExternalBuffer(AUBase &unit, At at, const void *in, UInt32) {
        if (!unit.IsInitialized()) return kAudioUnitErr_Uninitialized;
        const auto buffer = Load<AudioUnitExternalBuffer>(in);
        // No block at all is no memory to render into, however large the size claimed for it.
        if (buffer.buffer == nullptr || reinterpret_cast<uintptr_t>(buffer.buffer) % 16 != 0) return paramErr;
        AUIOElement *io = at.scope == kAudioUnitScope_Input ? static_cast<AUIOElement *>(unit.GetInput(at.element))
                                                            : static_cast<AUIOElement *>(unit.GetOutput(at.element));
        io->IOBuffer().UseExternalBuffer(io->GetStreamFormat(), buffer);
        return noErr;
    }
    static OSStatus SetChannelLayout(AUBase &unit, At at, const void *in, UInt32 size) {
        const auto *layout = static_cast<const AudioChannelLayout *>(in);
        if (size < kChannelLayoutHeader + uint64_t{layout->mNumberChannelDescriptions} * sizeof(AudioChannelDescription))
            return kAudioUnitErr_InvalidPropertyValue;
        return unit.SetAudioChannelLayout(at.scope, at.element, *layout);
    }
    static OSStatus RemoveChannelLayout(AUBase &unit, At at) { return unit.RemoveAudioChannelLayout(at.scope, at.element); }
    static OSStatus SetRenderCallback(AUBase &unit, At at, const void *in, UInt32) {
        if (unit.apiVersion_ == 1) return kAudioUnitErr_InvalidProperty;
        const auto callback = Load<AURenderCallbackStruct>(in);
        return unit.SetInputCallback(at.id, at.element, callback.inputProc, callback.inputProcRefCon);
    }
    static OSStatus SetContextName(AUBase &unit, At, const void *in, UInt32) {
        const auto name = Load<CFStringRef>(in);
        if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
        if (name != nullptr) CFRetain(name);
        RemoveContextName(unit, {});
        unit.contextName_ = name;
        return noErr;
    }
    static OSStatus RemoveContextName(AUBase &unit, At) {
        if (unit.contextName_ != nullptr) CFRelease(unit.contextName_);
        unit.contextName_ = nullptr;
        return noErr;
    }
    // Both announce only a change of the stored bytes.
    static OSStatus SetHostCallbacks(AUBase &unit, At at, const void *in, UInt32 size) {
        HostCallbackInfo info{};  // a shorter record leaves the rest zero
        std::memcpy(&info, in, std::min<size_t>(size, sizeof info));
        StoreHostCallbacks(unit, at, info);
        return noErr;
    }
    static OSStatus RemoveHostCallbacks(AUBase &unit, At at) {
        StoreHostCallbacks(unit, at, HostCallbackInfo{});
        return noErr;
    }
    static void StoreHostCallbacks(AUBase &unit, At at, const HostCallbackInfo &info) {
        const bool changed = std::memcmp(&info, &unit.hostCallbackInfo_, sizeof info) != 0;
        unit.hostCallbackInfo_ = info;
        if (changed) unit.PropertyChanged(at.id, at.scope, at.element);
    }
    // The element is checked before the size.
    static OSStatus SetElementName(AUBase &unit, At at, const void *in, UInt32 size) {
        AUElement *target = unit.GetElement(at.scope, at.element);
        if (size != sizeof(CFStringRef)) return kAudioUnitErr_InvalidPropertyValue;
        const auto name = Load<CFStringRef>(in);
        if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
        target->SetName(name);
        return noErr;
    }
    // Announced for element 0, whichever element the host named.
    static OSStatus SetPresentPreset(AUBase &unit, At at, const void *in, UInt32) {
        const auto preset = Load<AUPreset>(in);
        if (preset.presetNumber >= 0) {
            const OSStatus status = unit.NewFactoryPresetSet(preset);
            if (status != noErr) return status;
        } else {
            // A user preset is known by its name alone.
            if (preset.presetName == nullptr || !IsStringOrNull(preset.presetName)) return kAudioUnitErr_InvalidPropertyValue;
            CFRetain(preset.presetName);
            if (unit.currentPreset_.presetName != nullptr) CFRelease(unit.currentPreset_.presetName);
            unit.currentPreset_ = preset;
        }
        unit.PropertyChanged(at.id, at.scope, 0);
        return noErr;
    }
    // The element is checked before the size.
    static OSStatus SetShouldAllocate(AUBase &unit, At at, const void *in, UInt32 size) {
        AUIOElement *io = unit.GetIOElement(at.scope, at.element);
        if (size != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        if (unit.IsInitialized()) return kAudioUnitErr_Initialized;
        io->SetWillAllocateBuffer(Load<UInt32>(in) != 0);
        return noErr;
    }

    static constexpr UInt32 kChannelLayoutHeader = offsetof(AudioChannelLayout, mChannelDescriptions);
};

namespace {

using namespace AUScopes;
using P = AUBaseProperties;
constexpr auto kOnSet = AUNotify::kOnSet;
constexpr auto kByFunction = AUNotify::kByFunction;

// The properties the framework answers itself. What the "kByFunction" rows announce: ClassInfo,
// the restored preset (and element counts a state grew); MakeConnection and SetRenderCallback,
// themselves for the input element; SampleRate and StreamFormat, StreamFormat when it changed;
// MaximumFramesPerSlice, itself for element 0 of the global scope; HostCallbacks, itself when
// the stored bytes changed; PresentPreset, itself for element 0.
constexpr AUPropertyRow kFrameworkProperties[] = {
    {.id = kAudioUnitProperty_ClassInfo, .size = sizeof(CFPropertyListRef), .writable = true, .checksElement = true,
     .get = P::GetClassInfo, .setSize = Exactly(sizeof(CFPropertyListRef)), .setChecksScope = true,
     .set = P::SetClassInfo, .notify = kByFunction},
    {.id = kAudioUnitProperty_MakeConnection, .scopes = kGlobal | kInput, .size = sizeof(AudioUnitConnection),
     .writable = true, .checksElement = true, .setSize = AtLeast(sizeof(AudioUnitConnection)), .set = P::SetConnection,
     .notify = kByFunction},
    {.id = kAudioUnitProperty_SampleRate, .scopes = kAny, .size = sizeof(Float64), .checksElement = true,
     .info = P::FormatWritable, .get = P::GetSampleRate, .setSize = Exactly(sizeof(Float64)), .set = P::SetSampleRate,
     .notify = kByFunction},
    {.id = kAudioUnitProperty_ParameterList, .scopes = kAny, .info = P::ParameterListSize, .get = P::GetParameterList},
    // The element names the parameter: no element check.
    {.id = kAudioUnitProperty_ParameterInfo, .scopes = kAny, .size = sizeof(AudioUnitParameterInfo),
     .get = P::GetParameterInfo},
    {.id = kAudioUnitProperty_FastDispatch, .size = sizeof(void *), .get = P::GetFastDispatch},
    {.id = kAudioUnitProperty_StreamFormat, .scopes = kAny, .size = sizeof(AudioStreamBasicDescription),
     .checksElement = true, .info = P::FormatWritable, .get = P::GetStreamFormat, .setSize = AtLeast(kFormatBytesSet),
     .set = P::SetStreamFormat, .notify = kByFunction},
    {.id = kAudioUnitProperty_ElementCount, .scopes = kAny, .size = sizeof(UInt32), .info = P::ElementCountWritable,
     .get = P::GetElementCount, .setSize = Exactly(sizeof(UInt32)), .set = P::SetElementCount, .notify = kOnSet},
    {.id = kAudioUnitProperty_Latency, .size = sizeof(Float64), .checksElement = true,
     .get = AUGetValue<&AUBase::GetLatency>},
    {.id = kAudioUnitProperty_SupportedNumChannels, .checksElement = true, .info = P::ChannelTableSize,
     .get = P::GetChannelTable},
    {.id = kAudioUnitProperty_MaximumFramesPerSlice, .size = sizeof(UInt32), .writable = true, .checksElement = true,
     .get = AUGetValue<&AUBase::GetMaxFramesPerSlice>, .setSize = Exactly(sizeof(UInt32)), .set = P::SetMaximumFrames,
     .notify = kByFunction},
    // Set only, in any scope: the input scope names an input element, every other an output.
    {.id = kAudioUnitProperty_SetExternalBuffer, .scopes = kNone, .setSize = AtLeast(sizeof(AudioUnitExternalBuffer)),
     .set = P::SetExternalBuffer},
    {.id = kAudioUnitProperty_ParameterValueStrings, .scopes = kAny, .size = sizeof(CFArrayRef),
     .info = P::HasValueStrings, .get = P::GetValueStrings},
    {.id = kAudioUnitProperty_GetUIComponentList, .checksElement = true, .info = P::UIComponentsSize,
     .get = P::GetUIComponents},
    {.id = kAudioUnitProperty_AudioChannelLayout, .scopes = kAny, .info = P::ChannelLayoutSize, .get = P::GetChannelLayout,
     .setSize = AtLeast(P::kChannelLayoutHeader), .set = P::SetChannelLayout, .remove = P::RemoveChannelLayout,
     .notify = AUNotify::kOnSetAndRemove},
    {.id = kAudioUnitProperty_TailTime, .size = sizeof(Float64), .checksElement = true, .info = P::HasTail,
     .get = P::GetTailTime},
    {.id = kAudioUnitProperty_LastRenderError, .size = sizeof(OSStatus), .checksElement = true,
     .get = P::GetLastRenderError},
    {.id = kAudioUnitProperty_SetRenderCallback, .scopes = kGlobal | kInput, .size = sizeof(AURenderCallbackStruct),
     .writable = true, .checksElement = true, .info = P::TakesRenderCallbacks,
     .setSize = AtLeast(sizeof(AURenderCallbackStruct)), .set = P::SetRenderCallback, .notify = kByFunction},
    {.id = kAudioUnitProperty_FactoryPresets, .size = sizeof(CFArrayRef), .checksElement = true, .info = P::HasPresets,
     .get = P::GetFactoryPresets},
    // Removing the name is not announced.
    {.id = kAudioUnitProperty_ContextName, .size = sizeof(CFStringRef), .writable = true, .checksElement = true,
     .get = P::GetContextName, .setSize = Exactly(sizeof(CFStringRef)), .setChecksScope = true,
     .set = P::SetContextName, .remove = P::RemoveContextName, .notify = kOnSet},
    {.id = kAudioUnitProperty_HostCallbacks, .size = sizeof(HostCallbackInfo), .writable = true, .checksElement = true,
     .get = AUGetValue<&AUBase::GetHostCallbackInfo>, .setChecksScope = true, .set = P::SetHostCallbacks,
     .remove = P::RemoveHostCallbacks, .notify = kByFunction},
    {.id = kAudioUnitProperty_ElementName, .scopes = kAny, .size = sizeof(CFStringRef), .writable = true,
     .checksElement = true, .get = P::GetElementName, .set = P::SetElementName, .notify = kOnSet},
    {.id = kAudioUnitProperty_SupportedChannelLayoutTags, .scopes = kAny, .info = P::LayoutTagsSize,
     .get = P::GetLayoutTags},
    {.id = kAudioUnitProperty_ParameterClumpName, .scopes = kAny, .size = sizeof(AudioUnitParameterNameInfo),
     .checksElement = true, .get = P::GetClumpName},
    {.id = kAudioUnitProperty_PresentPreset, .size = sizeof(AUPreset), .writable = true, .checksElement = true,
     .get = P::GetPresentPreset, .setSize = Exactly(sizeof(AUPreset)), .setChecksScope = true,
     .set = P::SetPresentPreset, .notify = kByFunction},
    {.id = kAudioUnitProperty_IconLocation, .size = sizeof(CFURLRef), .checksElement = true, .info = P::HasIcon,
     .get = P::GetIconLocation},
    {.id = kAudioUnitProperty_ShouldAllocateBuffer, .scopes = kInput | kOutput, .size = sizeof(UInt32), .writable = true,
     .checksElement = true, .get = P::GetShouldAllocate, .setChecksScope = true, .set = P::SetShouldAllocate},
    {.id = AUBase::kLastRenderedSampleTimeProperty, .scopes = kAny, .size = sizeof(Float64), .checksElement = true,
     .get = AUGetValue<&AUBase::GetLastRenderedSampleTime>},
};
AU_CHECK_PROPERTY_TABLE(AUPropertyTableIsWellFormed(kFrameworkProperties));

}  // namespace

const AUPropertyRow *AUBase::FindPropertyRow(AudioUnitPropertyID id, AudioUnitScope scope) {
    if (const AUPropertyRow *row = FindOwnProperty(id, scope)) return row;
    return AUFindPropertyRow(kFrameworkProperties, id);
}

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         UInt32 &outDataSize, Boolean &outWritable) {
    outWritable = false;
    const AUPropertyRow *row = FindPropertyRow(id, scope);
    if (row == nullptr || row->scopes == AUScopes::kNone)
        return GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    if (!row->Answers(scope)) return kAudioUnitErr_InvalidScope;
    UInt32 size = row->size;
    Boolean writable = row->writable;
    if (row->info != nullptr)
        if (const OSStatus status = row->info(*this, {id, scope, element}, size, writable); status != noErr)
            return status;
    // Filled in before the element check: a host asking about a missing element still learns them.
    outDataSize = size;
    outWritable = writable;
    if (row->checksElement && GetScope(scope).GetElement(element) == nullptr) return kAudioUnitErr_InvalidElement;
    return noErr;
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     void *outData) {
    const AUPropertyRow *row = FindPropertyRow(id, scope);
    if (row == nullptr || row->get == nullptr) return GetProperty(id, scope, element, outData);
    return row->get(*this, {id, scope, element}, outData);
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     const void *inData, UInt32 inDataSize) {
    const AUPropertyRow *row = FindPropertyRow(id, scope);
    if (row == nullptr || row->set == nullptr) {
        // Whatever the virtual operation accepts is announced.
        const OSStatus status = SetProperty(id, scope, element, inData, inDataSize);
        if (status == noErr) PropertyChanged(id, scope, element);
        return status;
    }
    if (!row->setSize.Accepts(inDataSize)) return kAudioUnitErr_InvalidPropertyValue;
    if (row->setChecksScope && !row->Answers(scope)) return kAudioUnitErr_InvalidScope;
    const OSStatus status = row->set(*this, {id, scope, element}, inData, inDataSize);
    if (status == noErr && row->AnnouncesSet()) PropertyChanged(id, scope, element);
    return status;
}

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
    const AUPropertyRow *row = FindPropertyRow(id, scope);
    if (row == nullptr || row->remove == nullptr) return RemovePropertyValue(id, scope, element);
    const OSStatus status = row->remove(*this, {id, scope, element});
    if (status == noErr && row->AnnouncesRemove()) PropertyChanged(id, scope, element);
    return status;
}

OSStatus AUBase::RemovePropertyValue(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    return kAudioUnitErr_InvalidPropertyValue;
}

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32 &, Boolean &) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void *) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void *, UInt32) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::SetConnection(const AudioUnitConnection &connection) {
    AUInputElement *input = GetInput(connection.destInputNumber);
    AudioUnit source = connection.sourceAudioUnit;
    if (source != nullptr) {
        AudioStreamBasicDescription format{};
        UInt32 size = sizeof format;
        OSStatus status = AudioUnitGetProperty(source, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                               connection.sourceOutputNumber, &format, &size);
        if (status != noErr) return status;
        status = DispatchSetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                     connection.destInputNumber, &format, sizeof format);
        if (status != noErr) return status;
    }
    input->SetConnection(connection);
    if (source != nullptr) {
        // Render the source through its direct entry when it offers one; else AudioUnitRender.
        AudioUnitRenderProc render = nullptr;
        UInt32 size = sizeof render;
        if (AudioUnitGetProperty(source, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                 kAudioUnitRenderSelect, &render, &size) == noErr &&
            size == sizeof render && render != nullptr)
            input->SetConnectionRenderProc(render, GetComponentInstanceStorage(source));
    }
    PropertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, connection.destInputNumber);
    return noErr;
}

OSStatus AUBase::SetInputCallback(AudioUnitPropertyID id, AudioUnitElement element, AURenderCallback proc,
                                  void *refCon) {
    GetInput(element)->SetInputCallback(proc, refCon);
    PropertyChanged(id, kAudioUnitScope_Input, element);
    return noErr;
}
