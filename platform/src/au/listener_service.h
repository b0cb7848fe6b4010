// The event-listener service of <AudioToolbox/AudioUnitUtilities.h>: listeners, their
// registrations and pending events. Internal to libauplatform.so.
//
// Sending and delivering take no lock, because both happen on audio threads: a plug-in calls
// AUParameterSet from its host's audio callback (an LV2 run()) and then runs its own detached run
// loop there, which delivers to the instance's listener.
//
// - Pending events live in the registrations themselves. Parameter events of one registration
//   coalesce to the latest value anyway, so each registration holds one atomic word: the latest
//   value and, while it waits, its arrival number. A sender sets the word with a compare-and-swap
//   (lock-free: it retries only when another sender or the deliverer changed the same word in
//   between, so a plug-in that sets and delivers on one thread never retries); the deliverer
//   takes each waiting word with an exchange (wait-free) and sorts what it took by arrival, so
//   deliveries keep a deterministic first-arrival order without any queue to overflow. Property
//   events are one atomic flag per registration.
// - Registrations change only on control threads, under Service::mutex, which publishes immutable
//   copies: one of every parameter registration for senders, and one per listener for its
//   deliverer. Readers of a copy count themselves in Service::readers; a writer frees a copy (and
//   the registrations it alone named) only once no reader is counted.
// - Only the thread running the listener's run loop consumes its events (its source's perform),
//   so nothing else needs excluding. Dispose excludes a delivery on another thread by a flag and
//   a "delivering" marker that each side sets before it reads the other's (see AUListenerDispose).
//
// Locks, in the only order they are ever nested, both on control threads only:
//   edit_mutex (per listener; serialises AddEventType, RemoveEventType and Dispose)
//   -> Service::mutex (process-wide; registrations, the listener list, publishing)
// No lock is held while calling into a unit or a callback, so a unit may call back into the
// service (the effect notifies its own parameters from inside Initialize), and a callback may add,
// remove or dispose.
#pragma once

#include <AudioToolbox/AudioUnitUtilities.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::au {

// One parameter event type (value change, gesture begin or end) of one listener for one object,
// with the event waiting for it. The pending word packs the latest value (low 32 bits, the
// float's bits) and the arrival number (high 32 bits; 0 while nothing waits).
struct ParameterRegistration {
    AUListenerBase *listener = nullptr;
    void *object = nullptr;
    AudioUnitEventType type{};
    AudioUnitParameter parameter{};
    std::atomic<uint64_t> pending{0};    // [senders] set; [the listener's run loop] taken
    std::atomic<UInt64> host_time{0};    // of the latest change; advisory, written before `pending`
};

// One property-change event type of one listener. Handed to the unit as the property listener's
// user data, so an announcement needs nothing but this record.
struct PropertyRegistration {
    AUListenerBase *listener = nullptr;
    void *object = nullptr;
    AudioUnitProperty property{};
    CFRunLoopSourceRef source = nullptr;  // the listener's; outlives the unit registration
    std::atomic<bool> pending{false};     // [any thread, the render thread included] set; [run loop] cleared
};

// What one listener's deliverer reads: its registrations, each list in registration order.
struct ListenerRegistrations {
    std::vector<ParameterRegistration *> parameters;
    std::vector<PropertyRegistration *> properties;
};

struct Service {
    std::mutex mutex;
    // Guarded by mutex, in order of registration: every parameter registration, and every
    // listener not yet disposed. Property registrations are owned by their listener.
    std::vector<std::unique_ptr<ParameterRegistration>> parameters;
    std::vector<AUListenerBase *> listeners;
    // What senders read: every parameter registration, published anew after every change.
    std::atomic<const std::vector<ParameterRegistration *> *> published{nullptr};
    std::atomic<int> readers{0};
};
Service &service();

// Counts the calling thread in as a reader of published copies for its lifetime. [any thread]
class ReadingPublished {
public:
    ReadingPublished() { service().readers.fetch_add(1); }
    ~ReadingPublished() { service().readers.fetch_sub(1); }
    ReadingPublished(const ReadingPublished &) = delete;
    ReadingPublished &operator=(const ReadingPublished &) = delete;
};

// Under Service::mutex, after a change of the registrations of `changed` (every listener's when
// null): publishes new copies, waits until no reader can see the old ones, frees them, and then
// frees `retired`, registrations already taken out of every list. Must not be called while the
// calling thread is counted as a reader.
void publish_registrations(AUListenerBase *changed,
                           std::vector<std::unique_ptr<ParameterRegistration>> retired = {});

bool same_parameter(const AudioUnitParameter &a, const AudioUnitParameter &b);
bool same_property(const AudioUnitProperty &a, const AudioUnitProperty &b);
UInt64 host_time_now();

// The unit-side property listener of every property registration. [any thread, render included]
void property_trampoline(void *registration, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                         AudioUnitElement element);

// Called by AudioComponentInstanceDispose once the unit has closed: forgets every registration
// that names it, and with them what waits for delivery, so no listener calls into or reports a
// dead unit. [control thread]
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
    // The thread delivering right now (its marker's address), or null. [the run loop] set; [Dispose] read
    std::atomic<const void *> delivering{nullptr};
    std::atomic<uint32_t> next_arrival{1};  // [senders] the arrival numbers of pending events
    std::mutex edit_mutex;
    std::vector<std::unique_ptr<platform::au::PropertyRegistration>> properties;  // guarded by Service::mutex
    // What the deliverer reads; replaced under Service::mutex, freed like the senders' copy.
    std::atomic<const platform::au::ListenerRegistrations *> published{nullptr};
};
