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
    return Zentrova::Initialize();
}

Zentrova::follower_signal ZentrovaKeyed::block_key(UInt32) noexcept {
    // The gauge reads the key where the source left it. Non-finite key samples need no care of
    // their own: the gauge mends its level as it does for the main input's.
    const AudioBufferList *key = SideInput(kKeyElement);
    if (key == nullptr || key->mNumberBuffers == 0) return {};
    const auto *left = static_cast<const float *>(key->mBuffers[0].mData);
    if (key->mNumberBuffers == 1) return {left, nullptr};
    return {left, static_cast<const float *>(key->mBuffers[1].mData)};
}
