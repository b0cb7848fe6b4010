// Restoring saved state from outside bytes: whatever a preset file holds, read as a property list
// and handed to the ClassInfo property, must be applied or refused with a status, never crash,
// leak or corrupt the instance (it must still save a state afterwards).
#include "framework/AUEffectBase.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>

namespace {

// An instance with what states can address: indexed global parameters and map-mode I/O elements.
// It has no component, so its identity is all zeros, as the seed states say.
class FuzzEffect : public AUEffectBase {
public:
    FuzzEffect() : AUEffectBase(nullptr) {
        CreateElements();
        Globals()->UseIndexedParameters(4);
        for (AudioUnitParameterID id = 0; id < 4; ++id) Globals()->SetParameter(id, 0.5f * float(id));
        GetOutput(0)->SetParameter(7, 1.0f);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef state = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (error != nullptr) CFRelease(error);

    FuzzEffect effect;
    effect.PostConstructor();
    // Half the inputs restore into an initialized instance, where scopes may not grow.
    if (size % 2 == 1) ComponentBase::Guard([&] { return effect.DoInitialize(); });
    ComponentBase::Guard([&] {
        return effect.DispatchSetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                          sizeof state);
    });
    CFPropertyListRef saved = nullptr;
    ComponentBase::Guard([&] { return effect.SaveState(&saved); });
    if (saved == nullptr) __builtin_trap();
    CFRelease(saved);
    if (state != nullptr) CFRelease(state);
    return 0;
}
