#include "zentrova_plugin.h"

#include "host/component.h"
#include "host/events.h"
#include "host/stream_format.h"
#include "zentrova_ids.h"
#include "state_check.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace zentrova_lv2 {

namespace {

// The most property-list data the platform's reader takes.
constexpr size_t k_max_state_bytes = size_t(1) << 20;

// The component bundle this bundle's port descriptions were generated from comes first, found from
// the bundle path the host hands to instantiate (never from the working directory):
//   <bundle>/Zentrova.component      installed: `make install` puts it inside the LV2 bundle,
//                                    since lilv reports every folder of an LV2 folder that is not
//                                    an LV2 bundle as an error;
//   <bundle>/../Zentrova.component   the build folder (build/Zentrova.lv2 beside
//                                    build/Zentrova.component), also through a symbolic link.
// The registry's search path (AUDIO_COMPONENT_PATH, then the standard folders) is the fall-back,
// for a packager who keeps components in their own folder.
// The keyed effect is the bundle's other component, found by name once the bundle is registered.
AudioComponent find_component(const char *bundle_path, bool keyed) {
    if (bundle_path != nullptr)
        if (AudioComponent beside = host::register_bundle_beside(bundle_path, "Zentrova.component"))
            return keyed ? host::find_component(kAudioUnitType_Effect, "Zentrova Keyed") : beside;
    return host::find_component(kAudioUnitType_Effect, keyed ? "Zentrova Keyed" : "Zentrova");
}

const void *find_feature(const LV2_Feature *const *features, const char *uri) {
    for (auto f = features; f != nullptr && *f != nullptr; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

}  // namespace

zentrova_plugin::zentrova_plugin(uint32_t channels, bool keyed, const LV2_URID_Map *map, const LV2_Log_Log *log)
    : _layout{channels, keyed} {
    // Without the URID map the plug-in still renders; it then has no MIDI input and no state.
    if (map != nullptr) {
        _midi_event = map->map(map->handle, LV2_MIDI__MidiEvent);
        _class_info_key = map->map(map->handle, k_class_info_uri);
        _property_list_type = map->map(map->handle, k_property_list_uri);
        _log_error = map->map(map->handle, LV2_LOG__Error);
        _log = log;
    }
}

void zentrova_plugin::log_error(const std::string &message) const {
    if (_log != nullptr && _log_error != 0)
        _log->printf(_log->handle, _log_error, "Zentrova LV2: %s\n", message.c_str());
    else
        std::fprintf(stderr, "Zentrova LV2: %s\n", message.c_str());
}

std::unique_ptr<zentrova_plugin> zentrova_plugin::create(uint32_t channels, bool keyed, double sample_rate,
                                                         const char *bundle_path, const LV2_Feature *const *features) {
    std::unique_ptr<zentrova_plugin> plugin(
        new zentrova_plugin(channels, keyed, static_cast<const LV2_URID_Map *>(find_feature(features, LV2_URID__map)),
                            static_cast<const LV2_Log_Log *>(find_feature(features, LV2_LOG__log))));
    if (!plugin->open(sample_rate, bundle_path)) return nullptr;
    return plugin;
}

bool zentrova_plugin::open(double sample_rate, const char *bundle_path) {
    AudioComponent component = find_component(bundle_path, _layout.keyed);
    if (component == nullptr) {
        std::fprintf(stderr,
                     "Zentrova LV2: cannot find %sZentrova.component in or beside %s, or in the component "
                     "folders (AUDIO_COMPONENT_PATH)\n",
                     _layout.keyed ? "the keyed effect of " : "", bundle_path ? bundle_path : "(no bundle path)");
        return false;
    }
    _unit = host::instance(component);
    if (_unit.status() != noErr) {
        std::fprintf(stderr, "Zentrova LV2: the component would not open\n");
        return false;
    }
    UInt32 max_frames = k_max_frames;
    OSStatus status = host::set_float_formats(_unit, sample_rate, _layout.channels);
    if (status == noErr)
        status = AudioUnitSetProperty(_unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                      &max_frames, sizeof max_frames);
    if (status == noErr) status = _renderer.attach(_unit, _layout.channels);
    // The key has as many channels as the main input and always a source: key ports left
    // unconnected feed it the main input, which the follower then measures as the plain effect does.
    if (status == noErr && _layout.keyed) status = _renderer.attach_key(sample_rate, _layout.channels);
    if (status != noErr) {
        std::fprintf(stderr, "Zentrova LV2: the component refused %u channel(s) at %g Hz (status %d)\n",
                     _layout.channels, sample_rate, static_cast<int>(status));
        return false;
    }
    // The instance binds its parameter listener to the run loop current at its first Initialize:
    // ours, which belongs to no thread, so that run() can perform it on whichever thread the host
    // calls it. That first Initialize (which allocates the chain) happens here, never in run().
    _run_loop = CFRunLoopCreateDetached();
    const CFRunLoopRef previous = CFRunLoopSetCurrent(_run_loop);
    status = AudioUnitInitialize(_unit);
    CFRunLoopSetCurrent(previous);
    if (status != noErr) {
        std::fprintf(stderr, "Zentrova LV2: the component would not initialise (status %d)\n", static_cast<int>(status));
        return false;
    }
    for (uint32_t id = 0; id < k_parameter_count; ++id)
        AudioUnitGetParameter(_unit, id, kAudioUnitScope_Global, 0, &_seen_port_values[id]);
    return true;
}

zentrova_plugin::~zentrova_plugin() {
    if (_unit != nullptr) AudioUnitUninitialize(_unit);
    _unit.reset();  // before the run loop its listener is bound to goes
    if (_run_loop != nullptr) CFRelease(_run_loop);
}

void zentrova_plugin::connect_port(uint32_t port, void *data) noexcept {
    const uint32_t channels = _layout.channels;
    if (port < channels) _audio_in[port] = static_cast<const float *>(data);
    else if (port < 2 * channels) _audio_out[port - channels] = static_cast<float *>(data);
    else if (port < _layout.level()) _parameter_ports[port - 2 * channels] = static_cast<const float *>(data);
    else if (port == _layout.level()) _level = static_cast<float *>(data);
    else if (port == _layout.midi_controller()) _midi_controller = static_cast<const float *>(data);
    else if (port == _layout.midi_in()) _midi_in = static_cast<const LV2_Atom_Sequence *>(data);
    else if (_layout.keyed && port < _layout.count())
        _audio_key[port - _layout.key(0)] = static_cast<const float *>(data);
}

void zentrova_plugin::activate() {
    // Reset clears the follower, envelopes and filters and announces all sixteen stored values;
    // the next run() delivers them before it renders.
    AudioUnitReset(_unit, kAudioUnitScope_Global, 0);
    _renderer.set_sample_time(0);
}

float zentrova_plugin::midi_controller_value() const noexcept {
    if (_midi_in == nullptr || _midi_event == 0) return NAN;
    const float wanted = _midi_controller ? *_midi_controller : static_cast<float>(k_default_midi_controller);
    const auto controller = static_cast<uint8_t>(std::lround(std::clamp(std::isnan(wanted) ? 1.0f : wanted, 0.0f, 127.0f)));
    // The block's last value of the controller wins. The MIDI envelope ramps to it across the
    // block, so it is reached at the block's end, near where it was sent.
    float value = NAN;
    LV2_ATOM_SEQUENCE_FOREACH(_midi_in, event) {
        if (event->body.type != _midi_event || event->body.size < 3) continue;
        const auto *message = static_cast<const uint8_t *>(LV2_ATOM_BODY_CONST(&event->body));
        if ((message[0] & 0xF0) == LV2_MIDI_MSG_CONTROLLER && message[1] == controller)
            value = static_cast<float>(message[2] & 0x7F) / 127.0f;
    }
    return value;
}

// Determinism. Port changes and MIDI are set first; then the instance's run loop (ours) is
// performed, which delivers them, and anything announced since the last block (activation, a
// restored state), to the instance's listener; the listener publishes them and the render applies
// them at its top. Nothing waits on another thread or on the clock, so a change is heard from the
// start of the block whose run() first sees it, however fast an offline host calls run().
void zentrova_plugin::run(uint32_t frames) noexcept {
    // A host that left an audio port unconnected (or connected it to null) gets silence on the
    // outputs it did connect, and nothing is rendered from memory that is not there.
    for (uint32_t c = 0; c < _layout.channels; ++c)
        if (_audio_in[c] == nullptr || _audio_out[c] == nullptr) {
            for (float *out : _audio_out)
                if (out != nullptr) std::memset(out, 0, frames * sizeof(float));
            return;
        }
    for (uint32_t id = 0; id < k_parameter_count; ++id) {
        if (_parameter_ports[id] == nullptr) continue;
        const float value = *_parameter_ports[id];
        if (value == _seen_port_values[id] || std::isnan(value)) continue;
        _seen_port_values[id] = value;
        host::set_parameter(_unit, id, value);
    }
    const float controller = midi_controller_value();
    if (!std::isnan(controller)) host::set_parameter(_unit, k_midi_control_parameter, controller);
    CFRunLoopRunDetached(_run_loop, kCFRunLoopDefaultMode);

    for (uint32_t offset = 0; offset < frames; offset += k_max_frames)
        render(offset, std::min(k_max_frames, frames - offset));

    if (_level != nullptr) {
        Float64 level = 0;
        UInt32 size = sizeof level;
        if (AudioUnitGetProperty(_unit, zentrova::k_follower_level_property, kAudioUnitScope_Global, 0, &level, &size) == noErr)
            *_level = static_cast<float>(level);
    }
}

void zentrova_plugin::render(uint32_t offset, uint32_t frames) noexcept {
    const float *input[2] = {}, *key[2] = {};
    float *output[2] = {};
    bool key_connected = _layout.keyed;
    for (uint32_t c = 0; c < _layout.channels; ++c) {
        input[c] = _audio_in[c] + offset;
        output[c] = _audio_out[c] + offset;
        key[c] = _audio_key[c] + offset;
        key_connected = key_connected && _audio_key[c] != nullptr;
    }
    if (_renderer.render(input, output, frames, key_connected ? key : nullptr) != noErr)  // nothing to report
        for (uint32_t c = 0; c < _layout.channels; ++c) std::memset(output[c], 0, frames * sizeof(float));
}

LV2_State_Status zentrova_plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (_class_info_key == 0) return LV2_STATE_ERR_NO_FEATURE;
    CFPropertyListRef class_info = nullptr;
    UInt32 size = sizeof class_info;
    if (AudioUnitGetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &class_info, &size) !=
            noErr ||
        class_info == nullptr)
        return LV2_STATE_ERR_UNKNOWN;
    // XML: a saved session stays readable, and the same text as a `.aupreset` file.
    CFDataRef data = CFPropertyListCreateData(nullptr, class_info, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    CFRelease(class_info);
    if (data == nullptr) return LV2_STATE_ERR_UNKNOWN;
    const LV2_State_Status status =
        store(handle, _class_info_key, CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data)),
              _property_list_type, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    CFRelease(data);
    return status;
}

