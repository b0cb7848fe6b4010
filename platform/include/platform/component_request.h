// Component requests, both ways: how a host packs a selector's arguments into a
// ComponentParameters block (RequestBlock, encode_*) and how a component reads them back
// (ComponentRequest). One layout for the platform's host calls, the framework's dispatch and
// every component written by hand.
//
// The 64-bit layout: one uintptr_t slot per argument. Slot 0 holds the instance handle (Open,
// Close and every Audio Unit selector) or the selector asked about (CanDo, sign-extended);
// argument i of a selector lies in slot i + 1, in the order of the host call's parameters after
// the unit:
//
//   GetPropertyInfo   id, scope, element, UInt32 *outDataSize, Boolean *outWritable
//   GetProperty       id, scope, element, void *outData, UInt32 *ioDataSize
//   SetProperty       id, scope, element, const void *inData, UInt32 inDataSize
//   GetParameter      id, scope, element, AudioUnitParameterValue *outValue
//   SetParameter      id, scope, element, Float32 value, UInt32 bufferOffsetInFrames
//   Reset             scope, element
//   Add/RemovePropertyListener(WithUserData)   id, AudioUnitPropertyListenerProc, void *userData
//   Add/RemoveRenderNotify                     AURenderCallback, void *userData
//   ScheduleParameters                         const AudioUnitParameterEvent *, UInt32 count
//   Render            AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32 bus,
//                     UInt32 frames, AudioBufferList *
//
// 32-bit numbers sit zero-extended in the low half of their slot, a Float32 as its bit pattern in
// the low half, pointers whole. Everything here is header-only, allocates nothing and is safe on
// the render thread.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

inline uintptr_t encode_u32(UInt32 value) noexcept { return value; }
inline uintptr_t encode_f32(Float32 value) noexcept {
    UInt32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
template <typename T> inline uintptr_t encode_ptr(T *pointer) noexcept { return reinterpret_cast<uintptr_t>(pointer); }
template <typename R, typename... A> inline uintptr_t encode_fn(R (*function)(A...)) noexcept {
    return reinterpret_cast<uintptr_t>(function);
}
// CanDo's slot 0: sign-extended, so a component reading it as 16 or as 32 bits sees the same selector.
inline uintptr_t encode_selector(SInt16 selector) noexcept {
    return static_cast<uintptr_t>(static_cast<intptr_t>(selector));
}

// A request block with room for N slots (slot 0 included), zeroed, on the caller's stack. The
// entry sees it as ComponentParameters, whose params[] continues past its declared single slot.
template <size_t N> struct RequestBlock {
    static_assert(N >= 1 && N * sizeof(uintptr_t) <= 255, "paramSize is one byte");
    union {
        ComponentParameters header;
        unsigned char bytes[offsetof(ComponentParameters, params) + N * sizeof(uintptr_t)];
    };

    // paramSize counts the bytes of every slot the request carries (slot 0 included).
    explicit RequestBlock(SInt16 what) noexcept {
        std::memset(bytes, 0, sizeof bytes);
        header.what = what;
        header.paramSize = static_cast<UInt8>(N * sizeof(uintptr_t));
    }
    ComponentParameters *get() noexcept { return &header; }

    void set(size_t slot, uintptr_t value) noexcept {
        std::memcpy(bytes + offsetof(ComponentParameters, params) + slot * sizeof(uintptr_t), &value, sizeof value);
    }
};

// The component's side: reads the slots of a request the host packed. It trusts the host for the
// slot count, as the selector's layout fixes it (paramSize is not consulted).
class ComponentRequest {
public:
    explicit ComponentRequest(const ComponentParameters *params) noexcept : params_(params) {}

    SInt16 what() const noexcept { return params_->what; }
    uintptr_t slot(size_t index) const noexcept {
        uintptr_t value;
        std::memcpy(&value, reinterpret_cast<const unsigned char *>(params_->params) + index * sizeof value,
                    sizeof value);
        return value;
    }
    // Slot 0 of Open, Close and the Audio Unit selectors.
    AudioComponentInstance instance() const noexcept { return reinterpret_cast<AudioComponentInstance>(slot(0)); }
    // Slot 0 of CanDo.
    SInt16 asked_selector() const noexcept { return static_cast<SInt16>(slot(0)); }

    // Argument i (slot i + 1).
    UInt32 u32(size_t i) const noexcept { return static_cast<UInt32>(slot(i + 1)); }
    Float32 f32(size_t i) const noexcept {
        const UInt32 bits = u32(i);
        Float32 value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    template <typename T> T *ptr(size_t i) const noexcept { return reinterpret_cast<T *>(slot(i + 1)); }
    template <typename Fn> Fn proc(size_t i) const noexcept { return reinterpret_cast<Fn>(slot(i + 1)); }

private:
    const ComponentParameters *params_;
};

}  // namespace platform
