// Where each port of the two plug-ins sits. The description generator writes the ports in this
// order and the plug-in reads them back by the same numbers, so this is the one place they live.
#pragma once

#include "zentrova_ids.h"

#include <cstdint>

namespace zentrova_lv2 {

// Both plug-ins share everything but the channel count.
inline constexpr const char *k_plugin_uri_mono = "urn:harrowfield:zentrova:mono";
inline constexpr const char *k_plugin_uri_stereo = "urn:harrowfield:zentrova:stereo";
// The state key under which the component's ClassInfo is saved, as property-list data.
inline constexpr const char *k_class_info_uri = "urn:harrowfield:zentrova#ClassInfo";
inline constexpr const char *k_property_list_uri = "urn:harrowfield:zentrova#PropertyList";

inline constexpr uint32_t k_parameter_count = zentrova::k_parameter_count;
inline constexpr uint32_t k_midi_control_parameter = zentrova::k_midi_control;  // what the MIDI controller drives
inline constexpr uint32_t k_default_midi_controller = 1;  // the modulation wheel

// Audio ports first (inputs, then outputs), then the sixteen parameters in identifier order, then
// the plug-in's own ports.
struct port_layout {
    uint32_t channels;

    constexpr uint32_t audio_in(uint32_t c) const { return c; }
    constexpr uint32_t audio_out(uint32_t c) const { return channels + c; }
    constexpr uint32_t parameter(uint32_t id) const { return 2 * channels + id; }
    constexpr uint32_t level() const { return parameter(k_parameter_count); }
    constexpr uint32_t midi_controller() const { return level() + 1; }
    constexpr uint32_t midi_in() const { return level() + 2; }
    constexpr uint32_t count() const { return level() + 3; }
};

}  // namespace zentrova_lv2
