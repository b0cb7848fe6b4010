#include "effect/ZentrovaKeyed.h"

#include <CoreFoundation/CoreFoundation.h>

ZentrovaKeyed::ZentrovaKeyed(AudioComponentInstance component) : Zentrova(component) {
    // Both input elements exist from construction, so a host sees the key before it initializes
    // and can give it a format and a source; their count stays fixed.
    GetScope(kAudioUnitScope_Input).SetNumberOfElements(2);
    GetInput(kKeyElement)->SetName(CFSTR("Key"));
}

OSStatus ZentrovaKeyed::Initialize() {
    const AudioStreamBasicDescription &key = GetInput(kKeyElement)->GetStreamFormat();
    if (key.mChannelsPerFrame < 1 || key.mChannelsPerFrame > 2 || key.mSampleRate != GetSampleRate())
        return kAudioUnitErr_FormatNotSupported;
    if (const OSStatus status = Zentrova::Initialize(); status != noErr) return status;
    const size_t size = maximum_frames() + 2;
    if (_key_left.size() != size) {
        std::vector<double>(size, 0.0).swap(_key_left);
        std::vector<double>(size, 0.0).swap(_key_right);
    }
    return noErr;
}

Zentrova::follower_signal ZentrovaKeyed::block_key(UInt32 frames) noexcept {
    const AudioBufferList *key = SideInput(kKeyElement);
    if (key == nullptr || key->mNumberBuffers == 0) return {};
    // Non-finite key samples need no care of their own: the gauge mends its level as it does for
    // the main input's.
    auto convert = [frames](const AudioBuffer &buffer, double *out) {
        const auto *in = static_cast<const float *>(buffer.mData);
        for (UInt32 i = 0; i < frames; ++i) out[i] = in[i];
    };
    convert(key->mBuffers[0], _key_left.data());
    if (key->mNumberBuffers == 1) return {_key_left.data(), nullptr};
    convert(key->mBuffers[1], _key_right.data());
    return {_key_left.data(), _key_right.data()};
}
