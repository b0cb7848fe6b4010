// Listeners: creation, event-type registration, delivery on the listener's run loop, disposal.
//
// Delivery and coalescing. Events wait in their registrations until the listener's run loop next
// runs the listener's source, and are then all delivered at once, with no timer in between: an
// offline host that runs its run loop with a zero timeout after setting parameters sees every
// change before it renders. What waits collapses: all changes of one parameter (for one registered
// object) since the last delivery become one callback with the latest value, in the position of
// the first of them, so deliveries come in a deterministic first-arrival order; then every
// property registration flagged since the last delivery is called once, in registration order.
// The notification interval and value granularity therefore bound nothing further here: a change
// never waits longer than the next run of the loop (property changes announced from the render
// thread, which cannot wake the loop, wait at most until its next poll). They are checked and
// kept, so that a host passing nonsense hears about it.
#include "au/listener_service.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <thread>

using platform::au::ParameterRegistration;
using platform::au::PropertyRegistration;
using platform::au::service;

namespace {

// Identifies the calling thread to AUListenerDispose: the address of a thread-local, read
// without a lock or a system call.
thread_local const char t_thread_marker = 0;

const void *retain_listener(const void *info) {
    static_cast<AUListenerBase *>(const_cast<void *>(info))->references.fetch_add(1, std::memory_order_relaxed);
    return info;
}

void release_listener(const void *info) {
    auto *listener = static_cast<AUListenerBase *>(const_cast<void *>(info));
    if (listener->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (listener->run_loop) CFRelease(listener->run_loop);
    if (listener->mode) CFRelease(listener->mode);
    delete listener->published.load();
    delete listener;
}

struct Delivery {
    void *object;
    AudioUnitEvent event;
    AudioUnitParameterValue value;
    UInt64 host_time;
    uint32_t arrival;  // parameter events: their order of first arrival
};

// One delivery's events, contiguous so that they can be sorted. Up to 32 (two effects' worth of
// parameters) are gathered on the stack, so that a delivery made on a real-time thread (a plug-in
// running its detached run loop inside its host's audio callback) allocates nothing.
class Batch {
public:
    void push_back(const Delivery &d) {
        if (_more.empty() && _count < kInline) {
            _inline[_count++] = d;
            return;
        }
        if (_more.empty()) _more.assign(_inline, _inline + _count);
        _more.push_back(d);
        ++_count;
    }
    Delivery *begin() { return _more.empty() ? _inline : _more.data(); }
    Delivery *end() { return begin() + _count; }

private:
    static constexpr size_t kInline = 32;
    Delivery _inline[kInline];
    std::vector<Delivery> _more;
    size_t _count = 0;
};

// [the listener's run loop] Takes everything waiting for the listener, parameter events in
// arrival order, then flagged properties in registration order. The copy of the registrations is
// read as a counted reader and left before any callback runs, so a callback may change them.
void take_pending(AUListenerBase *listener, Batch &batch) {
    platform::au::ReadingPublished reading;
    const platform::au::ListenerRegistrations *mine = listener->published.load();
    if (!mine) return;
    for (ParameterRegistration *r : mine->parameters) {
        if (r->pending.load(std::memory_order_relaxed) == 0) continue;
        // Value and arrival leave together, so a change made after this is a new event with a
        // newer value: nothing is delivered twice or out of order.
        const uint64_t taken = r->pending.exchange(0, std::memory_order_acquire);
        if (taken == 0) continue;
        AudioUnitEvent event{};
        event.mEventType = r->type;
        event.mArgument.mParameter = r->parameter;
        batch.push_back({r->object, event, std::bit_cast<AudioUnitParameterValue>(static_cast<uint32_t>(taken)),
                         r->host_time.load(std::memory_order_relaxed), static_cast<uint32_t>(taken >> 32)});
    }
    // Arrival numbers wrap; the ones waiting together lie within half the range of each other.
    std::sort(batch.begin(), batch.end(), [](const Delivery &a, const Delivery &b) {
        return static_cast<int32_t>(a.arrival - b.arrival) < 0;
    });
    const UInt64 now = platform::au::host_time_now();
    for (PropertyRegistration *r : mine->properties) {
        if (!r->pending.exchange(false, std::memory_order_acquire)) continue;
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_PropertyChange;
        event.mArgument.mProperty = r->property;
        batch.push_back({r->object, event, 0.0f, now, 0});
    }
}

// [the listener's run loop] The source's perform: delivers everything pending so far. Takes no
// lock: only this run loop's runner consumes the listener's events. It marks itself delivering
// before it reads `disposed`, and Dispose sets `disposed` before it reads the mark (both
// sequentially consistent), so either this sees the dispose and calls nothing, or Dispose sees
// the delivery and waits for it to end.
void deliver(void *info) {
    auto *listener = static_cast<AUListenerBase *>(info);
    retain_listener(listener);
    // A callback that runs its own run loop may come back here on this thread: the outer mark is
    // put back when the inner delivery ends.
    const void *outer = listener->delivering.exchange(&t_thread_marker);
    if (!listener->disposed.load()) {
        Batch batch;
        take_pending(listener, batch);
        // The callback may dispose this listener (or set parameters that make more events pending
        // for it: those wait for the next run, the source having been signalled again).
        for (const Delivery &d : batch) {
            if (listener->disposed.load()) break;
            listener->proc(listener->refcon, d.object, &d.event, d.host_time, d.value);
        }
    }
    listener->delivering.store(outer);
    release_listener(listener);
}

bool valid_seconds(Float32 value) { return std::isfinite(value) && value >= 0.0f; }

bool is_parameter_event(AudioUnitEventType type) {
    return type == kAudioUnitEvent_ParameterValueChange || type == kAudioUnitEvent_BeginParameterChangeGesture ||
           type == kAudioUnitEvent_EndParameterChangeGesture;
}

// Under the service mutex: the registration index of (listener, object, event), or -1.
long find_parameter_registration(AUListenerBase *listener, void *object, const AudioUnitEvent &event) {
    const auto &list = service().parameters;
    for (size_t i = 0; i < list.size(); ++i) {
        const ParameterRegistration &r = *list[i];
        if (r.listener == listener && r.object == object && r.type == event.mEventType &&
            platform::au::same_parameter(r.parameter, event.mArgument.mParameter))
            return static_cast<long>(i);
    }
    return -1;
}

OSStatus add_property_event(AUListenerBase *listener, void *object, const AudioUnitProperty &property) {
    {
        std::lock_guard<std::mutex> lock(service().mutex);
        for (const auto &r : listener->properties)
            if (r->object == object && platform::au::same_property(r->property, property)) return noErr;
    }
    auto registration = std::make_unique<PropertyRegistration>();
    registration->listener = listener;
    registration->object = object;
    registration->property = property;
    registration->source = listener->source;
    // The unit may announce as soon as this returns; the flag it sets is picked up once the
    // registration is published below.
    const OSStatus status = AudioUnitAddPropertyListener(property.mAudioUnit, property.mPropertyID,
                                                         platform::au::property_trampoline, registration.get());
    if (status != noErr) return status;
    std::lock_guard<std::mutex> lock(service().mutex);
    listener->properties.push_back(std::move(registration));
    platform::au::publish_registrations(listener);
    return noErr;
}

OSStatus remove_property_event(AUListenerBase *listener, void *object, const AudioUnitProperty &property) {
    std::unique_ptr<PropertyRegistration> removed;
    {
        std::lock_guard<std::mutex> lock(service().mutex);
        for (auto it = listener->properties.begin(); it != listener->properties.end(); ++it) {
            if ((*it)->object == object && platform::au::same_property((*it)->property, property)) {
                removed = std::move(*it);
                listener->properties.erase(it);
                break;
            }
        }
        if (removed) platform::au::publish_registrations(listener);
    }
    if (!removed) return noErr;  // removing what is not registered changes nothing
    // Once the unit has let go of the registration it never calls the trampoline with it again
    // (a unit's removal waits for an announcement in progress), and no deliverer reads it since
    // it was unpublished, so the record can go.
    return AudioUnitRemovePropertyListenerWithUserData(property.mAudioUnit, property.mPropertyID,
                                                       platform::au::property_trampoline, removed.get());
}

}  // namespace

extern "C" {

// [control thread]
OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void *inCallbackRefCon, CFRunLoopRef inRunLoop,
                               CFStringRef inRunLoopMode, Float32 inNotificationInterval,
                               Float32 inValueChangeGranularity, AUEventListenerRef *outListener) {
    if (!outListener) return paramErr;
    *outListener = nullptr;
    if (!inProc || !valid_seconds(inNotificationInterval) || !valid_seconds(inValueChangeGranularity)) return paramErr;
    auto *listener = new (std::nothrow) AUListenerBase;
    if (!listener) return memFullErr;
    listener->proc = inProc;
    listener->refcon = inCallbackRefCon;
    // Without a run loop the listener delivers on the calling thread's, the one a host that
    // passes NULL is most likely to run.
    listener->run_loop = static_cast<CFRunLoopRef>(const_cast<void *>(CFRetain(inRunLoop ? inRunLoop : CFRunLoopGetCurrent())));
    listener->mode = static_cast<CFStringRef>(CFRetain(inRunLoopMode ? inRunLoopMode : kCFRunLoopDefaultMode));
    listener->notification_interval_s = inNotificationInterval;
    listener->granularity_s = inValueChangeGranularity;

    CFRunLoopSourceContext context{};
    context.version = 0;
    context.info = listener;
    context.retain = retain_listener;
    context.release = release_listener;
    context.perform = deliver;
    listener->source = CFRunLoopSourceCreate(nullptr, 0, &context);
    if (!listener->source) {
        release_listener(listener);
        return memFullErr;
    }
    CFRunLoopAddSource(listener->run_loop, listener->source, listener->mode);
    {
        std::lock_guard<std::mutex> lock(service().mutex);
        service().listeners.push_back(listener);
    }
    *outListener = listener;
    return noErr;
}

// [control thread, or the listener's own callback]
OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void *inObject, const AudioUnitEvent *inEvent) {
    if (!inListener || !inEvent) return paramErr;
    std::lock_guard<std::mutex> edit(inListener->edit_mutex);
    if (inListener->disposed.load()) return paramErr;
    if (inEvent->mEventType == kAudioUnitEvent_PropertyChange) {
        if (!inEvent->mArgument.mProperty.mAudioUnit) return paramErr;
        return add_property_event(inListener, inObject, inEvent->mArgument.mProperty);
    }
    if (!is_parameter_event(inEvent->mEventType) || !inEvent->mArgument.mParameter.mAudioUnit) return paramErr;
    std::lock_guard<std::mutex> lock(service().mutex);
    // Adding what is already registered changes nothing: one registration, one callback per change.
    if (find_parameter_registration(inListener, inObject, *inEvent) < 0) {
        auto registration = std::make_unique<ParameterRegistration>();
        registration->listener = inListener;
        registration->object = inObject;
        registration->type = inEvent->mEventType;
        registration->parameter = inEvent->mArgument.mParameter;
        service().parameters.push_back(std::move(registration));
        platform::au::publish_registrations(inListener);
    }
    return noErr;
}

