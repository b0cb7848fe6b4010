// Zentrova Keyed: the same effect with a second input, the key, whose level drives the envelope
// while the main input is filtered (a drum loop opening the vowels of a pad). Input element 1,
// "Key", is pulled at each render like element 0; with no source it is not there, and the
// follower measures the main input as the plain effect does.
#pragma once

#include "effect/Zentrova.h"

// Threads: as Zentrova's; block_key runs on the render thread.
class ZentrovaKeyed : public Zentrova {
public:
    static constexpr AudioUnitElement kKeyElement = 1;

    explicit ZentrovaKeyed(AudioComponentInstance component);

    // The key's format is checked here, as the main input's channel count is: the instance's
    // sample rate, one or two channels whatever the main input has. The framework makes its
    // buffers here too, with the main input's.
    OSStatus Initialize() override;

protected:
    follower_signal block_key(UInt32 frames) noexcept override;
};
