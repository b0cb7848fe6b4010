// Parameters named on the command line: "NAME=VALUE" assignments and "NAME=T:V,T:V" automation,
// resolved against the table the host read from the effect.
#pragma once

#include "effect_host.h"

#include "host/automation.h"

#include <string>
#include <vector>

namespace zentrova_cli {

struct assignment {
    AudioUnitParameterID id;
    float value;
};

// Breakpoints, and the value at a block's start, as every host here steps them.
using host::automation;
using host::automation_point;

// A parameter by id ("3") or by name ("Start Formant"; case is not significant).
const parameter_description &find_parameter(const std::vector<parameter_description> &table, const std::string &key);

// A number within the parameter's range, or for a menu parameter one of its value strings.
float parse_value(const parameter_description &parameter, const std::string &text);

assignment parse_assignment(const std::vector<parameter_description> &table, const std::string &text);
automation parse_automation(const std::vector<parameter_description> &table, const std::string &text);

// "0.333", "-12", "Sweep Up": how a value reads back to the user.
std::string format_value(const parameter_description &parameter, float value);

}  // namespace zentrova_cli
