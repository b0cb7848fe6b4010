// Elements: the numbered members of a scope that hold parameter values and a name.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <atomic>
#include <cstring>
#include <map>
#include <vector>

class AUBase;

// The stored state of one parameter: its current value (value1) and, while a scheduled render
// slice is running, the event that applies to that slice. Six 32-bit fields, 24 bytes.
//
// Host threads set values while the render thread reads them (and the scheduled-parameter slicing
// writes them on the render thread), so every field is an atomic word accessed relaxed: each
// field is always read whole, and no lock is taken on either side.
struct ParameterMapEvent {
    ParameterMapEvent() = default;
    ParameterMapEvent(const ParameterMapEvent &other) noexcept { *this = other; }
    ParameterMapEvent &operator=(const ParameterMapEvent &other) noexcept;

    AUParameterEventType EventType() const noexcept { return eventType.load(std::memory_order_relaxed); }
    UInt32 BufferOffset() const noexcept { return bufferOffset.load(std::memory_order_relaxed); }
    UInt32 DurationInFrames() const noexcept { return durationInFrames.load(std::memory_order_relaxed); }
    AudioUnitParameterValue Value1() const noexcept { return value1.load(std::memory_order_relaxed); }
    AudioUnitParameterValue Value2() const noexcept { return value2.load(std::memory_order_relaxed); }
    UInt32 SliceDurationFrames() const noexcept { return sliceDurationFrames.load(std::memory_order_relaxed); }

    // An immediate value: type immediate, value1 = value2 = value; the other fields keep theirs.
    void SetValue(AudioUnitParameterValue value) noexcept;
    // The event that applies to one slice of a scheduled render.
    void SetScheduled(const AudioUnitParameterEvent &event, UInt32 sliceOffsetInBuffer, UInt32 sliceDurationFrames) noexcept;

    std::atomic<AUParameterEventType> eventType{kParameterEvent_Immediate};
    std::atomic<UInt32> bufferOffset{0};
    std::atomic<UInt32> durationInFrames{0};
    std::atomic<AudioUnitParameterValue> value1{0.0f};
    std::atomic<AudioUnitParameterValue> value2{0.0f};
    std::atomic<UInt32> sliceDurationFrames{0};
};
static_assert(sizeof(ParameterMapEvent) == 24, "ParameterMapEvent is six 32-bit fields");
static_assert(std::atomic<float>::is_always_lock_free && std::atomic<UInt32>::is_always_lock_free);

// Base of all elements. Parameters live in an ordered map until UseIndexedParameters switches the
// element to an array indexed by parameter id.
//
// Threads: parameter values may be read and written from any thread (atomic fields); adding a map
// entry or resizing the array changes the containers and happens only while the owner is not
// initialized (map entries created while initialized are refused), so it never races a render.
class AUElement {
public:
    explicit AUElement(AUBase &owner) : owner_(owner) {}
    virtual ~AUElement();
    AUElement(const AUElement &) = delete;
    AUElement &operator=(const AUElement &) = delete;

    virtual void UseIndexedParameters(UInt32 count);

    // Throws kAudioUnitErr_InvalidParameter for an unknown id.
    AudioUnitParameterValue GetParameter(AudioUnitParameterID id);
    // Throws kAudioUnitErr_InvalidParameter for an id beyond the indexed array. In map mode a new
    // entry is created, except while the owner is initialized and okWhenInitialized is false, when
    // the call is silently ignored.
    void SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value, bool okWhenInitialized = false);

    // The record of a parameter, or nullptr when there is none (never throws, never allocates).
    ParameterMapEvent *FindParameter(AudioUnitParameterID id) noexcept;
    // The record of a parameter, creating a map entry when allowed as in SetParameter; nullptr
    // when the entry may not be created; throws kAudioUnitErr_InvalidParameter in indexed mode.
    ParameterMapEvent *ParameterForWrite(AudioUnitParameterID id, bool okWhenInitialized);

    bool UsesIndexedParameters() const { return indexed_; }
    UInt32 GetNumberOfParameters() const;
    // Ids in the element's order: 0..count-1 when indexed, ascending map ids otherwise.
    void GetParameterList(AudioUnitParameterID *outList) const;

    // The element's name: retained here, released on replacement and with the element.
    CFStringRef GetName() const { return name_; }
    void SetName(CFStringRef name);
    bool HasName() const { return name_ != nullptr; }

    AUBase &GetOwner() const { return owner_; }

private:
    AUBase &owner_;
    std::map<AudioUnitParameterID, ParameterMapEvent> parameters_;
    bool indexed_ = false;
    std::vector<ParameterMapEvent> indexedParameters_;
    CFStringRef name_ = nullptr;
};
