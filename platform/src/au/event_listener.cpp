// Listeners: creation, event-type registration, delivery on the listener's run loop, disposal.
//
// Delivery and coalescing. Events wait in the listener's queue until its run loop next runs the
// listener's source, and are then all delivered at once, with no timer in between: an offline
// host that runs its run loop with a zero timeout after setting parameters sees every change
// before it renders. What waits collapses: all changes of one parameter (for one registered
// object) since the last delivery become one callback with the latest value, in the position of
// the first of them, so deliveries come in a deterministic first-arrival order; then every
// property registration flagged since the last delivery is called once, in registration order.
// The notification interval and value granularity therefore bound nothing further here: a change
// never waits longer than the next run of the loop (property changes announced from the render
// thread, which cannot wake the loop, wait at most until its next poll). They are checked and
// kept, so that a host passing nonsense hears about it.
#include "au/listener_service.h"

#include <cmath>
#include <new>

using platform::au::PendingParameter;
using platform::au::PropertyRegistration;
using platform::au::service;

namespace {

const void *retain_listener(const void *info) {
    static_cast<AUListenerBase *>(const_cast<void *>(info))->references.fetch_add(1, std::memory_order_relaxed);
    return info;
}

void release_listener(const void *info) {
    auto *listener = static_cast<AUListenerBase *>(const_cast<void *>(info));
    if (listener->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (listener->run_loop) CFRelease(listener->run_loop);
    if (listener->mode) CFRelease(listener->mode);
    delete listener;
}

struct Delivery {
    void *object;
    AudioUnitEvent event;
    AudioUnitParameterValue value;
    UInt64 host_time;
};

// One delivery's events. Up to 32 (two effects' worth of parameters) are gathered on the stack,
// so that a delivery made on a real-time thread (a plug-in running its detached run loop inside
// its host's audio callback) allocates nothing.
class Batch {
public:
    void push_back(const Delivery &d) {
        if (_count < kInline) _inline[_count] = d;
        else _more.push_back(d);
        ++_count;
    }
    const Delivery &operator[](size_t i) const { return i < kInline ? _inline[i] : _more[i - kInline]; }
    size_t size() const { return _count; }

private:
    static constexpr size_t kInline = 32;
    Delivery _inline[kInline];
    std::vector<Delivery> _more;
    size_t _count = 0;
};

// [the listener's run loop] The source's perform: delivers everything queued so far.
void deliver(void *info) {
    auto *listener = static_cast<AUListenerBase *>(info);
    retain_listener(listener);
    {
        std::lock_guard<std::recursive_mutex> delivering(listener->delivery_mutex);
        if (!listener->disposed.load()) {
            Batch batch;
            {
                std::lock_guard<std::mutex> queue(listener->queue_mutex);
                for (const PendingParameter &p : listener->pending)
                    batch.push_back({p.object, p.event, p.value, p.host_time});
                listener->pending.clear();
                const UInt64 now = platform::au::host_time_now();
                for (const auto &registration : listener->properties) {
                    if (!registration->pending.exchange(false, std::memory_order_acquire)) continue;
                    AudioUnitEvent event{};
                    event.mEventType = kAudioUnitEvent_PropertyChange;
                    event.mArgument.mProperty = registration->property;
                    batch.push_back({registration->object, event, 0.0f, now});
                }
            }
            // The callback may dispose this listener (or set parameters that queue more events
            // for it: those wait for the next run, the source having been signalled again).
            for (size_t i = 0; i < batch.size(); ++i) {
                const Delivery &d = batch[i];
                if (listener->disposed.load()) break;
                listener->proc(listener->refcon, d.object, &d.event, d.host_time, d.value);
            }
        }
    }
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
        const auto &r = list[i];
        if (r.listener == listener && r.object == object && r.type == event.mEventType &&
            platform::au::same_parameter(r.parameter, event.mArgument.mParameter))
            return static_cast<long>(i);
    }
    return -1;
}

OSStatus add_property_event(AUListenerBase *listener, void *object, const AudioUnitProperty &property) {
    {
        std::lock_guard<std::mutex> queue(listener->queue_mutex);
        for (const auto &r : listener->properties)
            if (r->object == object && platform::au::same_property(r->property, property)) return noErr;
    }
    auto registration = std::make_unique<PropertyRegistration>();
    registration->listener = listener;
    registration->object = object;
    registration->property = property;
    registration->source = listener->source;
    // The unit may announce as soon as this returns; the flag it sets is picked up once the
    // registration is in the listener's list below.
    const OSStatus status = AudioUnitAddPropertyListener(property.mAudioUnit, property.mPropertyID,
                                                         platform::au::property_trampoline, registration.get());
    if (status != noErr) return status;
    std::lock_guard<std::mutex> lock(service().mutex);
    std::lock_guard<std::mutex> queue(listener->queue_mutex);
    listener->properties.push_back(std::move(registration));
    return noErr;
}

OSStatus remove_property_event(AUListenerBase *listener, void *object, const AudioUnitProperty &property) {
    std::unique_ptr<PropertyRegistration> removed;
    {
        std::lock_guard<std::mutex> lock(service().mutex);
        std::lock_guard<std::mutex> queue(listener->queue_mutex);
        for (auto it = listener->properties.begin(); it != listener->properties.end(); ++it) {
            if ((*it)->object == object && platform::au::same_property((*it)->property, property)) {
                removed = std::move(*it);
                listener->properties.erase(it);
                break;
            }
        }
    }
    if (!removed) return noErr;  // removing what is not registered changes nothing
    // Once the unit has let go of the registration it never calls the trampoline with it again
    // (a unit's removal waits for an announcement in progress), so the record can go.
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
    listener->pending.reserve(32);

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
        service().parameters.push_back({inListener, inObject, inEvent->mEventType, inEvent->mArgument.mParameter});
        platform::au::publish_parameters();
    }
    return noErr;
}

