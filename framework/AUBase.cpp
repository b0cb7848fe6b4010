// AUBase: construction, lifecycle, elements, parameters and stream formats.
#include "framework/AUBase.h"

#include <atomic>
#include <cmath>

AUBase::AUBase(AudioComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups,
               UInt32 numParts)
    : ComponentBase(instance), numInputs_(numInputs), numOutputs_(numOutputs), numGroups_(numGroups),
      numParts_(numParts) {
    for (UInt32 scope = 0; scope < kNumScopes; ++scope) scopes_[scope].Initialize(this, scope);
    scopes_[kAudioUnitScope_Global].SetNumberOfElements(1);
    scheduledEvents_.reserve(ScheduledEventCapacity(maxFramesPerSlice_));
    currentPreset_.presetName = CFSTR("Untitled");
}

AUBase::~AUBase() {
    if (currentPreset_.presetName != nullptr) CFRelease(currentPreset_.presetName);
    if (contextName_ != nullptr) CFRelease(contextName_);
}

void AUBase::PreDestructor() {
    if (IsInitialized()) Cleanup();
    initialized_.store(false, std::memory_order_release);
    hasBegunInitializing_ = false;
}

OSStatus AUBase::Reset(AudioUnitScope, AudioUnitElement) {
    lastRenderedSampleTime_.store(kNoLastRenderedSampleTime, std::memory_order_relaxed);
    return noErr;
}

OSStatus AUBase::DoReset(AudioUnitScope scope, AudioUnitElement element) {
    lastRenderedSampleTime_.store(kNoLastRenderedSampleTime, std::memory_order_relaxed);
    return Reset(scope, element);
}

OSStatus AUBase::DoInitialize() {
    if (IsInitialized()) return noErr;
    const OSStatus status = Initialize();
    if (status != noErr) return status;
    hasBegunInitializing_ = true;
    try {
        // The largest render is fixed from here until Cleanup; so is the room for its events.
        scheduledEvents_.reserve(ScheduledEventCapacity(maxFramesPerSlice_));
        ReallocateBuffers();
    } catch (...) {
        // The buffers could not be had: undo the instance's own initialisation, so the instance
        // stays uninitialized and usable, as after any failed Initialize.
        hasBegunInitializing_ = false;
        Cleanup();
        throw;
    }
    // A sequentially consistent store is a full barrier: a render on another thread that sees the
    // flag also sees the buffers.
    initialized_.store(true, std::memory_order_seq_cst);
    return noErr;
}

void AUBase::DoCleanup() {
    if (IsInitialized()) Cleanup();
    initialized_.store(false, std::memory_order_release);
    hasBegunInitializing_ = false;
}

// ---- elements

void AUBase::CreateElements() {
    if (elementsCreated_) return;
    scopes_[kAudioUnitScope_Input].SetNumberOfElements(numInputs_);
    scopes_[kAudioUnitScope_Output].SetNumberOfElements(numOutputs_);
    scopes_[kAudioUnitScope_Group].SetNumberOfElements(numGroups_);
    scopes_[kAudioUnitScope_Part].SetNumberOfElements(numParts_);
    elementsCreated_ = true;
}

AUElement *AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement) {
    switch (scope) {
    case kAudioUnitScope_Global:
    case kAudioUnitScope_Group:
    case kAudioUnitScope_Part:
        return new AUElement(*this);
    case kAudioUnitScope_Input:
        return new AUInputElement(*this);
    case kAudioUnitScope_Output:
        return new AUOutputElement(*this);
    default:
        throw OSStatus(kAudioUnitErr_InvalidScope);
    }
}

AUScope &AUBase::GetScope(AudioUnitScope scope) {
    if (scope >= kNumScopes) throw OSStatus(kAudioUnitErr_InvalidScope);
    return scopes_[scope];
}

AUElement *AUBase::GetElement(AudioUnitScope scope, AudioUnitElement element) {
    return &GetScope(scope).SafeGetElement(element);
}

