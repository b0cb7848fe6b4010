// Zentrova: the effect instance. It owns the processing chain (follower, five envelope
// generators, formant wah effect) in a one- and a two-channel form, applies parameter changes
// delivered by its own event listener, and renders each block: the dry signal at its gain plus
// the enveloped formant signal at its gain, clipped to full scale.
#pragma once

#include "effect/zentrova_parameters.h"
#include "framework/AUEffectBase.h"

#include <AudioToolbox/AudioToolbox.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

class HF_Envelope_Gauge_Mono;
class HF_Envelope_Gauge_Stereo;
class HF_Envelope_Generator;
class HF_NO_Envelope;
class HF_AR_Up_Envelope;
class HF_AR_Down_Envelope;
class HF_Track_Envelope;
class HF_MIDI_Envelope;
class HF_Formant_Wah_Effect_Mono;
class HF_Formant_Wah_Effect_Stereo;

inline constexpr AudioUnitPropertyID kZentrovaProperty_FollowerLevel = zentrova::k_follower_level_property;

// Threads: construction, Initialize, Reset, destruction and the property and parameter requests
// arrive on host control threads; ProcessBufferLists and what it calls run on the render thread;
// parameter_changed runs on the run loop that was current at the first Initialize. The chain is
// touched by control threads only while the framework refuses to render (before Initialize, or
// uninitialized); a Reset of an initialized instance is handed to the render thread.
class Zentrova : public AUEffectBase {
public:
    explicit Zentrova(AudioComponentInstance component);
    ~Zentrova() override;

    OSStatus Version() override { return 0x00010000; }
    OSStatus Initialize() override;
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;

    // The level read-out and the Cocoa UI property, in the global scope.
    const AUPropertyRow *FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) override;
    // [any thread] The follower level the read-out carries.
    double follower_level() const noexcept { return _follower_level.load(std::memory_order_relaxed); }

    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info) override;
    OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef *strings) override;

    Float64 GetLatency() override { return 0.0; }
    Float64 GetTailTime() override { return 0.0; }
    bool SupportsTail() override { return true; }
    UInt32 SupportedNumChannels(const AUChannelInfo **out_info) override;

    // [render thread] Applies pending parameter changes, then runs the chain over the block.
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags &flags, const AudioBufferList &in, AudioBufferList &out,
                                UInt32 frames) override;
    virtual void process_mono(const double *input, double *output, UInt32 frames);
    virtual void process_stereo(const double *input_left, double *output_left, const double *input_right,
                                double *output_right, UInt32 frames);

protected:
    // The key the follower measures in a block, the host's 32-bit samples as they came: one
    // channel (right null) or two. The gauge widens each sample exactly, so a key equal to the
    // input measures as the input's 64-bit copy does.
    struct follower_signal {
        const float *left = nullptr;
        const float *right = nullptr;
    };
    // [render thread] The key the follower measures in this block instead of the main input;
    // left null when there is none, as for this effect, which always follows what it filters.
    virtual follower_signal block_key(UInt32) noexcept { return {}; }
    // [render thread] The chain over a block with the follower measuring `key`.
    void process_mono_keyed(const double *input, double *output, follower_signal key, UInt32 frames);
    void process_stereo_keyed(const double *input_left, double *output_left, const double *input_right,
                              double *output_right, follower_signal key, UInt32 frames);

private:
    // The chain's two forms, generic over what the follower measures (follower_signal's one or
    // two channels), so that the follower reading the main input compiles to the same loop as
    // before there was a key.
    template <typename Follower> void run_mono(const double *input, double *output, UInt32 frames, Follower follower);
    template <typename Follower>
    void run_stereo(const double *input_left, double *output_left, const double *input_right, double *output_right,
                    UInt32 frames, Follower follower);

    // [listener thread] The parameter event listener's callback.
    static void parameter_changed(void *self, void *object, const AudioUnitEvent *event, UInt64 host_time,
                                  AudioUnitParameterValue value);
    // [render thread] Applies the changes the listener published since the last block.
    void apply_pending_parameters() noexcept;
    void apply_parameter(AudioUnitParameterID id, float value) noexcept;

    void create_chain();
    void create_listener();
    void announce_parameters();
    void set_chain_sample_period() noexcept;
    // [render thread, or a control thread while not initialized] Sample period to every object
    // (which resets them), working buffers zeroed, follower level 0.
    void reset_chain() noexcept;
    void allocate_working_buffers();

    bool _objects_created = false;
    UInt32 _channel_count = 0;
    UInt32 _maximum_frames = 0;
    double _sample_rate = 0;
    double _sample_period = 0;

    // Working buffers, maximum frames + 2 each; empty until the first Initialize.
    std::vector<double> _input_left, _input_right, _output_left, _output_right;

    AUEventListenerRef _parameter_listener = nullptr;

    // Hand-over from the listener thread to the render thread: the listener stores the newest
    // value of a parameter and sets its bit; the render thread drains the mask at the top of each
    // block, in parameter order, so every change reaches the chain whole and the chain itself is
    // only ever touched by one thread at a time.
    std::array<std::atomic<float>, zentrova::k_parameter_count> _published_values{};
    std::atomic<uint32_t> _dirty_parameters{0};
    // Set by the listener when "MIDI" is chosen, never cleared: once chosen, the MIDI ramp keeps
    // running every block so that choosing it again continues where it was.
    std::atomic<bool> _midi_envelope_active{false};
    // Set by Reset on a control thread (release), taken by the render thread (acquire) at the top
    // of the next block, which then resets the chain itself.
    std::atomic<bool> _reset_requested{false};

    // Render-thread state.
    double _midi_control_value = 0;
    double _dry_gain = 0;
    double _formant_gain = 0;
    uint8_t _notification_counter = 0;
    std::atomic<double> _follower_level{0.0};

    std::unique_ptr<HF_Envelope_Gauge_Mono> _gauge_mono;
    std::unique_ptr<HF_Envelope_Gauge_Stereo> _gauge_stereo;
    std::unique_ptr<HF_NO_Envelope> _envelope_none;
    std::unique_ptr<HF_AR_Up_Envelope> _envelope_sweep_up;
    std::unique_ptr<HF_AR_Down_Envelope> _envelope_sweep_down;
    std::unique_ptr<HF_Track_Envelope> _envelope_track;
    std::unique_ptr<HF_MIDI_Envelope> _envelope_midi;
    HF_Envelope_Generator *_current_envelope = nullptr;
    std::unique_ptr<HF_Formant_Wah_Effect_Stereo> _formant_stereo;
    std::unique_ptr<HF_Formant_Wah_Effect_Mono> _formant_mono;
};
