// Where each port of the two plug-ins sits. The description generator writes the ports in this
// order and the plug-in reads them back by the same numbers, so this is the one place they live.
#pragma once

#include "zentrova_ids.h"

#include <cstdint>

namespace zentrova_lv2 {

// The plug-ins share everything but the channel count and the key. The keyed ("Sidechain") ones
// host Zentrova Keyed and have key ports, as many as their main channels; the plain ones keep
// one input per channel, for hosts that know no sidechain.
inline constexpr const char *k_plugin_uri_mono = "urn:harrowfield:zentrova:mono";
inline constexpr const char *k_plugin_uri_stereo = "urn:harrowfield:zentrova:stereo";
inline constexpr const char *k_plugin_uri_mono_key = "urn:harrowfield:zentrova:mono-key";
inline constexpr const char *k_plugin_uri_stereo_key = "urn:harrowfield:zentrova:stereo-key";

struct plugin_variant {
    const char *uri;
    const char *name;
    uint32_t channels;
    bool keyed;
};
inline constexpr plugin_variant k_plugins[] = {
    {k_plugin_uri_mono, "Zentrova Mono", 1, false},
    {k_plugin_uri_stereo, "Zentrova", 2, false},
    {k_plugin_uri_mono_key, "Zentrova Sidechain Mono", 1, true},
    {k_plugin_uri_stereo_key, "Zentrova Sidechain", 2, true},
};
// The state key under which the component's ClassInfo is saved, as property-list data.
inline constexpr const char *k_class_info_uri = "urn:harrowfield:zentrova#ClassInfo";
inline constexpr const char *k_property_list_uri = "urn:harrowfield:zentrova#PropertyList";

inline constexpr uint32_t k_parameter_count = zentrova::k_parameter_count;
inline constexpr uint32_t k_midi_control_parameter = zentrova::k_midi_control;  // what the MIDI controller drives
inline constexpr uint32_t k_default_midi_controller = 1;  // the modulation wheel

// Audio ports first (inputs, then outputs), then the sixteen parameters in identifier order, then
// the plug-in's own ports, then the key's, so that a keyed plug-in numbers every other port as
// its plain twin does.
struct port_layout {
    uint32_t channels;
    bool keyed = false;

    constexpr uint32_t audio_in(uint32_t c) const { return c; }
    constexpr uint32_t audio_out(uint32_t c) const { return channels + c; }
    constexpr uint32_t parameter(uint32_t id) const { return 2 * channels + id; }
    constexpr uint32_t level() const { return parameter(k_parameter_count); }
    constexpr uint32_t midi_controller() const { return level() + 1; }
    constexpr uint32_t midi_in() const { return level() + 2; }
    constexpr uint32_t key(uint32_t c) const { return level() + 3 + c; }
    constexpr uint32_t count() const { return level() + 3 + (keyed ? channels : 0); }
};

}  // namespace zentrova_lv2
