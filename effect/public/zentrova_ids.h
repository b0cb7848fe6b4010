// The effect's public face to hosts and to its editor: the numbers a host or the editor uses to
// address Zentrova's parameters and its own property. Constants only, with no dependency, so that
// hosts (tools/, lv2/) and the editor (view/) can name them without seeing the effect's classes.
#pragma once

#include <cstdint>

namespace zentrova {

// Global scope, element 0. Each id is the parameter's position in the effect's table.
enum parameter_id : std::uint32_t {
    k_dry_output_level = 0,
    k_formant_level = 1,
    k_formant_filter_type = 2,
    k_start_formant = 3,
    k_middle_formant = 4,
    k_end_formant = 5,
    k_formant_resonance = 6,
    k_formant_filter_drive = 7,
    k_envelope_type = 8,
    k_follower_attack_time = 9,
    k_follower_release_time = 10,
    k_envelope_shape = 11,
    k_trigger_sensitivity = 12,
    k_envelope_attack = 13,
    k_envelope_release = 14,
    k_midi_control = 15,
    k_parameter_count = 16
};

// The level read-out: the input follower's level as a Float64 (linear amplitude), global scope;
// its listeners hear of it every 27th rendered block.
inline constexpr std::uint32_t k_follower_level_property = 80110;

}  // namespace zentrova
