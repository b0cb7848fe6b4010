#include "effect_host.h"

#include "cli_errors.h"

#include "host/component.h"
#include "host/events.h"
#include "host/stream_format.h"

#include <filesystem>

namespace zentrova_cli {

void check_status(int status, const std::string &what) {
    if (status != noErr) throw internal_error(what + " failed with status " + std::to_string(status));
}

const char *unit_name(AudioUnitParameterUnit unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Generic: return "generic";
    case kAudioUnitParameterUnit_Indexed: return "indexed";
    case kAudioUnitParameterUnit_Decibels: return "dB";
    case kAudioUnitParameterUnit_LinearGain: return "linear gain";
    case kAudioUnitParameterUnit_Milliseconds: return "ms";
    case kAudioUnitParameterUnit_Seconds: return "s";
    case kAudioUnitParameterUnit_Hertz: return "Hz";
    case kAudioUnitParameterUnit_Percent: return "%";
    default: return "?";
    }
}

namespace {

// The bundle beside the executable: build/bin/zentrova next to build/Zentrova.component, or an
// installed bin/zentrova next to lib/audio-components/Zentrova.component.
AudioComponent register_bundle_beside_executable() {
    const std::filesystem::path self = host::executable_path();
    if (self.empty()) return nullptr;
    const std::filesystem::path prefix = self.parent_path().parent_path();
    return host::register_first_bundle(
        {prefix / "Zentrova.component", prefix / "lib/audio-components/Zentrova.component"});
}

// The plain effect is the bundle's first component; the keyed one is found by name once the
// bundle is registered.
AudioComponent find_zentrova(bool keyed) {
    const char *name = keyed ? "Zentrova Keyed" : "Zentrova";
    if (AudioComponent component = host::find_component(kAudioUnitType_Effect, name)) return component;
    AudioComponent first = register_bundle_beside_executable();
    return keyed && first != nullptr ? host::find_component(kAudioUnitType_Effect, name) : first;
}

AudioComponent found_zentrova(bool keyed) {
    AudioComponent component = find_zentrova(keyed);
    if (component == nullptr)
        throw user_error("cannot find the Zentrova component: build it (make) or point AUDIO_COMPONENT_PATH at the "
                         "folder that holds Zentrova.component");
    return component;
}

}  // namespace

effect_host::effect_host(bool keyed) : effect_host(found_zentrova(keyed)) {}

effect_host::effect_host(AudioComponent component) {
    _component_name = host::component_name(component);
    _unit = host::instance(component);
    check_status(_unit.status(), "opening the Zentrova instance");
    try {
        _parameters = host::read_parameters(_unit);
    } catch (const host::status_error &e) {
        throw internal_error(e.what());
    }
}

effect_host::~effect_host() {
    if (_unit) AudioUnitUninitialize(_unit);
}

void effect_host::configure(double sample_rate, unsigned channels, unsigned max_frames) {
    _sample_rate = sample_rate;
    const OSStatus status = host::set_float_formats(_unit, sample_rate, channels);
    if (status == kAudioUnitErr_FormatNotSupported)
        throw user_error("Zentrova does not accept a sample rate of " + std::to_string(sample_rate) + " Hz");
    check_status(status, "setting the stream format");
    UInt32 frames = max_frames;
    check_status(AudioUnitSetProperty(_unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                      &frames, sizeof frames),
                 "setting the maximum frames per render");
    check_status(_renderer.attach(_unit, channels), "installing the input callback");
}

void effect_host::configure_key(unsigned channels) {
    check_status(_renderer.attach_key(_sample_rate, channels), "setting up the key input");
}

void effect_host::set_parameter(AudioUnitParameterID id, float value) {
    check_status(host::set_parameter(_unit, id, value), "setting parameter " + std::to_string(id));
    deliver_pending_events();
}

float effect_host::parameter(AudioUnitParameterID id) const {
    AudioUnitParameterValue value = 0;
    check_status(AudioUnitGetParameter(_unit, id, kAudioUnitScope_Global, 0, &value),
                 "reading parameter " + std::to_string(id));
    return value;
}

void effect_host::restore_state(CFPropertyListRef state) {
    const OSStatus status =
        AudioUnitSetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
    if (status == kAudioUnitErr_InvalidPropertyValue || status == kAudioUnitErr_InvalidParameter ||
        status == kAudioUnitErr_InvalidScope)
        throw user_error("it is not a Zentrova preset (status " + std::to_string(status) + ")");
    check_status(status, "restoring the preset");
}

CFPropertyListRef effect_host::copy_state() const {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    check_status(AudioUnitGetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
                 "reading the effect's state");
    return state;
}

void effect_host::set_preset_name(const std::string &name) {
    CFStringRef text = CFStringCreateWithCString(kCFAllocatorDefault, name.c_str(), kCFStringEncodingUTF8);
    if (text == nullptr) throw user_error("the preset name is not valid UTF-8");
    AUPreset preset{-1, text};
    const OSStatus status =
        AudioUnitSetProperty(_unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, &preset, sizeof preset);
    CFRelease(text);
    check_status(status, "naming the preset");
}

void effect_host::initialize() {
    check_status(AudioUnitInitialize(_unit), "initializing Zentrova");
    deliver_pending_events();
}

void effect_host::deliver_pending_events() { host::deliver_pending_events(); }

void effect_host::render(const float *const *input, float *const *output, unsigned frames, const float *const *key) {
    check_status(_renderer.render(input, output, frames, key), "rendering");
}

}  // namespace zentrova_cli