// [control thread, or the listener's own callback] An event of the removed type still pending is
// dropped with it.
OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void *inObject, const AudioUnitEvent *inEvent) {
    if (!inListener || !inEvent) return paramErr;
    std::lock_guard<std::mutex> edit(inListener->edit_mutex);
    if (inListener->disposed.load()) return paramErr;
    if (inEvent->mEventType == kAudioUnitEvent_PropertyChange)
        return remove_property_event(inListener, inObject, inEvent->mArgument.mProperty);
    if (!is_parameter_event(inEvent->mEventType)) return paramErr;
    std::lock_guard<std::mutex> lock(service().mutex);
    const long index = find_parameter_registration(inListener, inObject, *inEvent);
    if (index < 0) return noErr;
    std::vector<std::unique_ptr<ParameterRegistration>> retired;
    retired.push_back(std::move(service().parameters[static_cast<size_t>(index)]));
    service().parameters.erase(service().parameters.begin() + index);
    platform::au::publish_registrations(inListener, std::move(retired));
    return noErr;
}

// [any thread, the listener's own callback included] After this returns the callback is not
// called again: the listener leaves every registration (what was pending goes with them), a
// delivery running on another thread is waited for (one running further up this thread's stack
// stops after the current callback), and its source is invalidated.
OSStatus AUListenerDispose(AUParameterListenerRef inListener) {
    if (!inListener) return paramErr;
    AUListenerBase *listener = inListener;
    std::vector<std::unique_ptr<PropertyRegistration>> properties;
    {
        std::lock_guard<std::mutex> edit(listener->edit_mutex);
        if (listener->disposed.exchange(true)) return paramErr;
        {
            std::lock_guard<std::mutex> lock(service().mutex);
            std::vector<std::unique_ptr<ParameterRegistration>> retired;
            for (auto &r : service().parameters)
                if (r->listener == listener) retired.push_back(std::move(r));
            std::erase(service().parameters, nullptr);
            std::erase(service().listeners, listener);
            properties.swap(listener->properties);
            platform::au::publish_registrations(listener, std::move(retired));
        }
        for (const auto &r : properties)
            AudioUnitRemovePropertyListenerWithUserData(r->property.mAudioUnit, r->property.mPropertyID,
                                                        platform::au::property_trampoline, r.get());
    }
    // `disposed` is set; a delivery that marked itself before seeing it ends after its current
    // callback. Control threads only come here, so waiting by yielding is fine.
    for (;;) {
        const void *delivering = listener->delivering.load();
        if (delivering == nullptr || delivering == &t_thread_marker) break;
        std::this_thread::yield();
    }
    CFRunLoopSourceInvalidate(listener->source);
    properties.clear();
    CFRelease(listener->source);  // frees the source's reference to the listener once the run loop lets go
    release_listener(listener);   // the host's reference
    return noErr;
}

}  // extern "C"
