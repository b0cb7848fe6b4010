// A host for one Zentrova instance, reached only through the platform's host API: the component
// registry, properties, parameters through the event-listener service, and render calls.
#pragma once

#include "host/float_render.h"
#include "host/instance.h"
#include "host/parameters.h"

#include <AudioToolbox/AudioToolbox.h>

#include <memory>
#include <string>
#include <vector>

namespace zentrova_cli {

using host::parameter_description;

const char *unit_name(AudioUnitParameterUnit unit);

class effect_host {
public:
    // Finds the component (registering the bundle beside the executable when the registry's
    // folders do not hold it) and opens an instance: "Zentrova Keyed" when `keyed`, whose
    // follower measures a key input. Throws user_error when it cannot be found.
    // Neither copied nor moved: the instance's input callback holds the renderer.
    explicit effect_host(bool keyed = false);
    // Opens an instance of `component`, a host's own copy of the bundle it found itself.
    explicit effect_host(AudioComponent component);
    ~effect_host();

    const std::vector<parameter_description> &parameters() const { return _parameters; }
    std::string component_name() const { return _component_name; }
    // The instance, for hosts that also show its editor.
    AudioUnit unit() const { return _unit; }

    // Stream format (mono or stereo, non-interleaved float) and the largest render size.
    void configure(double sample_rate, unsigned channels, unsigned max_frames);

    // The key's channel count (1 or 2, at the configured rate); keyed instances only, after
    // configure.
    void configure_key(unsigned channels);

    // Sets a parameter as a host's automation would: stored through the instance and announced to
    // every listener (the effect's own included), then delivered by running the run loop.
    void set_parameter(AudioUnitParameterID id, float value);
    float parameter(AudioUnitParameterID id) const;

    // The ClassInfo state: restore takes a property list (a dictionary) and throws user_error saying
    // why the effect refused it; copy_state gives a new one.
    void restore_state(CFPropertyListRef state);
    CFPropertyListRef copy_state() const;
    void set_preset_name(const std::string &name);

    void initialize();
    // Runs this thread's run loop until nothing is pending, so every announced change has reached
    // the effect. Never waits on the clock.
    static void deliver_pending_events();

    // Renders one block. `input` and `output` hold one pointer per channel, `key` one per key
    // channel when a key is configured; frames at most the configured maximum.
    void render(const float *const *input, float *const *output, unsigned frames, const float *const *key = nullptr);
    // [render thread; real-time safe] The same for a real-time host: answers the unit's status
    // instead of throwing, and leaves the output as it was on a failure.
    OSStatus render_in_real_time(const float *const *input, float *const *output, unsigned frames,
                                 const float *const *key = nullptr) noexcept {
        return _renderer.render(input, output, frames, key);
    }

private:
    host::instance _unit;
    std::string _component_name;
    std::vector<parameter_description> _parameters;
    host::float_render _renderer;
    double _sample_rate = 0;
};

}  // namespace zentrova_cli
