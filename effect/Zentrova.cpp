#include "effect/Zentrova.h"

#include "dsp/HF_AR_Down_Envelope.h"
#include "dsp/HF_AR_Up_Envelope.h"
#include "dsp/HF_Envelope_Gauge.h"
#include "dsp/HF_Formant_Wah_Effect.h"
#include "dsp/HF_MIDI_Envelope.h"
#include "dsp/HF_NO_Envelope.h"
#include "dsp/HF_Track_Envelope.h"
#include "framework/AUPropertyTable.h"

#include <Accelerate/Accelerate.h>
#include <CoreFoundation/CoreFoundation.h>
#include <platform/fp_control.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace zentrova;

namespace {

// Levels at or below -79 dB are silence: the range's lower end (-80 dB) mutes exactly.
double decibels_to_gain(float db) { return db > -79.0f ? std::pow(10.0, db * 0.05) : 0.0; }

// Menu values arrive as floats and are rounded to the nearest item (ties to even under the
// default rounding mode). A value that is not a number counts as 0.
int64_t rounded_index(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int64_t>(std::nearbyint(std::clamp(v, -1.0e9f, 1.0e9f)));
}

// Vowel rows index a ten-row table: anything outside 0..9 is held at the nearer end, so a host
// writing out-of-range values hears the nearest vowel instead of reading past the table.
uint32_t vowel_row(float v) { return static_cast<uint32_t>(std::clamp<int64_t>(rounded_index(v), 0, 9)); }

// Filter types outside 0..7 select the one-stage low-pass ladder, as the formant effect does
// with any unknown index; negative values must not wrap round to a large unsigned index first.
uint32_t filter_type(float v) {
    const int64_t n = rounded_index(v);
    return n < 0 || n > 7 ? 0u : static_cast<uint32_t>(n);
}

constexpr AUChannelInfo supported_channels[] = {{1, 1}, {2, 2}};

// Samples to 64-bit on the way in; on the way out, one rounding to 32-bit and the clip to full
// scale. A not-a-number result (only non-finite input can produce one) leaves as silence, so the
// host never receives a sample outside [-1, 1].
void to_double(const AudioBuffer &buffer, double *out, UInt32 frames) {
    const auto *in = static_cast<const float *>(buffer.mData);
    for (UInt32 i = 0; i < frames; ++i) out[i] = in[i];
}

void to_float_clipped(const double *in, AudioBuffer &buffer, UInt32 frames) {
    auto *out = static_cast<float *>(buffer.mData);
    for (UInt32 i = 0; i < frames; ++i) {
        const float y = static_cast<float>(in[i]);
        out[i] = std::isnan(y) ? 0.0f : y;
    }
    const float low = -1.0f, high = 1.0f;
    vDSP_vclip(out, 1, &low, &high, out, 1, frames);
}

// Where the editor bundle is, and which factory class it offers: a new URL, which passes to the
// caller. Without the component bundle or its editor resource the host gets no editor (fnfErr).
OSStatus get_cocoa_ui(AUBase &, AUPropertyAddress, void *out_data) {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR("com.Harrowfield.audiounit.Zentrova"));
    if (bundle == nullptr) return fnfErr;
    CFURLRef location = CFBundleCopyResourceURL(bundle, CFSTR("HFZentrovaViewFactory"), CFSTR("bundle"), nullptr);
    if (location == nullptr) return fnfErr;
    const AudioUnitCocoaViewInfo info{location, {CFSTR("HFZentrovaViewFactory")}};
    std::memcpy(out_data, &info, sizeof info);
    return noErr;
}

