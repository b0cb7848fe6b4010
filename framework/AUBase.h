// The generic audio-unit instance: scopes and elements, parameters, stream formats, properties
// and their listeners, saved state, and the render flow up to the effect's processing.
#pragma once

#include "framework/AUIOElement.h"
#include "framework/AUPropertyListeners.h"
#include "framework/AURenderNotifications.h"
#include "framework/AUScope.h"
#include "framework/ComponentBase.h"

#include <atomic>
#include <vector>

struct AUPropertyRow;

// Threads, per entry point:
//   construction, destruction, Initialize/Cleanup, formats, properties, state: host threads;
//   GetParameter/SetParameter: any thread (values are atomic words);
//   DoRender, RenderBus, Render, ProcessForScheduledParams, ProcessScheduledSlice: the render
//   thread, allocation-, lock- and exception-free in the framework's own code;
//   PropertyChanged: any thread, the render thread included.
class AUBase : public ComponentBase, public AUElementCreator {
public:
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;
    static constexpr Float64 kNoLastRenderedSampleTime = -1.0;
    // The private property answering the last rendered sample time ('lrst').
    static constexpr AudioUnitPropertyID kLastRenderedSampleTimeProperty = 0x6C727374;
    static constexpr UInt32 kNumScopes = 5;

    AUBase(AudioComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups = 0,
           UInt32 numParts = 0);
    ~AUBase() override;

    // ---- lifecycle (host threads)
    void PostConstructor() override { CreateElements(); }
    void PreDestructor() override;
    OSStatus Version() override { return 1; }
    virtual OSStatus Initialize() { return noErr; }
    virtual void Cleanup() {}
    virtual OSStatus Reset(AudioUnitScope scope, AudioUnitElement element);

