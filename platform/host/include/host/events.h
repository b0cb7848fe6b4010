// Parameter changes as a host makes them: through the event-listener service, so that every
// listener of the parameter (the unit's own among them) hears of the change on its run loop.
#pragma once

#include <AudioToolbox/AudioToolbox.h>

namespace host {

// [any thread; real-time safe] Stores a global parameter's value in the unit and announces it to
// every listener but `sender` (with `sender_object`), as a host's automation or an editor does.
OSStatus set_parameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitParameterValue value,
                       AUEventListenerRef sender = nullptr, void *sender_object = nullptr) noexcept;

// [any thread] Announces the stored value of a global parameter without setting it: after a
// request that writes values silently (a restored state), so that the listeners catch up.
OSStatus announce_parameter(AudioUnit unit, AudioUnitParameterID id) noexcept;

// [the listener's thread] Runs this thread's run loop until nothing is pending, so that every
// change announced so far has reached the listeners bound to it. Never waits on the clock.
void deliver_pending_events() noexcept;

}  // namespace host
