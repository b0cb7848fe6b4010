// Property dispatch: the standard properties the framework answers itself, and the
// notifications it sends for them. Everything else goes to the virtual operations.
#include "framework/AUBase.h"

#include <algorithm>
#include <cstring>

namespace {

template <class T> void Store(void *out, const T &value) { std::memcpy(out, &value, sizeof value); }
template <class T> T Load(const void *in) {
    T value;
    std::memcpy(&value, in, sizeof value);
    return value;
}

bool IsStringOrNull(CFTypeRef value) { return value == nullptr || CFGetTypeID(value) == CFStringGetTypeID(); }

}  // namespace

// The element check that ends the info request of most table entries.
OSStatus AUBase::DispatchGetPropertyInfoTail(AudioUnitScope scope, AudioUnitElement element) {
    return GetScope(scope).GetElement(element) != nullptr ? OSStatus(noErr) : OSStatus(kAudioUnitErr_InvalidElement);
}

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         UInt32 &outDataSize, Boolean &outWritable) {
    const bool global = scope == kAudioUnitScope_Global;
    outWritable = false;
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(CFPropertyListRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_MakeConnection:
        if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(AudioUnitConnection);
        outWritable = true;
        break;
    case kAudioUnitProperty_SampleRate:
        outDataSize = sizeof(Float64);
        outWritable = IsStreamFormatWritable(scope, element);
        break;
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        GetParameterList(scope, nullptr, count);
        outDataSize = count * sizeof(AudioUnitParameterID);
        return noErr;
    }
    case kAudioUnitProperty_ParameterInfo:
        outDataSize = sizeof(AudioUnitParameterInfo);
        return noErr;
    case kAudioUnitProperty_FastDispatch:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(void *);
        return noErr;
    case kAudioUnitProperty_StreamFormat:
        outDataSize = sizeof(AudioStreamBasicDescription);
        outWritable = IsStreamFormatWritable(scope, element);
        break;
    case kAudioUnitProperty_ElementCount:
        GetScope(scope);  // a scope of 5 or more is refused
        outDataSize = sizeof(UInt32);
        outWritable = BusCountWritable(scope);
        return noErr;
    case kAudioUnitProperty_Latency:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(Float64);
        break;
    case kAudioUnitProperty_SupportedNumChannels: {
        if (!global) return kAudioUnitErr_InvalidScope;
        const UInt32 count = SupportedNumChannels(nullptr);
        if (count == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = count * sizeof(AUChannelInfo);
        break;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(UInt32);
        outWritable = true;
        break;
    case kAudioUnitProperty_ParameterValueStrings: {
        const OSStatus status = GetParameterValueStrings(scope, element, nullptr);
        if (status != noErr) return status;
        outDataSize = sizeof(CFArrayRef);
        return noErr;
    }
    case kAudioUnitProperty_GetUIComponentList: {
        if (!global) return kAudioUnitErr_InvalidScope;
        const UInt32 count = GetNumCustomUIComponents();
        if (count == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = count * sizeof(AudioComponentDescription);
        break;
    }
    case kAudioUnitProperty_AudioChannelLayout: {
        Boolean writable = false;
        const UInt32 size = GetAudioChannelLayout(scope, element, nullptr, writable);
        if (size == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = size;
        outWritable = writable;
        return noErr;
    }
    case kAudioUnitProperty_TailTime:
        if (!global) return kAudioUnitErr_InvalidScope;
        if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(Float64);
        break;
    case kAudioUnitProperty_LastRenderError:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(OSStatus);
        break;
    case kAudioUnitProperty_SetRenderCallback:
        if (!global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
        if (apiVersion_ == 1) return kAudioUnitErr_InvalidProperty;
        outDataSize = sizeof(AURenderCallbackStruct);
        outWritable = true;
        break;
    case kAudioUnitProperty_FactoryPresets: {
        if (!global) return kAudioUnitErr_InvalidScope;
        const OSStatus status = GetPresets(nullptr);
        if (status != noErr) return status;
        outDataSize = sizeof(CFArrayRef);
        break;
    }
    case kAudioUnitProperty_ContextName:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(CFStringRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_HostCallbacks:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(HostCallbackInfo);
        outWritable = true;
        break;
    case kAudioUnitProperty_ElementName:
        outDataSize = sizeof(CFStringRef);
        outWritable = true;
        break;
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
        const UInt32 count = GetChannelLayoutTags(scope, element, nullptr);
        if (count == 0) return kAudioUnitErr_InvalidProperty;
        outDataSize = count * sizeof(AudioChannelLayoutTag);
        return noErr;
    }
    case kAudioUnitProperty_ParameterClumpName:
        outDataSize = sizeof(AudioUnitParameterNameInfo);
        break;
    case kAudioUnitProperty_PresentPreset:
        if (!global) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(AUPreset);
        outWritable = true;
        break;
    case kAudioUnitProperty_IconLocation: {
        if (!global) return kAudioUnitErr_InvalidScope;
        CFURLRef url = CopyIconLocation();
        if (url == nullptr) return kAudioUnitErr_InvalidProperty;
        CFRelease(url);
        outDataSize = sizeof(CFURLRef);
        break;
    }
    case kAudioUnitProperty_ShouldAllocateBuffer:
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
        outDataSize = sizeof(UInt32);
        outWritable = true;
        break;
    case kLastRenderedSampleTimeProperty:
        outDataSize = sizeof(Float64);
        break;
    default:
        return GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    }
    return DispatchGetPropertyInfoTail(scope, element);
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     void *outData) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef state = nullptr;
        Store(outData, state);
        const OSStatus status = SaveState(&state);
        Store(outData, state);
        return status;
    }
    case kAudioUnitProperty_SampleRate:
        Store(outData, GetStreamFormat(scope, element).mSampleRate);
        return noErr;
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        GetParameterList(scope, nullptr, count);
        if (count == 0) return noErr;
        std::vector<AudioUnitParameterID> ids(count);
        GetParameterList(scope, ids.data(), count);
        std::memcpy(outData, ids.data(), count * sizeof(AudioUnitParameterID));
        return noErr;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info{};
        const OSStatus status = GetParameterInfo(scope, element, info);
        Store(outData, info);
        return status;
    }
    case kAudioUnitProperty_FastDispatch:
        switch (element) {
        case kAudioUnitGetParameterSelect:
            Store(outData, &AUBase::DirectGetParameter);
            return noErr;
        case kAudioUnitSetParameterSelect:
            Store(outData, &AUBase::DirectSetParameter);
            return noErr;
        case kAudioUnitRenderSelect:
            Store(outData, &AUBase::DirectRender);
            return noErr;
        default:
            return GetProperty(id, scope, element, outData);
        }
    case kAudioUnitProperty_StreamFormat:
        Store(outData, GetStreamFormat(scope, element));
        return noErr;
    case kAudioUnitProperty_ElementCount:
        Store(outData, GetScope(scope).GetNumberOfElements());
        return noErr;
    case kAudioUnitProperty_Latency:
        Store(outData, GetLatency());
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo *table = nullptr;
        const UInt32 count = SupportedNumChannels(&table);
        if (count == 0 || table == nullptr) return kAudioUnitErr_InvalidProperty;
        std::memcpy(outData, table, count * sizeof(AUChannelInfo));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        Store(outData, maxFramesPerSlice_);
        return noErr;
    case kAudioUnitProperty_ParameterValueStrings:
        return GetParameterValueStrings(scope, element, static_cast<CFArrayRef *>(outData));
    case kAudioUnitProperty_GetUIComponentList:
        GetUIComponentDescs(static_cast<AudioComponentDescription *>(outData));
        return noErr;
    case kAudioUnitProperty_AudioChannelLayout: {
        Boolean writable = false;
        if (GetAudioChannelLayout(scope, element, static_cast<AudioChannelLayout *>(outData), writable) == 0)
            return kAudioUnitErr_InvalidProperty;
        return noErr;
    }
    case kAudioUnitProperty_TailTime:
        if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
        Store(outData, GetTailTime());
        return noErr;
    case kAudioUnitProperty_LastRenderError:
        // Reading clears it, so the next failure is recorded and announced again.
        Store(outData, lastRenderError_.exchange(noErr));
        return noErr;
    case kAudioUnitProperty_FactoryPresets: {
        CFArrayRef presets = nullptr;
        const OSStatus status = GetPresets(&presets);
        Store(outData, presets);
        return status;
    }
    case kAudioUnitProperty_ContextName:
        if (contextName_ == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        Store(outData, static_cast<CFStringRef>(CFRetain(contextName_)));
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        Store(outData, hostCallbackInfo_);
        return noErr;
    case kAudioUnitProperty_ElementName: {
        CFStringRef name = GetElement(scope, element)->GetName();
        if (name == nullptr) return kAudioUnitErr_InvalidPropertyValue;
        Store(outData, static_cast<CFStringRef>(CFRetain(name)));
        return noErr;
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags:
        GetChannelLayoutTags(scope, element, static_cast<AudioChannelLayoutTag *>(outData));
        return noErr;
    case kAudioUnitProperty_ParameterClumpName: {
        auto request = Load<AudioUnitParameterNameInfo>(outData);
        if (request.inID == kAudioUnitClumpID_System) return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus status = CopyClumpName(scope, request.inID,
                                              static_cast<UInt32>(std::max<SInt32>(0, request.inDesiredLength)),
                                              &request.outName);
        if (status == kAudioUnitErr_InvalidProperty) return GetProperty(id, scope, element, outData);
        Store(outData, request);
        return status;
    }
    case kAudioUnitProperty_PresentPreset: {
        AUPreset preset = currentPreset_;
        if (preset.presetName != nullptr) CFRetain(preset.presetName);
        Store(outData, preset);
        return noErr;
    }
    case kAudioUnitProperty_IconLocation: {
        CFURLRef url = CopyIconLocation();
        if (url == nullptr) return kAudioUnitErr_InvalidProperty;
        Store(outData, url);
        return noErr;
    }
    case kAudioUnitProperty_ShouldAllocateBuffer:
        Store(outData, UInt32{GetIOElement(scope, element)->WillAllocateBuffer() ? 1u : 0u});
        return noErr;
    case kLastRenderedSampleTimeProperty:
        Store(outData, GetLastRenderedSampleTime());
        return noErr;
    default:
        return GetProperty(id, scope, element, outData);
    }
}

OSStatus AUBase::SetFormat(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void *inData,
                           UInt32 inDataSize) {
    if (id == kAudioUnitProperty_StreamFormat && inDataSize < offsetof(AudioStreamBasicDescription, mReserved))
        return kAudioUnitErr_InvalidPropertyValue;
    if (id == kAudioUnitProperty_SampleRate && inDataSize != sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
    if (GetScope(scope).GetElement(element) == nullptr) return kAudioUnitErr_InvalidElement;
    const AudioStreamBasicDescription current = GetStreamFormat(scope, element);
    AudioStreamBasicDescription format = current;
    if (id == kAudioUnitProperty_StreamFormat) {
        // The reserved word is not the host's: 36 bytes suffice and the last four are cleared.
        format = AudioStreamBasicDescription{};
        std::memcpy(&format, inData, offsetof(AudioStreamBasicDescription, mReserved));
    } else {
        format.mSampleRate = Load<Float64>(inData);
    }
    if (!ValidFormat(scope, element, format)) return kAudioUnitErr_FormatNotSupported;
    if (std::memcmp(&format, &current, offsetof(AudioStreamBasicDescription, mReserved)) == 0) return noErr;
    if (!IsStreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
    return ChangeStreamFormat(scope, element, current, format);
}

OSStatus AUBase::SetPresentPreset(AudioUnitScope scope, const void *inData, UInt32 inDataSize) {
    if (inDataSize != sizeof(AUPreset)) return kAudioUnitErr_InvalidPropertyValue;
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
    const auto preset = Load<AUPreset>(inData);
    if (preset.presetNumber >= 0) {
        const OSStatus status = NewFactoryPresetSet(preset);
        if (status != noErr) return status;
    } else {
        // A user preset is known by its name alone.
        if (preset.presetName == nullptr || !IsStringOrNull(preset.presetName)) return kAudioUnitErr_InvalidPropertyValue;
        CFRetain(preset.presetName);
        if (currentPreset_.presetName != nullptr) CFRelease(currentPreset_.presetName);
        currentPreset_ = preset;
    }
    PropertyChanged(kAudioUnitProperty_PresentPreset, scope, 0);
    return noErr;
}

OSStatus AUBase::SetElementName(AudioUnitScope scope, AudioUnitElement element, const void *inData, UInt32 inDataSize) {
    AUElement *target = GetElement(scope, element);
    if (inDataSize != sizeof(CFStringRef)) return kAudioUnitErr_InvalidPropertyValue;
    const auto name = Load<CFStringRef>(inData);
    if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
    target->SetName(name);
    PropertyChanged(kAudioUnitProperty_ElementName, scope, element);
    return noErr;
}

OSStatus AUBase::SetExternalBuffer(AudioUnitScope scope, AudioUnitElement element, const void *inData,
                                   UInt32 inDataSize) {
    if (inDataSize < sizeof(AudioUnitExternalBuffer)) return kAudioUnitErr_InvalidPropertyValue;
    if (!IsInitialized()) return kAudioUnitErr_Uninitialized;
    const auto buffer = Load<AudioUnitExternalBuffer>(inData);
    // No block at all is no memory to render into, however large the size claimed for it.
    if (buffer.buffer == nullptr || reinterpret_cast<uintptr_t>(buffer.buffer) % 16 != 0) return paramErr;
    AUIOElement *io = scope == kAudioUnitScope_Input ? static_cast<AUIOElement *>(GetInput(element))
                                                     : static_cast<AUIOElement *>(GetOutput(element));
    io->IOBuffer().UseExternalBuffer(io->GetStreamFormat(), buffer);
    return noErr;
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     const void *inData, UInt32 inDataSize) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
        if (inDataSize != sizeof(CFPropertyListRef)) return kAudioUnitErr_InvalidPropertyValue;
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        return RestoreState(Load<CFPropertyListRef>(inData));
    case kAudioUnitProperty_MakeConnection:
        if (inDataSize < sizeof(AudioUnitConnection)) return kAudioUnitErr_InvalidPropertyValue;
        return SetConnection(Load<AudioUnitConnection>(inData));
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat:
        return SetFormat(id, scope, element, inData, inDataSize);
    case kAudioUnitProperty_ElementCount: {
        if (inDataSize != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        if (!BusCountWritable(scope)) return kAudioUnitErr_PropertyNotWritable;
        const OSStatus status = SetBusCount(scope, Load<UInt32>(inData));
        if (status == noErr) PropertyChanged(id, scope, element);
        return status;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        if (inDataSize != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus status = CanSetMaxFrames();
        if (status != noErr) return status;
        SetMaxFramesPerSlice(Load<UInt32>(inData));
        return noErr;
    }
    case kAudioUnitProperty_SetExternalBuffer:
        return SetExternalBuffer(scope, element, inData, inDataSize);
    case kAudioUnitProperty_AudioChannelLayout: {
        const size_t header = offsetof(AudioChannelLayout, mChannelDescriptions);
        if (inDataSize < header) return kAudioUnitErr_InvalidPropertyValue;
        const auto *layout = static_cast<const AudioChannelLayout *>(inData);
        if (inDataSize < header + uint64_t{layout->mNumberChannelDescriptions} * sizeof(AudioChannelDescription))
            return kAudioUnitErr_InvalidPropertyValue;
        const OSStatus status = SetAudioChannelLayout(scope, element, *layout);
        if (status == noErr) PropertyChanged(id, scope, element);
        return status;
    }
    case kAudioUnitProperty_SetRenderCallback: {
        if (inDataSize < sizeof(AURenderCallbackStruct)) return kAudioUnitErr_InvalidPropertyValue;
        if (apiVersion_ == 1) return kAudioUnitErr_InvalidProperty;
        const auto callback = Load<AURenderCallbackStruct>(inData);
        return SetInputCallback(id, element, callback.inputProc, callback.inputProcRefCon);
    }
    case kAudioUnitProperty_ContextName: {
        if (inDataSize != sizeof(CFStringRef)) return kAudioUnitErr_InvalidPropertyValue;
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        const auto name = Load<CFStringRef>(inData);
        if (!IsStringOrNull(name)) return kAudioUnitErr_InvalidPropertyValue;
        if (name != nullptr) CFRetain(name);
        if (contextName_ != nullptr) CFRelease(contextName_);
        contextName_ = name;
        PropertyChanged(id, scope, element);
        return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        HostCallbackInfo info{};
        std::memcpy(&info, inData, std::min<size_t>(inDataSize, sizeof info));
        const bool changed = std::memcmp(&info, &hostCallbackInfo_, sizeof info) != 0;
        hostCallbackInfo_ = info;
        if (changed) PropertyChanged(id, scope, element);
        return noErr;
    }
    case kAudioUnitProperty_ElementName:
        return SetElementName(scope, element, inData, inDataSize);
    case kAudioUnitProperty_PresentPreset:
        return SetPresentPreset(scope, inData, inDataSize);
    case kAudioUnitProperty_ShouldAllocateBuffer: {
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
        AUIOElement *io = GetIOElement(scope, element);
        if (inDataSize != sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        if (IsInitialized()) return kAudioUnitErr_Initialized;
        io->SetWillAllocateBuffer(Load<UInt32>(inData) != 0);
        return noErr;
    }
    default: {
        const OSStatus status = SetProperty(id, scope, element, inData, inDataSize);
        if (status == noErr) PropertyChanged(id, scope, element);
        return status;
    }
    }
}

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
    switch (id) {
    case kAudioUnitProperty_ContextName:
        if (contextName_ != nullptr) CFRelease(contextName_);
        contextName_ = nullptr;
        return noErr;
    case kAudioUnitProperty_HostCallbacks: {
        static constexpr HostCallbackInfo kNone{};
        if (std::memcmp(&hostCallbackInfo_, &kNone, sizeof kNone) != 0) {
            hostCallbackInfo_ = kNone;
            PropertyChanged(id, scope, element);
        }
        return noErr;
    }
    case kAudioUnitProperty_AudioChannelLayout: {
        const OSStatus status = RemoveAudioChannelLayout(scope, element);
        if (status == noErr) PropertyChanged(id, scope, element);
        return status;
    }
    default:
        return RemovePropertyValue(id, scope, element);
    }
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
