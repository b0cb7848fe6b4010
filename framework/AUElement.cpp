#include "framework/AUElement.h"

#include "framework/AUBase.h"

ParameterMapEvent &ParameterMapEvent::operator=(const ParameterMapEvent &other) noexcept {
    eventType.store(other.EventType(), std::memory_order_relaxed);
    bufferOffset.store(other.BufferOffset(), std::memory_order_relaxed);
    durationInFrames.store(other.DurationInFrames(), std::memory_order_relaxed);
    value1.store(other.Value1(), std::memory_order_relaxed);
    value2.store(other.Value2(), std::memory_order_relaxed);
    sliceDurationFrames.store(other.SliceDurationFrames(), std::memory_order_relaxed);
    return *this;
}

void ParameterMapEvent::SetValue(AudioUnitParameterValue value) noexcept {
    eventType.store(kParameterEvent_Immediate, std::memory_order_relaxed);
    value1.store(value, std::memory_order_relaxed);
    value2.store(value, std::memory_order_relaxed);
}

void ParameterMapEvent::SetScheduled(const AudioUnitParameterEvent &event, UInt32 sliceOffsetInBuffer,
                                     UInt32 sliceFrames) noexcept {
    eventType.store(event.eventType, std::memory_order_relaxed);
    sliceDurationFrames.store(sliceFrames, std::memory_order_relaxed);
    if (event.eventType == kParameterEvent_Ramped) {
        // The ramp's start relative to this slice (negative starts wrap, as the 32-bit field does).
        bufferOffset.store(static_cast<UInt32>(event.eventValues.ramp.startBufferOffset) - sliceOffsetInBuffer,
                           std::memory_order_relaxed);
        durationInFrames.store(event.eventValues.ramp.durationInFrames, std::memory_order_relaxed);
        value1.store(event.eventValues.ramp.startValue, std::memory_order_relaxed);
        value2.store(event.eventValues.ramp.endValue, std::memory_order_relaxed);
    } else {
        bufferOffset.store(0, std::memory_order_relaxed);
        durationInFrames.store(sliceFrames, std::memory_order_relaxed);
        value1.store(event.eventValues.immediate.value, std::memory_order_relaxed);
        value2.store(event.eventValues.immediate.value, std::memory_order_relaxed);
    }
}

AUElement::~AUElement() {
    if (name_ != nullptr) CFRelease(name_);
}

void AUElement::UseIndexedParameters(UInt32 count) {
    indexedParameters_.resize(count);
    indexed_ = true;
}

ParameterMapEvent *AUElement::FindParameter(AudioUnitParameterID id) noexcept {
    if (indexed_) return id < indexedParameters_.size() ? &indexedParameters_[id] : nullptr;
    auto it = parameters_.find(id);
    return it == parameters_.end() ? nullptr : &it->second;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID id) {
    const ParameterMapEvent *event = FindParameter(id);
    if (event == nullptr) throw OSStatus(kAudioUnitErr_InvalidParameter);
    return event->Value1();
}

ParameterMapEvent *AUElement::ParameterForWrite(AudioUnitParameterID id, bool okWhenInitialized) {
    if (indexed_) {
        if (id >= indexedParameters_.size()) throw OSStatus(kAudioUnitErr_InvalidParameter);
        return &indexedParameters_[id];
    }
    auto it = parameters_.find(id);
    if (it != parameters_.end()) return &it->second;
    // A new map entry changes the container, which a render may be reading: not while initialized.
    if (owner_.IsInitialized() && !okWhenInitialized) return nullptr;
    return &parameters_[id];
}

void AUElement::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value, bool okWhenInitialized) {
    if (ParameterMapEvent *event = ParameterForWrite(id, okWhenInitialized)) event->SetValue(value);
}

UInt32 AUElement::GetNumberOfParameters() const {
    return static_cast<UInt32>(indexed_ ? indexedParameters_.size() : parameters_.size());
}

void AUElement::GetParameterList(AudioUnitParameterID *outList) const {
    if (indexed_) {
        for (UInt32 i = 0; i < indexedParameters_.size(); ++i) outList[i] = i;
        return;
    }
    for (const auto &entry : parameters_) *outList++ = entry.first;
}

void AUElement::SetName(CFStringRef name) {
    if (name != nullptr) CFRetain(name);
    if (name_ != nullptr) CFRelease(name_);
    name_ = name;
}
