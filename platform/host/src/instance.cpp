#include "host/instance.h"

#include <utility>

namespace host {

instance::instance(AudioComponent component) noexcept : _status(AudioComponentInstanceNew(component, &_unit)) {
    if (_status != noErr) _unit = nullptr;
}

instance::instance(instance &&other) noexcept
    : _unit(std::exchange(other._unit, nullptr)), _status(std::exchange(other._status, badComponentInstance)) {}

instance &instance::operator=(instance &&other) noexcept {
    if (this != &other) {
        reset();
        _unit = std::exchange(other._unit, nullptr);
        _status = std::exchange(other._status, badComponentInstance);
    }
    return *this;
}

void instance::reset() noexcept {
    if (_unit != nullptr) AudioComponentInstanceDispose(_unit);
    _unit = nullptr;
    _status = badComponentInstance;
}

}  // namespace host