LV2_State_Status zentrova_plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (_class_info_key == 0) return LV2_STATE_ERR_NO_FEATURE;
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void *bytes = retrieve(handle, _class_info_key, &size, &type, &flags);
    if (bytes == nullptr) return LV2_STATE_ERR_NO_PROPERTY;
    if (type != _property_list_type) return LV2_STATE_ERR_BAD_TYPE;
    // A refused state leaves the settings as they were, and the host is told why.
    if (size > k_max_state_bytes) {
        log_error("the saved state is " + std::to_string(size) + " bytes, more than the " +
                  std::to_string(k_max_state_bytes) + " a state may hold; settings left as they were");
        return LV2_STATE_ERR_BAD_TYPE;
    }
    CFDataRef data = CFDataCreate(nullptr, static_cast<const UInt8 *>(bytes), static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef class_info =
        data ? CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error) : nullptr;
    if (data) CFRelease(data);
    if (class_info == nullptr) {
        std::string why = "not a property list";
        if (error != nullptr) {
            if (CFStringRef text = CFErrorCopyDescription(error)) {
                char buffer[256] = {};
                if (CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8)) why = buffer;
                CFRelease(text);
            }
            CFRelease(error);
        }
        log_error("the saved state cannot be read (" + why + "); settings left as they were");
        return LV2_STATE_ERR_UNKNOWN;
    }
    // The component takes any value; a NaN or out-of-range one would be heard, and saved again.
    if (const std::string why = unusable_state_value(_unit, class_info); !why.empty()) {
        CFRelease(class_info);
        log_error("the saved state is refused: " + why + "; settings left as they were");
        return LV2_STATE_ERR_BAD_TYPE;
    }
    const OSStatus status =
        AudioUnitSetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &class_info, sizeof class_info);
    CFRelease(class_info);
    if (status != noErr) {
        log_error("the component refused the saved state (status " + std::to_string(status) + ")");
        return LV2_STATE_ERR_UNKNOWN;
    }
    // A restore writes the values without telling anyone. Announcing each one queues it for the
    // instance's listener, and the next run() delivers all of them before it renders.
    for (uint32_t id = 0; id < k_parameter_count; ++id) host::announce_parameter(_unit, id);
    return LV2_STATE_SUCCESS;
}

}  // namespace zentrova_lv2