// Both answer any element of the global scope. The read-out reports itself writable, yet no set
// accepts it: a write goes on to the framework, which refuses it (kAudioUnitErr_InvalidProperty).
constexpr AUPropertyRow k_property_rows[] = {
    {.id = kZentrovaProperty_FollowerLevel, .size = sizeof(double), .writable = true,
     .get = AUGetValue<&Zentrova::follower_level>},
    {.id = kAudioUnitProperty_CocoaUI, .size = sizeof(AudioUnitCocoaViewInfo), .get = get_cocoa_ui},
};
AU_CHECK_PROPERTY_TABLE(AUPropertyTableIsWellFormed(k_property_rows));

}  // namespace

Zentrova::Zentrova(AudioComponentInstance component) : AUEffectBase(component, true) {
    CreateElements();
    AUElement *globals = Globals();
    globals->UseIndexedParameters(k_parameter_count);
    for (const parameter_definition &p : parameters) globals->SetParameter(p.id, p.default_value);
    _channel_count = GetNumberOfChannels();
    _maximum_frames = GetMaxFramesPerSlice();
    _sample_rate = GetSampleRate();
    _sample_period = 1.0 / _sample_rate;
}

Zentrova::~Zentrova() {
    // The chain goes first, then the listener, so that no parameter can be delivered into a
    // half-destroyed chain's successor. The listener's callback only touches atomics that live
    // until the end of this destructor.
    _gauge_mono.reset();
    _gauge_stereo.reset();
    _envelope_none.reset();
    _envelope_sweep_up.reset();
    _envelope_sweep_down.reset();
    _envelope_track.reset();
    _envelope_midi.reset();
    _formant_stereo.reset();
    _formant_mono.reset();
    if (_parameter_listener) AUListenerDispose(_parameter_listener);
}

void Zentrova::allocate_working_buffers() {
    for (auto *buffer : {&_output_left, &_output_right, &_input_left, &_input_right}) {
        std::vector<double>().swap(*buffer);
        buffer->assign(_maximum_frames + 2, 0.0);
    }
}

void Zentrova::create_chain() {
    _gauge_mono = std::make_unique<HF_Envelope_Gauge_Mono>(_sample_period);
    _gauge_stereo = std::make_unique<HF_Envelope_Gauge_Stereo>(_sample_period);
    _envelope_none = std::make_unique<HF_NO_Envelope>(_sample_period);
    _envelope_sweep_up = std::make_unique<HF_AR_Up_Envelope>(_sample_period);
    _envelope_sweep_down = std::make_unique<HF_AR_Down_Envelope>(_sample_period);
    _envelope_track = std::make_unique<HF_Track_Envelope>(_sample_period);
    _envelope_midi = std::make_unique<HF_MIDI_Envelope>(_sample_period);
    _current_envelope = _envelope_none.get();
    _formant_stereo = std::make_unique<HF_Formant_Wah_Effect_Stereo>(_sample_period);
    _formant_mono = std::make_unique<HF_Formant_Wah_Effect_Mono>(_sample_period);

    // Starting settings, which hold only until the listener delivers the stored values.
    auto start = [](auto &formant) {
        formant.set_resonance(0.5);
        formant.set_drive(0.25);
        formant.set_start_formant(1);
        formant.set_middle_formant(2);
        formant.set_end_formant(3);
    };
    start(*_formant_stereo);
    start(*_formant_mono);
}

void Zentrova::create_listener() {
    AudioComponentInstance component = GetComponentInstance();
    if (component == nullptr) return;
    if (AUEventListenerCreate(&Zentrova::parameter_changed, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.005f,
                              0.05f, &_parameter_listener) != noErr) {
        _parameter_listener = nullptr;
        return;
    }
    for (AudioUnitParameterID id = 0; id < k_parameter_count; ++id) {
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {component, id, kAudioUnitScope_Global, 0};
        AUEventListenerAddEventType(_parameter_listener, this, &event);
    }
}

void Zentrova::announce_parameters() {
    AudioComponentInstance component = GetComponentInstance();
    if (component == nullptr) return;
    for (AudioUnitParameterID id = 0; id < k_parameter_count; ++id) {
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {component, id, kAudioUnitScope_Global, 0};
        AUEventListenerNotify(nullptr, nullptr, &event);
    }
}