    // ---- properties (host threads)
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     UInt32 &outDataSize, Boolean &outWritable);
    virtual OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 void *outData);
    virtual OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void *inData, UInt32 inDataSize);
    virtual OSStatus RemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
    // The row (framework/AUPropertyTable.h) a subclass answers `id` with in `scope`, consulted
    // before the framework's own rows, so a subclass may add a property or override one; nullptr
    // when it has none. An override looks in its own rows, then asks its base class.
    virtual const AUPropertyRow *FindOwnProperty(AudioUnitPropertyID, AudioUnitScope) { return nullptr; }
    virtual OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon);
    virtual OSStatus RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void *refCon,
                                            bool matchRefCon);
    virtual OSStatus SetRenderNotification(AURenderCallback proc, void *refCon);
    virtual OSStatus RemoveRenderNotification(AURenderCallback proc, void *refCon);

    // ---- parameters (any thread)
    virtual OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  AudioUnitParameterValue &outValue);
    virtual OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  AudioUnitParameterValue value, UInt32 bufferOffsetInFrames);
    virtual OSStatus SetGroupParameter(AudioUnitParameterID, AudioUnitElement, AudioUnitParameterValue, UInt32) {
        return kAudioUnitErr_InvalidScope;
    }
    virtual OSStatus GetGroupParameter(AudioUnitParameterID, AudioUnitElement, AudioUnitParameterValue &) {
        return kAudioUnitErr_InvalidScope;
    }
    // Render thread (the host schedules the events of the next render just before it). Events that
    // would not fit the room made at Initialize are refused, all of the call's together, with
    // kAudioUnitErr_CannotDoInCurrentContext: growing the list here would allocate on the render
    // thread.
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent *events, UInt32 count);
    // Events one render can carry: one per frame of the largest render, within [256, 4096]
    // (8 to 128 KiB). Hosts schedule a few changes per block; a change per frame is already
    // more than any automation curve needs.
    static UInt32 ScheduledEventCapacity(UInt32 maxFrames) noexcept {
        return maxFrames < 256 ? 256 : maxFrames > 4096 ? 4096 : maxFrames;
    }

    // ---- render (render thread)
    virtual OSStatus RenderBus(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp,
                               UInt32 bus, UInt32 frames);
    virtual OSStatus Render(AudioUnitRenderActionFlags &, const AudioTimeStamp &, UInt32) { return noErr; }

    // ---- buses and connections (host threads)
    virtual bool BusCountWritable(AudioUnitScope) { return false; }
    virtual OSStatus SetBusCount(AudioUnitScope scope, UInt32 count);
    virtual OSStatus SetConnection(const AudioUnitConnection &connection);
    virtual OSStatus SetInputCallback(AudioUnitPropertyID id, AudioUnitElement element, AURenderCallback proc,
                                      void *refCon);

    // ---- description (host threads)
    virtual OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID *outList, UInt32 &outCount);
    virtual OSStatus GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo &) {
        return kAudioUnitErr_InvalidParameter;
    }
    virtual OSStatus SaveState(CFPropertyListRef *outData);
    virtual OSStatus RestoreState(CFPropertyListRef plist);
    virtual OSStatus GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef *) {
        return kAudioUnitErr_InvalidProperty;
    }
    virtual OSStatus CopyClumpName(AudioUnitScope, UInt32 /*clumpID*/, UInt32 /*desiredNameLength*/,
                                   CFStringRef * /*outName*/) {
        return kAudioUnitErr_InvalidProperty;
    }
    virtual OSStatus GetPresets(CFArrayRef * /*outData*/) const { return kAudioUnitErr_InvalidProperty; }
    virtual OSStatus NewFactoryPresetSet(const AUPreset &) { return kAudioUnitErr_InvalidProperty; }
    virtual UInt32 GetNumCustomUIComponents() { return 0; }
    virtual void GetUIComponentDescs(AudioComponentDescription * /*inDescArray*/) {}
    // A new URL the caller releases, or nullptr.
    virtual CFURLRef CopyIconLocation() { return nullptr; }
    virtual Float64 GetLatency() { return 0.0; }
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool SupportsTail() { return false; }

    // ---- formats (host threads)
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) = 0;
    // The table's entry count; *outInfo (when not null) receives its address.
    virtual UInt32 SupportedNumChannels(const AUChannelInfo **outInfo);
    virtual bool ValidFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription &format);
    virtual AudioStreamBasicDescription GetStreamFormat(AudioUnitScope scope, AudioUnitElement element);
    virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                        const AudioStreamBasicDescription &previous,
                                        const AudioStreamBasicDescription &format);
    AUElement *CreateElement(AudioUnitScope scope, AudioUnitElement element) override;
    virtual void ReallocateBuffers();
    virtual void SetMaxFramesPerSlice(UInt32 frames);
    virtual OSStatus CanSetMaxFrames() const { return IsInitialized() ? OSStatus(kAudioUnitErr_Initialized) : OSStatus(noErr); }
    virtual UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayoutTag *outTags);
    virtual UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayout *outLayout,
                                         Boolean &outWritable);
    virtual OSStatus SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                           const AudioChannelLayout &layout);
    virtual OSStatus RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element);

    // ---- scheduled parameters (render thread)
    // Splits the render into slices at the events' offsets and ramp ends, stores each event that
    // applies to a slice in its parameter, and calls ProcessScheduledSlice once per slice.
    virtual OSStatus ProcessForScheduledParams(std::vector<AudioUnitParameterEvent> &events, UInt32 frames,
                                               void *userData);
    virtual OSStatus ProcessScheduledSlice(void * /*userData*/, UInt32 /*sliceStart*/, UInt32 /*sliceFrames*/,
                                           UInt32 /*totalFrames*/) {
        return noErr;
    }

    // ---- notification ("notify"): calls the listeners of `id`; any thread, lock- and
    // allocation-free, so the render thread may announce a property.
    void PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) noexcept;

    // ---- elements
    // Creates the input, output, group and part elements once; later calls do nothing.
    void CreateElements();
    // Throws kAudioUnitErr_InvalidScope for a scope of 5 or more.
    AUScope &GetScope(AudioUnitScope scope);
    AUElement *Globals() { return scopes_[kAudioUnitScope_Global].GetElement(0); }
    // Throw kAudioUnitErr_InvalidScope / kAudioUnitErr_InvalidElement as they apply.
    AUElement *GetElement(AudioUnitScope scope, AudioUnitElement element);
    AUIOElement *GetIOElement(AudioUnitScope scope, AudioUnitElement element);
    AUInputElement *GetInput(AudioUnitElement element);
    AUOutputElement *GetOutput(AudioUnitElement element);
    // Render-thread lookups: nullptr instead of a throw.
    AUInputElement *FindInput(AudioUnitElement element) noexcept;
    AUOutputElement *FindOutput(AudioUnitElement element) noexcept;
    AUElement *FindElement(AudioUnitScope scope, AudioUnitElement element) noexcept;

    bool IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);

    // ---- state readers
    UInt32 GetMaxFramesPerSlice() const { return maxFramesPerSlice_; }
    bool IsInitialized() const { return initialized_.load(std::memory_order_acquire); }
    bool HasBegunInitializing() const { return hasBegunInitializing_; }
    AudioComponentInstance GetComponentInstance() const { return ComponentBase::GetComponentInstance(); }
    UInt8 GetAPIVersion() const { return apiVersion_; }
    const AUPreset &GetCurrentPreset() const { return currentPreset_; }
    CFStringRef GetContextName() const { return contextName_; }
    const HostCallbackInfo &GetHostCallbackInfo() const { return hostCallbackInfo_; }
    bool HasScheduledEvents() const noexcept { return !scheduledEvents_.empty(); }

    // ---- the host-facing entry (ComponentEntryPoint forwards every selector but Open here)
    static OSStatus ComponentEntryDispatch(ComponentParameters *params, AUBase *self);
    // The direct entry points handed out by FastDispatch; they take the instance storage.
    static OSStatus DirectGetParameter(void *storage, AudioUnitParameterID id, AudioUnitScope scope,
                                       AudioUnitElement element, AudioUnitParameterValue *outValue);
    static OSStatus DirectSetParameter(void *storage, AudioUnitParameterID id, AudioUnitScope scope,
                                       AudioUnitElement element, AudioUnitParameterValue value, UInt32 offset);
    static OSStatus DirectRender(void *storage, AudioUnitRenderActionFlags *ioActionFlags,
                                 const AudioTimeStamp *timeStamp, UInt32 bus, UInt32 frames, AudioBufferList *ioData);

    // The selector bodies, exposed for hosts built into the same binary (tests, the LV2 wrapper).
    OSStatus DoInitialize();
    void DoCleanup();
    OSStatus DoReset(AudioUnitScope scope, AudioUnitElement element);
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     UInt32 &outDataSize, Boolean &outWritable);
    OSStatus DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 void *outData);
    OSStatus DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void *inData, UInt32 inDataSize);
    OSStatus DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
    // Selector 4 with its buffer handling: a smaller client buffer receives the leading bytes.
    OSStatus GetPropertyWithSize(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 void *outData, UInt32 *ioDataSize);
    // Render thread; noexcept: the framework's failures are statuses here, and a throw from the
    // effect's processing is converted.
    OSStatus DoRender(AudioUnitRenderActionFlags *ioActionFlags, const AudioTimeStamp *timeStamp, UInt32 bus,
                      UInt32 frames, AudioBufferList *ioData) noexcept;

    Float64 GetLastRenderedSampleTime() const { return lastRenderedSampleTime_.load(std::memory_order_relaxed); }

