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

    // The state is Zentrova's: saved under the plain effect's codes, without the key's fixed name,
    // so a preset made here loads there as it is; and Zentrova's presets load here.
    OSStatus SaveState(CFPropertyListRef *out_data) override;
    OSStatus RestoreState(CFPropertyListRef plist) override;

protected:
    follower_signal block_key(UInt32 frames) noexcept override;

private:
    // [control thread] The plain effect's subtype: the component of this one's type and maker
    // named as this one without " Keyed", as the bundle's Info.plist lists it; 0 when not found.
    OSType plain_subtype();
    OSType own_subtype();

    bool _plain_subtype_known = false;
    OSType _plain_subtype = 0;
};
