#include "host/events.h"

namespace host {

OSStatus set_parameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitParameterValue value,
                       AUEventListenerRef sender, void *sender_object) noexcept {
    const AudioUnitParameter parameter{unit, id, kAudioUnitScope_Global, 0};
    return AUParameterSet(sender, sender_object, &parameter, value, 0);
}

OSStatus announce_parameter(AudioUnit unit, AudioUnitParameterID id) noexcept {
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = {unit, id, kAudioUnitScope_Global, 0};
    return AUEventListenerNotify(nullptr, nullptr, &event);
}

void deliver_pending_events() noexcept {
    while (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) == kCFRunLoopRunHandledSource) {
    }
}

}  // namespace host