protected:
    static bool CanDo(SInt16 selector, UInt8 apiVersion);
    // Records the first render error since LastRenderError was last read, and announces it.
    void RecordRenderError(OSStatus status) noexcept;
    bool BuffersAllocated() const { return buffersAllocated_; }
    // Render thread: the events of the coming render, in the order they were scheduled.
    std::vector<AudioUnitParameterEvent> &ScheduledEvents() noexcept { return scheduledEvents_; }

private:
    OSStatus DoRenderBody(AudioUnitRenderActionFlags &flags, const AudioTimeStamp &timeStamp, UInt32 bus,
                          UInt32 frames, AudioBufferList &ioData) noexcept;
    // The framework's own rows and their functions, which read and write the property state below.
    friend struct AUBaseProperties;
    // A subclass's row for `id` in `scope`, else the framework's row for `id`, else nullptr.
    const AUPropertyRow *FindPropertyRow(AudioUnitPropertyID id, AudioUnitScope scope);
    OSStatus RestoreParameterBlob(CFDataRef blob);
    void RestoreElementNames(CFDictionaryRef names);
    AudioComponentDescription ComponentDescription() const;

    bool elementsCreated_ = false;
    std::atomic<bool> initialized_{false};
    bool hasBegunInitializing_ = false;
    bool buffersAllocated_ = false;
    const UInt8 apiVersion_ = 2;
    UInt32 numInputs_, numOutputs_, numGroups_, numParts_;
    AUScope scopes_[kNumScopes];
    // Written by the render thread and Reset, read by hosts through a property.
    std::atomic<Float64> lastRenderedSampleTime_{kNoLastRenderedSampleTime};
    UInt32 maxFramesPerSlice_ = kDefaultMaxFramesPerSlice;
    std::atomic<OSStatus> lastRenderError_{noErr};
    AUPreset currentPreset_{-1, nullptr};
    std::vector<AudioUnitParameterEvent> scheduledEvents_;
    AUPropertyListeners propertyListeners_;
    AURenderNotifications renderNotifications_;
    HostCallbackInfo hostCallbackInfo_{};
    CFStringRef contextName_ = nullptr;
};