// [control thread, or the listener's own callback] Events of the removed type still queued are
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
    service().parameters.erase(service().parameters.begin() + index);
    platform::au::publish_parameters();
    std::lock_guard<std::mutex> queue(inListener->queue_mutex);
    std::erase_if(inListener->pending, [&](const PendingParameter &p) {
        return p.object == inObject && p.event.mEventType == inEvent->mEventType &&
               platform::au::same_parameter(p.event.mArgument.mParameter, inEvent->mArgument.mParameter);
    });
    return noErr;
}

// [any thread, the listener's own callback included] After this returns the callback is not
// called again: the listener leaves every registration, its queue is emptied, a delivery running
// on another thread is waited for (one running further up this thread's stack stops after the
// current callback), and its source is invalidated.
OSStatus AUListenerDispose(AUParameterListenerRef inListener) {
    if (!inListener) return paramErr;
    AUListenerBase *listener = inListener;
    std::vector<std::unique_ptr<PropertyRegistration>> properties;
    {
        std::lock_guard<std::mutex> edit(listener->edit_mutex);
        if (listener->disposed.exchange(true)) return paramErr;
        {
            std::lock_guard<std::mutex> lock(service().mutex);
            std::erase_if(service().parameters, [&](const auto &r) { return r.listener == listener; });
            platform::au::publish_parameters();
            std::erase(service().listeners, listener);
            std::lock_guard<std::mutex> queue(listener->queue_mutex);
            listener->pending.clear();
            properties.swap(listener->properties);
        }
        for (const auto &r : properties)
            AudioUnitRemovePropertyListenerWithUserData(r->property.mAudioUnit, r->property.mPropertyID,
                                                        platform::au::property_trampoline, r.get());
    }
    {
        std::lock_guard<std::recursive_mutex> delivering(listener->delivery_mutex);
        CFRunLoopSourceInvalidate(listener->source);
    }
    properties.clear();
    CFRelease(listener->source);  // frees the source's reference to the listener once the run loop lets go
    release_listener(listener);   // the host's reference
    return noErr;
}

}  // extern "C"
