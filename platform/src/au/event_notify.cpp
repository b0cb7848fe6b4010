// Sending events: AUEventListenerNotify, AUParameterSet, AUParameterListenerNotify, the property
// trampoline units call, and forgetting a unit that has gone away.
#include "au/listener_service.h"

#include <bit>
#include <thread>
#include <time.h>

namespace platform::au {

Service &service() {
    // Leaked on purpose: listeners may be disposed from static destructors of other libraries.
    static Service *instance = new Service;
    return *instance;
}

namespace {

ListenerRegistrations *registrations_of(const Service &s, const AUListenerBase *listener) {
    auto *list = new ListenerRegistrations;
    for (const auto &r : s.parameters)
        if (r->listener == listener) list->parameters.push_back(r.get());
    for (const auto &r : listener->properties) list->properties.push_back(r.get());
    return list;
}

}  // namespace

void publish_registrations(AUListenerBase *changed, std::vector<std::unique_ptr<ParameterRegistration>> retired) {
    Service &s = service();
    auto *senders = new std::vector<ParameterRegistration *>;
    senders->reserve(s.parameters.size());
    for (const auto &r : s.parameters) senders->push_back(r.get());
    const std::vector<ParameterRegistration *> *replaced = s.published.exchange(senders);
    std::vector<const ListenerRegistrations *> replaced_lists;
    if (changed) replaced_lists.push_back(changed->published.exchange(registrations_of(s, changed)));
    else
        for (AUListenerBase *listener : s.listeners)
            replaced_lists.push_back(listener->published.exchange(registrations_of(s, listener)));
    // A reader counted before the exchanges may still read the old copies (and the registrations
    // they name); one counted after them reads the new ones.
    while (s.readers.load() != 0) std::this_thread::yield();
    delete replaced;
    for (const auto *list : replaced_lists) delete list;
    retired.clear();
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
    std::vector<std::unique_ptr<PropertyRegistration>> gone;  // freed after the lock, once unpublished
    std::lock_guard<std::mutex> lock(service().mutex);
    std::vector<std::unique_ptr<ParameterRegistration>> retired;
    for (auto &r : service().parameters)
        if (r->parameter.mAudioUnit == unit) retired.push_back(std::move(r));
    std::erase(service().parameters, nullptr);
    for (AUListenerBase *listener : service().listeners) {
        // The unit has closed, and its listener list with it: nothing can call these any more.
        for (auto &r : listener->properties)
            if (r->property.mAudioUnit == unit) gone.push_back(std::move(r));
        std::erase(listener->properties, nullptr);
    }
    publish_registrations(nullptr, std::move(retired));
}

namespace {

// [senders] Records a change in the registration: the value replaces whatever waits, and an
// event that was not waiting yet takes the next arrival number of its listener, which fixes its
// place in the next delivery.
void mark_pending(ParameterRegistration &r, AudioUnitParameterValue value, UInt64 host_time) {
    const uint64_t bits = std::bit_cast<uint32_t>(value);
    r.host_time.store(host_time, std::memory_order_relaxed);
    uint64_t seen = r.pending.load(std::memory_order_relaxed);
    uint32_t arrival = 0;
    for (;;) {
        uint32_t stamp = static_cast<uint32_t>(seen >> 32);
        if (stamp == 0) {
            // 0 means "not waiting", so the counter skips it when it wraps.
            while (arrival == 0) arrival = r.listener->next_arrival.fetch_add(1, std::memory_order_relaxed);
            stamp = arrival;
        }
        if (r.pending.compare_exchange_weak(seen, static_cast<uint64_t>(stamp) << 32 | bits,
                                            std::memory_order_release, std::memory_order_relaxed))
            return;
    }
}

// [any thread, an audio thread included] Marks a parameter event pending for every listener
// registered for it but the sender, and signals their sources. Takes no lock and allocates
// nothing; a listener on a detached run loop is not woken (nothing waits on it), so for it no
// system call either.
void queue_parameter_event(AUListenerBase *sender, const AudioUnitEvent &event, AudioUnitParameterValue value) {
    const UInt64 now = host_time_now();
    ReadingPublished reading;
    const std::vector<ParameterRegistration *> *published = service().published.load();
    if (!published) return;
    for (ParameterRegistration *r : *published) {
        if (r->listener == sender || r->type != event.mEventType ||
            !same_parameter(r->parameter, event.mArgument.mParameter))
            continue;
        mark_pending(*r, value, now);
        CFRunLoopSourceSignal(r->listener->source);
        CFRunLoopWakeUp(r->listener->run_loop);
    }
}

// [control thread] Flags every property registration of the event but the sender's.
void flag_property_event(AUListenerBase *sender, const AudioUnitProperty &property) {
    std::lock_guard<std::mutex> lock(service().mutex);
    for (AUListenerBase *listener : service().listeners) {
        if (listener == sender) continue;
        bool flagged = false;
        for (const auto &r : listener->properties) {
            if (!same_property(r->property, property)) continue;
            r->pending.store(true, std::memory_order_release);
            flagged = true;
        }
        if (flagged) {
            CFRunLoopSourceSignal(listener->source);
            CFRunLoopWakeUp(listener->run_loop);
        }
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

// [any thread, an audio thread included] The unit stores the value first; a value it refuses reaches nobody. The
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
