// Sending events: AUEventListenerNotify, AUParameterSet, AUParameterListenerNotify, the property
// trampoline units call, and forgetting a unit that has gone away.
#include "au/listener_service.h"

#include <thread>
#include <time.h>

namespace platform::au {

Service &service() {
    // Leaked on purpose: listeners may be disposed from static destructors of other libraries.
    static Service *instance = new Service;
    return *instance;
}

void publish_parameters() {
    Service &s = service();
    const auto *replaced = s.published.exchange(new std::vector<ParameterRegistration>(s.parameters));
    // A sender counted before the exchange may still read the old copy; one counted after it
    // reads the new one.
    while (s.readers.load() != 0) std::this_thread::yield();
    delete replaced;
}

bool same_parameter(const AudioUnitParameter &a, const AudioUnitParameter &b) {
    return a.mAudioUnit == b.mAudioUnit && a.mParameterID == b.mParameterID && a.mScope == b.mScope &&
           a.mElement == b.mElement;
}

bool same_property(const AudioUnitProperty &a, const AudioUnitProperty &b) {
    return a.mAudioUnit == b.mAudioUnit && a.mPropertyID == b.mPropertyID && a.mScope == b.mScope &&
           a.mElement == b.mElement;
}

// Host time in nanoseconds of the monotonic clock (the platform's host-time unit is opaque).
UInt64 host_time_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<UInt64>(now.tv_sec) * 1000000000u + static_cast<UInt64>(now.tv_nsec);
}

// [any thread, the audio render thread included] Wait-free: a compare, an atomic store and a
// source signal, which itself neither allocates, locks nor makes a system call. The run loop
// finds the signalled source at its next poll, as nothing here may wake it.
void property_trampoline(void *user_data, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element) {
    auto *registration = static_cast<PropertyRegistration *>(user_data);
    const AudioUnitProperty &wanted = registration->property;
    if (unit != wanted.mAudioUnit || id != wanted.mPropertyID || scope != wanted.mScope ||
        element != wanted.mElement)
        return;
    registration->pending.store(true, std::memory_order_release);
    CFRunLoopSourceSignal(registration->source);
}

void forget_unit_listeners(AudioUnit unit) {
    std::vector<std::unique_ptr<PropertyRegistration>> gone;
    std::lock_guard<std::mutex> lock(service().mutex);
    std::erase_if(service().parameters, [&](const auto &r) { return r.parameter.mAudioUnit == unit; });
    publish_parameters();
    for (AUListenerBase *listener : service().listeners) {
        std::lock_guard<std::mutex> queue(listener->queue_mutex);
        std::erase_if(listener->pending, [&](const PendingParameter &p) {
            return p.event.mArgument.mParameter.mAudioUnit == unit;
        });
        // The unit has closed, and its listener list with it: nothing can call these any more.
        for (auto &r : listener->properties)
            if (r->property.mAudioUnit == unit) gone.push_back(std::move(r));
        std::erase(listener->properties, nullptr);
    }
}

namespace {

void wake(AUListenerBase *listener) {
    CFRunLoopSourceSignal(listener->source);
    CFRunLoopWakeUp(listener->run_loop);
}

// [any thread, an audio thread included] Queues a parameter event for every listener registered
// for it but the sender. Takes only each such listener's queue lock, and allocates nothing while
// a listener's queue stays within the capacity it was created with.
void queue_parameter_event(AUListenerBase *sender, const AudioUnitEvent &event, AudioUnitParameterValue value) {
    const UInt64 now = host_time_now();
    Service &s = service();
    s.readers.fetch_add(1);
    static const std::vector<ParameterRegistration> none;
    const std::vector<ParameterRegistration> *published = s.published.load();
    for (const ParameterRegistration &r : published ? *published : none) {
        if (r.listener == sender || r.type != event.mEventType ||
            !same_parameter(r.parameter, event.mArgument.mParameter))
            continue;
        AUListenerBase *listener = r.listener;
        {
            std::lock_guard<std::mutex> queue(listener->queue_mutex);
            PendingParameter *existing = nullptr;
            for (PendingParameter &p : listener->pending)
                if (p.object == r.object && p.event.mEventType == event.mEventType &&
                    same_parameter(p.event.mArgument.mParameter, event.mArgument.mParameter))
                    existing = &p;
            if (existing) {
                existing->value = value;
                existing->host_time = now;
            } else {
                listener->pending.push_back({r.object, event, value, now});
            }
        }
        wake(listener);
    }
    s.readers.fetch_sub(1);
}

// [control thread] Flags every property registration of the event but the sender's.
void flag_property_event(AUListenerBase *sender, const AudioUnitProperty &property) {
    std::lock_guard<std::mutex> lock(service().mutex);
    for (AUListenerBase *listener : service().listeners) {
        if (listener == sender) continue;
        bool flagged = false;
        {
            std::lock_guard<std::mutex> queue(listener->queue_mutex);
            for (const auto &r : listener->properties) {
                if (!same_property(r->property, property)) continue;
                r->pending.store(true, std::memory_order_release);
                flagged = true;
            }
        }
        if (flagged) wake(listener);
    }
}

}  // namespace
}  // namespace platform::au

using namespace platform::au;

extern "C" {

// [control thread] A parameter value change carries the parameter's current value, read once
// here; gestures carry 0.
OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void *, const AudioUnitEvent *inEvent) {
    if (!inEvent) return paramErr;
    switch (inEvent->mEventType) {
    case kAudioUnitEvent_ParameterValueChange: {
        const AudioUnitParameter &p = inEvent->mArgument.mParameter;
        if (!p.mAudioUnit) return paramErr;
        AudioUnitParameterValue value = 0;
        if (const OSStatus status = AudioUnitGetParameter(p.mAudioUnit, p.mParameterID, p.mScope, p.mElement, &value))
            return status;
        queue_parameter_event(inSendingListener, *inEvent, value);
        return noErr;
    }
    case kAudioUnitEvent_BeginParameterChangeGesture:
    case kAudioUnitEvent_EndParameterChangeGesture:
        if (!inEvent->mArgument.mParameter.mAudioUnit) return paramErr;
        queue_parameter_event(inSendingListener, *inEvent, 0.0f);
        return noErr;
    case kAudioUnitEvent_PropertyChange:
        if (!inEvent->mArgument.mProperty.mAudioUnit) return paramErr;
        flag_property_event(inSendingListener, inEvent->mArgument.mProperty);
        return noErr;
    default: return paramErr;
    }
}

OSStatus AUParameterListenerNotify(AUParameterListenerRef inSendingListener, void *inSendingObject,
                                   const AudioUnitParameter *inParameter) {
    if (!inParameter) return paramErr;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = *inParameter;
    return AUEventListenerNotify(inSendingListener, inSendingObject, &event);
}

// [control thread] The unit stores the value first; a value it refuses reaches nobody. The
// sender is skipped as a whole listener: whichever object it registered, its own edit must not
// come back to it as an update.
OSStatus AUParameterSet(AUParameterListenerRef inSendingListener, void *, const AudioUnitParameter *inParameter,
                        AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames) {
    if (!inParameter || !inParameter->mAudioUnit) return paramErr;
    if (const OSStatus status = AudioUnitSetParameter(inParameter->mAudioUnit, inParameter->mParameterID,
                                                      inParameter->mScope, inParameter->mElement, inValue,
                                                      inBufferOffsetInFrames))
        return status;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    event.mArgument.mParameter = *inParameter;
    queue_parameter_event(inSendingListener, event, inValue);
    return noErr;
}

}  // extern "C"
