// The event-listener service of <AudioToolbox/AudioUnitUtilities.h>: listeners, their
// registrations and queues. Internal to libauplatform.so.
//
// Threads and locks, in the only order they are ever nested (senders of parameter events take only
// the queue_mutex of each listener they queue for; see Service::published):
//   delivery_mutex (per listener, recursive; held while its callback runs on its run loop)
//   -> edit_mutex (per listener; serialises AddEventType, RemoveEventType and Dispose)
//   -> Service::mutex (process-wide; the parameter registrations and the listener list)
//   -> queue_mutex (per listener; its pending parameter events and property registrations)
// No lock is held while calling into a unit, so a unit may call back into the service (the
// effect notifies its own parameters from inside Initialize). The audio render thread takes
// none of them: a unit announcing a property calls property_trampoline, which only stores an
// atomic flag and signals the run-loop source.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::au {

// One property-change event type of one listener. Preallocated at AddEventType and handed to the
// unit as the property listener's user data, so an announcement needs nothing but this record.
struct PropertyRegistration {
    AUListenerBase *listener = nullptr;
    void *object = nullptr;
    AudioUnitProperty property{};
    CFRunLoopSourceRef source = nullptr;  // the listener's; outlives the unit registration
    std::atomic<bool> pending{false};     // [any thread, the render thread included] set; [run loop] cleared
};

// A parameter event waiting for delivery. Changes of one (object, event) collapse into one entry
// that keeps its first-arrival position and takes the latest value.
struct PendingParameter {
    void *object;
    AudioUnitEvent event;
    AudioUnitParameterValue value;
    UInt64 host_time;
};

// A parameter event type of one listener (value change, gesture begin or end).
struct ParameterRegistration {
    AUListenerBase *listener;
    void *object;
    AudioUnitEventType type;
    AudioUnitParameter parameter;
};

struct Service {
    std::mutex mutex;
    std::vector<ParameterRegistration> parameters;  // guarded by mutex; in order of registration
    std::vector<AUListenerBase *> listeners;        // guarded by mutex; every listener not yet disposed
    // What senders of parameter events read: a copy of `parameters`, published anew after every
    // change. A plug-in sends from its audio thread (AUParameterSet in an LV2 run()), so senders
    // take no lock here: they count themselves in `readers`, and a writer frees the copy it
    // replaced only once no sender is reading.
    std::atomic<const std::vector<ParameterRegistration> *> published{nullptr};
    std::atomic<int> readers{0};
};
Service &service();

// Under Service::mutex, after every change of Service::parameters and before taking any
// listener's queue_mutex (a sender still reading the old copy may be waiting for one).
void publish_parameters();

bool same_parameter(const AudioUnitParameter &a, const AudioUnitParameter &b);
bool same_property(const AudioUnitProperty &a, const AudioUnitProperty &b);
UInt64 host_time_now();

// The unit-side property listener of every property registration. [any thread, render included]
void property_trampoline(void *registration, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element);

// Called by AudioComponentInstanceDispose once the unit has closed: forgets every registration
// and every queued event that names it, so no listener calls into or reports a dead unit.
// [control thread]
void forget_unit_listeners(AudioUnit unit);

}  // namespace platform::au

// The listener behind AUEventListenerRef. Reference counted: the host's handle holds one
// reference until AUListenerDispose, the run-loop source another until the source is freed, and a
// delivery in progress a third, so a listener disposed from inside its own callback outlives it.
struct AUListenerBase {
    AUEventListenerProc proc = nullptr;
    void *refcon = nullptr;
    CFRunLoopRef run_loop = nullptr;
    CFStringRef mode = nullptr;
    CFRunLoopSourceRef source = nullptr;
    Float32 notification_interval_s = 0;
    Float32 granularity_s = 0;

    std::atomic<int> references{1};
    std::atomic<bool> disposed{false};
    std::recursive_mutex delivery_mutex;
    std::mutex edit_mutex;
    std::mutex queue_mutex;
    std::vector<platform::au::PendingParameter> pending;  // guarded by queue_mutex
    std::vector<std::unique_ptr<platform::au::PropertyRegistration>> properties;  // guarded by queue_mutex
};
