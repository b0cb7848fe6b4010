// A unit's parameters as a host describes them to its user: names, units, ranges, defaults and
// the items of indexed parameters' menus, read through the parameter properties. [control thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace host {

struct parameter_description {
    AudioUnitParameterID id = 0;
    std::string name;
    AudioUnitParameterUnit unit = 0;
    AudioUnitParameterOptions flags = 0;
    float minimum = 0, maximum = 0, default_value = 0;
    // The menu of an indexed parameter, item i for value i; empty for continuous parameters and
    // for indexed ones that name no values.
    std::vector<std::string> value_strings;
};

// A request the unit refused: what was asked, and the status it answered.
struct status_error : std::runtime_error {
    status_error(const std::string &what, OSStatus status);
    OSStatus status;
};

// Every global-scope parameter, in the order of the unit's parameter list. Throws status_error
// when the list or a parameter's information cannot be read.
std::vector<parameter_description> read_parameters(AudioUnit unit);

}  // namespace host
