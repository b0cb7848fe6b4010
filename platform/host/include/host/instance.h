// An open instance of a component, owned: disposed with the object, never copied. [control thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

namespace host {

class instance {
public:
    instance() = default;
    // Opens an instance of `component`; when it does not open, the object is empty and status()
    // says why.
    explicit instance(AudioComponent component) noexcept;
    ~instance() { reset(); }
    instance(instance &&other) noexcept;
    instance &operator=(instance &&other) noexcept;

    AudioUnit get() const noexcept { return _unit; }
    operator AudioUnit() const noexcept { return _unit; }
    OSStatus status() const noexcept { return _status; }

    // Disposes the instance now; the object is empty afterwards.
    void reset() noexcept;

private:
    AudioUnit _unit = nullptr;
    OSStatus _status = badComponentInstance;
};

}  // namespace host
