// The root of every component instance, and the conversion of failures into statuses.
#pragma once

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <mutex>

class ComponentBase {
public:
    explicit ComponentBase(AudioComponentInstance instance) : componentInstance_(instance) {}
    virtual ~ComponentBase() = default;
    ComponentBase(const ComponentBase &) = delete;
    ComponentBase &operator=(const ComponentBase &) = delete;

    virtual void PostConstructor() {}
    virtual void PreDestructor() {}
    virtual OSStatus Version() { return 1; }

    AudioComponentInstance GetComponentInstance() const { return componentInstance_; }

    // The dispatcher of the component selectors (Close, CanDo, Version); any other selector is
    // badComponentSelector. Close destroys `self`.
    static OSStatus ComponentEntryDispatch(ComponentParameters *params, ComponentBase *self);

    // Open runs under this one process-wide mutex, so no two instances are constructed at once.
    static std::mutex &OpenMutex();

    // The status of the exception being handled (call only inside a catch block): out of memory ->
    // memFullErr, a thrown 32-bit status -> itself, a thrown 16-bit status -> sign-extended,
    // anything else -> -1.
    static OSStatus CurrentExceptionStatus() noexcept;

    // Runs `body` and converts whatever it throws into a status.
    template <class F> static OSStatus Guard(F &&body) noexcept {
        try {
            return body();
        } catch (...) {
            return CurrentExceptionStatus();
        }
    }

private:
    AudioComponentInstance componentInstance_;
};