void Zentrova::set_chain_sample_period() noexcept {
    _gauge_mono->set_sample_period(_sample_period);
    _gauge_stereo->set_sample_period(_sample_period);
    for (HF_Envelope_Generator *envelope :
         std::initializer_list<HF_Envelope_Generator *>{_envelope_none.get(), _envelope_sweep_up.get(),
                                                        _envelope_sweep_down.get(), _envelope_track.get(),
                                                        _envelope_midi.get()})
        envelope->set_sample_period(_sample_period);
    _formant_stereo->set_sample_period(_sample_period);
    _formant_mono->set_sample_period(_sample_period);
}

OSStatus Zentrova::Initialize() {
    if (const OSStatus status = AUEffectBase::Initialize(); status != noErr) return status;

    if (!_objects_created) {
        _sample_rate = GetSampleRate();
        _sample_period = 1.0 / _sample_rate;
        _maximum_frames = GetMaxFramesPerSlice();
        allocate_working_buffers();
        create_chain();
        create_listener();
    } else if (GetMaxFramesPerSlice() != _maximum_frames || GetSampleRate() != _sample_rate) {
        _maximum_frames = GetMaxFramesPerSlice();
        _sample_rate = GetSampleRate();
        _sample_period = 1.0 / _sample_rate;
        set_chain_sample_period();
        allocate_working_buffers();
    }
    announce_parameters();
    _channel_count = GetNumberOfChannels();
    _objects_created = true;
    return noErr;
}

OSStatus Zentrova::Reset(AudioUnitScope, AudioUnitElement) {
    if (IsInitialized()) {
        // A render may be running (a host resetting a playing instance, or bypass being switched
        // off): the chain belongs to the render thread, which resets it at the top of its next
        // block. Formats and sizes cannot change while initialized, so nothing is reallocated.
        _follower_level.store(0.0, std::memory_order_relaxed);
        _reset_requested.store(true, std::memory_order_release);
        announce_parameters();
        return noErr;
    }
    // Not initialized: the framework refuses renders, so the chain is ours to touch.
    _channel_count = GetNumberOfChannels();
    if (GetMaxFramesPerSlice() != _maximum_frames || GetSampleRate() != _sample_rate) {
        _maximum_frames = GetMaxFramesPerSlice();
        _sample_rate = GetSampleRate();
        _sample_period = 1.0 / _sample_rate;
        allocate_working_buffers();
    }
    if (_objects_created) {
        reset_chain();
        announce_parameters();
    }
    return noErr;
}

void Zentrova::reset_chain() noexcept {
    set_chain_sample_period();
    for (auto *buffer : {&_input_left, &_input_right, &_output_left, &_output_right})
        std::fill(buffer->begin(), buffer->end(), 0.0);
    _follower_level.store(0.0, std::memory_order_relaxed);
}

const AUPropertyRow *Zentrova::FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) {
    const AUPropertyRow *row = AUFindPropertyRow(k_property_rows, id, scope);
    return row != nullptr ? row : AUEffectBase::FindOwnProperty(id, scope);
}

OSStatus Zentrova::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info) {
    return get_parameter_info(scope, id, info);
}

OSStatus Zentrova::GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef *strings) {
    return get_parameter_value_strings(scope, id, strings);
}

UInt32 Zentrova::SupportedNumChannels(const AUChannelInfo **out_info) {
    if (out_info) *out_info = supported_channels;
    return 2;
}

void Zentrova::parameter_changed(void *self, void *, const AudioUnitEvent *event, UInt64, AudioUnitParameterValue value) {
    if (event->mEventType != kAudioUnitEvent_ParameterValueChange) return;
    const AudioUnitParameterID id = event->mArgument.mParameter.mParameterID;
    if (id >= k_parameter_count) return;
    auto *effect = static_cast<Zentrova *>(self);
    if (id == k_envelope_type && std::trunc(value) == 4.0f) effect->_midi_envelope_active.store(true);
    effect->_published_values[id].store(value, std::memory_order_relaxed);
    effect->_dirty_parameters.fetch_or(1u << id, std::memory_order_release);
}