AUIOElement *AUBase::GetIOElement(AudioUnitScope scope, AudioUnitElement element) {
    auto *io = dynamic_cast<AUIOElement *>(GetElement(scope, element));
    if (io == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return io;
}

AUInputElement *AUBase::GetInput(AudioUnitElement element) {
    auto *input = dynamic_cast<AUInputElement *>(&scopes_[kAudioUnitScope_Input].SafeGetElement(element));
    if (input == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return input;
}

AUOutputElement *AUBase::GetOutput(AudioUnitElement element) {
    auto *output = dynamic_cast<AUOutputElement *>(&scopes_[kAudioUnitScope_Output].SafeGetElement(element));
    if (output == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return output;
}

AUInputElement *AUBase::FindInput(AudioUnitElement element) noexcept {
    return dynamic_cast<AUInputElement *>(scopes_[kAudioUnitScope_Input].GetElement(element));
}

AUOutputElement *AUBase::FindOutput(AudioUnitElement element) noexcept {
    return dynamic_cast<AUOutputElement *>(scopes_[kAudioUnitScope_Output].GetElement(element));
}

AUElement *AUBase::FindElement(AudioUnitScope scope, AudioUnitElement element) noexcept {
    return scope < kNumScopes ? scopes_[scope].GetElement(element) : nullptr;
}

OSStatus AUBase::SetBusCount(AudioUnitScope scope, UInt32 count) {
    if (IsInitialized()) return kAudioUnitErr_Initialized;
    GetScope(scope).SetNumberOfElements(count);
    return noErr;
}

// ---- parameters

OSStatus AUBase::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterValue &outValue) {
    if (scope == kAudioUnitScope_Group) return GetGroupParameter(id, element, outValue);
    outValue = GetElement(scope, element)->GetParameter(id);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              AudioUnitParameterValue value, UInt32 bufferOffsetInFrames) {
    if (scope == kAudioUnitScope_Group) return SetGroupParameter(id, element, value, bufferOffsetInFrames);
    // The value is stored at once whatever the offset; sample-accurate changes go through
    // ScheduleParameters. Nobody is notified: listeners hear of changes through the host's
    // event-listener service.
    GetElement(scope, element)->SetParameter(id, value, false);
    return noErr;
}

OSStatus AUBase::GetParameterList(AudioUnitScope scope, AudioUnitParameterID *outList, UInt32 &outCount) {
    const AUElement *element = GetScope(scope).ElementWithMostParameters();
    outCount = element != nullptr ? element->GetNumberOfParameters() : 0;
    if (outList != nullptr && element != nullptr) element->GetParameterList(outList);
    return noErr;
}

// ---- formats

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo **outInfo) {
    if (outInfo != nullptr) *outInfo = nullptr;
    return 0;
}

bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement, const AudioStreamBasicDescription &format) {
    const UInt32 flags = format.mFormatFlags;
    return format.mFormatID == kAudioFormatLinearPCM && format.mFramesPerPacket == 1 &&
           format.mBytesPerPacket == format.mBytesPerFrame && (flags & kAudioFormatFlagIsFloat) != 0 &&
           (flags & kAudioFormatFlagIsBigEndian) == 0 && (flags & kAudioFormatFlagIsNonInterleaved) != 0 &&
           format.mBitsPerChannel == 32 && format.mBytesPerFrame == 4 &&
           // Everything downstream divides by the rate: zero, negative, infinite and NaN rates
           // are refused here rather than discovered there.
           std::isfinite(format.mSampleRate) && format.mSampleRate > 0.0;
}

AudioStreamBasicDescription AUBase::GetStreamFormat(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
    case kAudioUnitScope_Global:
        return GetIOElement(kAudioUnitScope_Output, 0)->GetStreamFormat();
    case kAudioUnitScope_Input:
    case kAudioUnitScope_Output:
        return GetIOElement(scope, element)->GetStreamFormat();
    default:
        throw OSStatus(kAudioUnitErr_InvalidScope);
    }
}

bool AUBase::IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
    case kAudioUnitScope_Global:
        return StreamFormatWritable(kAudioUnitScope_Output, 0);
    case kAudioUnitScope_Input:
        // A connected input takes its format from the source.
        if (GetInput(element)->GetInputType() == AUInputElement::kFromConnection) return false;
        return StreamFormatWritable(scope, element);
    case kAudioUnitScope_Output:
        return StreamFormatWritable(scope, element);
    default:
        return false;
    }
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription &,
                                    const AudioStreamBasicDescription &format) {
    AUIOElement *io = nullptr;
    switch (scope) {
    case kAudioUnitScope_Global:
        io = GetIOElement(kAudioUnitScope_Output, 0);
        break;
    case kAudioUnitScope_Input:
    case kAudioUnitScope_Output:
        io = GetIOElement(scope, element);
        break;
    default:
        throw OSStatus(kAudioUnitErr_InvalidScope);
    }
    io->SetStreamFormat(format);
    PropertyChanged(kAudioUnitProperty_StreamFormat, scope, element);
    return noErr;
}

void AUBase::ReallocateBuffers() {
    CreateElements();
    AUScope &outputs = scopes_[kAudioUnitScope_Output];
    for (UInt32 i = 0; i < outputs.GetNumberOfElements(); ++i) GetOutput(i)->AllocateBuffer();
    AUScope &inputs = scopes_[kAudioUnitScope_Input];
    for (UInt32 i = 0; i < inputs.GetNumberOfElements(); ++i) GetInput(i)->AllocateBuffer();
    buffersAllocated_ = true;
}

void AUBase::SetMaxFramesPerSlice(UInt32 frames) {
    const UInt32 previous = maxFramesPerSlice_;
    maxFramesPerSlice_ = frames;
    if (buffersAllocated_) {
        try {
            ReallocateBuffers();
        } catch (...) {
            // Keep the value the buffers were sized for (memory never shrinks, so this succeeds).
            maxFramesPerSlice_ = previous;
            ReallocateBuffers();
            throw;
        }
    }
    PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
}

UInt32 AUBase::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayoutTag *outTags) {
    return GetIOElement(scope, element)->GetChannelLayoutTags(outTags);
}

UInt32 AUBase::GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayout *outLayout,
                                     Boolean &outWritable) {
    return GetIOElement(scope, element)->GetAudioChannelLayout(outLayout, outWritable);
}

OSStatus AUBase::SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                       const AudioChannelLayout &layout) {
    return GetIOElement(scope, element)->SetAudioChannelLayout(layout);
}

OSStatus AUBase::RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element) {
    return GetIOElement(scope, element)->RemoveAudioChannelLayout();
}

// ---- listeners and notifications

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon) {
    // A listener without a callback would be called through a null pointer at the next change.
    if (proc == nullptr) return paramErr;
    propertyListeners_.Add(id, proc, refCon);
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon,
                                        bool matchRefCon) {
    propertyListeners_.Remove(id, proc, refCon, matchRefCon);
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) noexcept {
    propertyListeners_.Notify(GetComponentInstance(), id, scope, element);
}

OSStatus AUBase::SetRenderNotification(AURenderCallback proc, void *refCon) {
    if (proc == nullptr) return paramErr;
    renderNotifications_.Add(proc, refCon);
    return noErr;
}

OSStatus AUBase::RemoveRenderNotification(AURenderCallback proc, void *refCon) {
    renderNotifications_.Remove(proc, refCon);
    return noErr;
}
