// Packing of component requests: the 64-bit ComponentParameters layout, one 64-bit slot per
// argument. Header-only so the render call packs on its own stack with no call out.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace platform::au {

// A request block with room for N slots. The entry sees it as ComponentParameters, whose
// params[] continues past its declared single slot (the platform's own convention).
template <size_t N>
struct RequestBlock {
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

// Slot encodings. 32-bit ids, scopes, elements, sizes and frame counts sit zero-extended in the
// low half of their slot, a Float32 as its bit pattern in the low half, pointers whole.
inline uintptr_t slot_u32(UInt32 value) noexcept { return value; }
inline uintptr_t slot_f32(Float32 value) noexcept {
    UInt32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
template <typename T>
inline uintptr_t slot_ptr(T *pointer) noexcept {
    return reinterpret_cast<uintptr_t>(pointer);
}
template <typename R, typename... A>
inline uintptr_t slot_fn(R (*function)(A...)) noexcept {
    return reinterpret_cast<uintptr_t>(function);
}

}  // namespace platform::au