void Zentrova::apply_pending_parameters() noexcept {
    uint32_t dirty = _dirty_parameters.exchange(0, std::memory_order_acquire);
    while (dirty != 0) {
        const auto id = static_cast<AudioUnitParameterID>(__builtin_ctz(dirty));
        dirty &= dirty - 1;
        apply_parameter(id, _published_values[id].load(std::memory_order_relaxed));
    }
}

void Zentrova::apply_parameter(AudioUnitParameterID id, float v) noexcept {
    switch (id) {
    case k_dry_output_level: _dry_gain = decibels_to_gain(v); break;
    case k_formant_level: _formant_gain = decibels_to_gain(v); break;
    case k_formant_filter_type:
        _formant_stereo->set_filter_type(filter_type(v));
        _formant_mono->set_filter_type(filter_type(v));
        break;
    case k_start_formant:
        _formant_stereo->set_start_formant(vowel_row(v));
        _formant_mono->set_start_formant(vowel_row(v));
        break;
    case k_middle_formant:
        _formant_stereo->set_middle_formant(vowel_row(v));
        _formant_mono->set_middle_formant(vowel_row(v));
        break;
    case k_end_formant:
        _formant_stereo->set_end_formant(vowel_row(v));
        _formant_mono->set_end_formant(vowel_row(v));
        break;
    case k_formant_resonance:
        _formant_stereo->set_resonance(v);
        _formant_mono->set_resonance(v);
        break;
    case k_formant_filter_drive:
        _formant_stereo->set_drive(v);
        _formant_mono->set_drive(v);
        break;
    case k_envelope_type: {
        // Truncated toward zero; anything outside 0..4 (or not a number) selects None.
        const float n = std::isnan(v) ? 0.0f : std::trunc(v);
        _current_envelope = n == 1.0f   ? static_cast<HF_Envelope_Generator *>(_envelope_sweep_up.get())
                            : n == 2.0f ? static_cast<HF_Envelope_Generator *>(_envelope_sweep_down.get())
                            : n == 3.0f ? static_cast<HF_Envelope_Generator *>(_envelope_track.get())
                            : n == 4.0f ? static_cast<HF_Envelope_Generator *>(_envelope_midi.get())
                                        : static_cast<HF_Envelope_Generator *>(_envelope_none.get());
        break;
    }
    case k_follower_attack_time:
        _gauge_mono->set_attack_time(v * 0.001);
        _gauge_stereo->set_attack_time(v * 0.001);
        break;
    case k_follower_release_time:
        _gauge_mono->set_release_time(v * 0.001);
        _gauge_stereo->set_release_time(v * 0.001);
        break;
    case k_envelope_shape: _envelope_track->set_shape(v); break;
    case k_trigger_sensitivity:
        _envelope_sweep_up->set_trigger_sensitivity(v);
        _envelope_sweep_down->set_trigger_sensitivity(v);
        _envelope_track->set_trigger_sensitivity(v);
        break;
    case k_envelope_attack:
        _envelope_none->set_attack_time(v);
        _envelope_sweep_up->set_attack_time(v);
        _envelope_sweep_down->set_attack_time(v);
        break;
    case k_envelope_release:
        _envelope_none->set_release_time(v);
        _envelope_sweep_up->set_release_time(v);
        _envelope_sweep_down->set_release_time(v);
        break;
    case k_midi_control: _midi_control_value = v; break;
    default: break;
    }
}

