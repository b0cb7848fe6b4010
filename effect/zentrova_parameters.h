// The effect's sixteen parameters: one constant table from which the parameter information,
// the value strings and the defaults stored at construction are all derived.
#pragma once

#include "zentrova_ids.h"

#include <AudioUnit/AudioUnit.h>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace zentrova {

inline constexpr std::array<std::string_view, 8> filter_type_names = {
    "One Stage LP", "Two Stage LP", "Three Stage LP", "Four Stage LP",
    "One Stage BP", "Two Stage BP", "Three Stage BP", "Four Stage BP"};

inline constexpr std::array<std::string_view, 10> vowel_names = {
    "EE", "OO", "I", "U", "ER", "UH", "E", "OW", "AE", "A"};

inline constexpr std::array<std::string_view, 5> envelope_type_names = {
    "None", "Sweep Up", "Sweep Down", "Track", "MIDI"};

struct parameter_definition {
    AudioUnitParameterID id;
    std::string_view name;
    AudioUnitParameterUnit unit;
    float minimum;
    float maximum;
    float default_value;
    std::span<const std::string_view> value_strings;  // empty for continuous parameters
};

// Defaults are float literals on purpose: 0.6f and 0.333f are the stored values (not 3/5 or 1/3
// in double precision). "Follwer" is the name hosts have saved automation and documents under.
inline constexpr std::array<parameter_definition, k_parameter_count> parameters = {{
    {k_dry_output_level, "Dry Output Level", kAudioUnitParameterUnit_Decibels, -80.0f, 0.0f, -80.0f, {}},
    {k_formant_level, "Formant Level", kAudioUnitParameterUnit_Decibels, -80.0f, 0.0f, 0.0f, {}},
    {k_formant_filter_type, "Formant Filter Type", kAudioUnitParameterUnit_Indexed, 0.0f, 7.0f, 0.0f, filter_type_names},
    {k_start_formant, "Start Formant", kAudioUnitParameterUnit_Indexed, 0.0f, 9.0f, 0.0f, vowel_names},
    {k_middle_formant, "Middle Formant", kAudioUnitParameterUnit_Indexed, 0.0f, 9.0f, 1.0f, vowel_names},
    {k_end_formant, "End Formant", kAudioUnitParameterUnit_Indexed, 0.0f, 9.0f, 2.0f, vowel_names},
    {k_formant_resonance, "Formant Resonance", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.6f, {}},
    {k_formant_filter_drive, "Formant Filter Drive", kAudioUnitParameterUnit_LinearGain, 0.0f, 1.0f, 0.333f, {}},
    {k_envelope_type, "Envelope Type", kAudioUnitParameterUnit_Indexed, 0.0f, 4.0f, 0.0f, envelope_type_names},
    {k_follower_attack_time, "Follower Attack Time", kAudioUnitParameterUnit_Milliseconds, 0.0f, 2000.0f, 250.0f, {}},
    {k_follower_release_time, "Follwer Release Time", kAudioUnitParameterUnit_Milliseconds, 0.0f, 2000.0f, 250.0f, {}},
    {k_envelope_shape, "Envelope Shape", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.25f, {}},
    {k_trigger_sensitivity, "Trigger Sensitivity", kAudioUnitParameterUnit_Decibels, -80.0f, 0.0f, -12.0f, {}},
    {k_envelope_attack, "Envelope Attack", kAudioUnitParameterUnit_Milliseconds, 0.0f, 20000.0f, 250.0f, {}},
    {k_envelope_release, "Envelope Release", kAudioUnitParameterUnit_Milliseconds, 0.0f, 20000.0f, 250.0f, {}},
    {k_midi_control, "MIDI Control", kAudioUnitParameterUnit_Generic, 0.0f, 1.0f, 0.0f, {}},
}};

constexpr bool ids_match_positions() {
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].id != i) return false;
    return true;
}
static_assert(ids_match_positions(), "each parameter's id is its position in the table");

// The host requests that describe the table. Both answer on any host thread.
OSStatus get_parameter_info(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info);
OSStatus get_parameter_value_strings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef *out_strings);

}  // namespace zentrova