OSStatus Zentrova::ProcessBufferLists(AudioUnitRenderActionFlags &flags, const AudioBufferList &in,
                                      AudioBufferList &out, UInt32 frames) {
    if (!_objects_created) {
        flags &= kAudioUnitRenderAction_OutputIsSilence;
        return noErr;
    }
    platform::DenormalsOffScope denormals_off;
    // The reset first: parameter values announced by that Reset are applied after it, as when
    // both ran on the host's thread.
    if (_reset_requested.exchange(false, std::memory_order_acquire)) reset_chain();
    apply_pending_parameters();

    const follower_signal key = block_key(frames);
    if (_channel_count == 1) {
        to_double(in.mBuffers[0], _input_left.data(), frames);
        if (key.left != nullptr)
            process_mono_keyed(_input_left.data(), _output_left.data(), key, frames);
        else
            process_mono(_input_left.data(), _output_left.data(), frames);
        to_float_clipped(_output_left.data(), out.mBuffers[0], frames);
    } else {
        to_double(in.mBuffers[0], _input_left.data(), frames);
        to_double(in.mBuffers[1], _input_right.data(), frames);
        if (key.left != nullptr)
            process_stereo_keyed(_input_left.data(), _output_left.data(), _input_right.data(), _output_right.data(),
                                 key, frames);
        else
            process_stereo(_input_left.data(), _output_left.data(), _input_right.data(), _output_right.data(), frames);
        to_float_clipped(_output_left.data(), out.mBuffers[0], frames);
        to_float_clipped(_output_right.data(), out.mBuffers[1], frames);
    }
    flags &= ~kAudioUnitRenderAction_OutputIsSilence;

    if (_notification_counter < 26) {
        ++_notification_counter;
    } else {
        PropertyChanged(kZentrovaProperty_FollowerLevel, kAudioUnitScope_Global, 0);
        _notification_counter = 0;
    }
    return noErr;
}

// The chain runs in two passes per stretch of up to chain_frames samples: first follower and
// envelope over the stretch, giving the sweep positions; then the formant effect filters the
// whole stretch, which lets the ladder overlap its stages (skewed_ladder.h). Neither pass reads
// what the other writes within a sample, so the result is that of the per-sample order.
// A one-stage ladder has no stages to overlap: there the per-sample order is faster, as it lets
// the processor overlap follower, envelope and ladder instead, and it is kept.
namespace {
constexpr UInt32 chain_frames = 128;

// What the follower measures: one channel through the mono gauge, or the mean of two magnitudes
// through the stereo gauge; per sample, or a stretch at a time.
template <typename Sample> struct mono_follower {
    HF_Envelope_Gauge_Mono &gauge;
    const Sample *x;
    double step(UInt32 i) noexcept { return gauge.process(x[i]); }
    void block(UInt32 at, double *levels, UInt32 n) noexcept { gauge.process_block(x + at, levels, n); }
};

template <typename Sample> struct stereo_follower {
    HF_Envelope_Gauge_Stereo &gauge;
    const Sample *left, *right;
    double step(UInt32 i) noexcept { return gauge.process(left[i], right[i]); }
    void block(UInt32 at, double *levels, UInt32 n) noexcept { gauge.process_block(left + at, right + at, levels, n); }
};

}  // namespace

void Zentrova::process_mono(const double *input, double *output, UInt32 frames) {
    run_mono(input, output, frames, mono_follower<double>{*_gauge_mono, input});
}

void Zentrova::process_stereo(const double *input_left, double *output_left, const double *input_right,
                              double *output_right, UInt32 frames) {
    run_stereo(input_left, output_left, input_right, output_right, frames,
               stereo_follower<double>{*_gauge_stereo, input_left, input_right});
}

// A key measured by the gauge of its own channel count, whatever the main input's: a stereo key
// equal to a stereo input, or a mono one equal to a mono input, gives the plain effect's level.
void Zentrova::process_mono_keyed(const double *input, double *output, follower_signal key, UInt32 frames) {
    if (key.right != nullptr)
        run_mono(input, output, frames, stereo_follower<float>{*_gauge_stereo, key.left, key.right});
    else
        run_mono(input, output, frames, mono_follower<float>{*_gauge_mono, key.left});
}

void Zentrova::process_stereo_keyed(const double *input_left, double *output_left, const double *input_right,
                                    double *output_right, follower_signal key, UInt32 frames) {
    if (key.right != nullptr)
        run_stereo(input_left, output_left, input_right, output_right, frames,
                   stereo_follower<float>{*_gauge_stereo, key.left, key.right});
    else
        run_stereo(input_left, output_left, input_right, output_right, frames,
                   mono_follower<float>{*_gauge_mono, key.left});
}

template <typename Follower>
void Zentrova::run_mono(const double *input, double *output, UInt32 frames, Follower follower) {
    if (_midi_envelope_active.load(std::memory_order_relaxed)) _envelope_midi->begin_block(frames, _midi_control_value);
    vDSP_vsmulD(input, 1, &_dry_gain, output, 1, frames);

    HF_Envelope_Generator &envelope = *_current_envelope;
    HF_Formant_Wah_Effect_Mono &formant = *_formant_mono;
    double level = _follower_level.load(std::memory_order_relaxed);
    if (formant.selected_stage_count() == 1) {
        for (UInt32 i = 0; i < frames; ++i) {
            double x = input[i];
            level = follower.step(i);
            formant.set_sweep_position(envelope.next_value(level));
            formant.process_sample(&x);
            output[i] += _formant_gain * x;
        }
        _follower_level.store(level, std::memory_order_relaxed);
        return;
    }
    double levels[chain_frames], positions[chain_frames], filtered[chain_frames];
    for (UInt32 done = 0; done < frames;) {
        const UInt32 n = std::min(chain_frames, frames - done);
        follower.block(done, levels, n);
        envelope.next_values(levels, positions, n);
        level = levels[n - 1];
        formant.process_block(input + done, filtered, positions, n);
        for (UInt32 i = 0; i < n; ++i) output[done + i] += _formant_gain * filtered[i];
        done += n;
    }
    _follower_level.store(level, std::memory_order_relaxed);
}

template <typename Follower>
void Zentrova::run_stereo(const double *input_left, double *output_left, const double *input_right,
                          double *output_right, UInt32 frames, Follower follower) {
    if (_midi_envelope_active.load(std::memory_order_relaxed)) _envelope_midi->begin_block(frames, _midi_control_value);
    vDSP_vsmulD(input_left, 1, &_dry_gain, output_left, 1, frames);
    vDSP_vsmulD(input_right, 1, &_dry_gain, output_right, 1, frames);

    HF_Envelope_Generator &envelope = *_current_envelope;
    HF_Formant_Wah_Effect_Stereo &formant = *_formant_stereo;
    double level = _follower_level.load(std::memory_order_relaxed);
    if (formant.selected_stage_count() == 1) {
        for (UInt32 i = 0; i < frames; ++i) {
            double left = input_left[i], right = input_right[i];
            level = follower.step(i);
            formant.set_sweep_position(envelope.next_value(level));
            formant.process_sample(&left, &right);
            output_left[i] += _formant_gain * left;
            output_right[i] += _formant_gain * right;
        }
        _follower_level.store(level, std::memory_order_relaxed);
        return;
    }
    double levels[chain_frames], positions[chain_frames], filtered_left[chain_frames], filtered_right[chain_frames];
    for (UInt32 done = 0; done < frames;) {
        const UInt32 n = std::min(chain_frames, frames - done);
        follower.block(done, levels, n);
        envelope.next_values(levels, positions, n);
        level = levels[n - 1];
        formant.process_block(input_left + done, input_right + done, filtered_left, filtered_right, positions, n);
        for (UInt32 i = 0; i < n; ++i) {
            output_left[done + i] += _formant_gain * filtered_left[i];
            output_right[done + i] += _formant_gain * filtered_right[i];
        }
        done += n;
    }
    _follower_level.store(level, std::memory_order_relaxed);
}
