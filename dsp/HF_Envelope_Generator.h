// Envelope generators turn the follower level of each sample into a sweep position, nominally
// 0 to 1 (a sweep may pass an end by less than one step).
//
// Threads: next_value (and HF_MIDI_Envelope::begin_block) run on the render thread once per
// sample (per block); the setters apply parameter and rate changes and must not run at the same
// time (the owner serialises them).
#pragma once

#include <cstdint>

class HF_Envelope_Generator {
public:
    explicit HF_Envelope_Generator(double sample_period) noexcept;
    virtual ~HF_Envelope_Generator() = default;

    // Each stores a changed value and then recomputes (update_coefficients); an unchanged value
    // does nothing.
    virtual void set_trigger_sensitivity(double db) noexcept;
    virtual void set_attack_time(double ms) noexcept;
    virtual void set_release_time(double ms) noexcept;
    // On a new period: store it and update_for_sample_period; then, in every case, reset. An
    // invalid period (not a positive finite number) counts as unchanged.
    virtual void set_sample_period(double seconds) noexcept;
    // The sweep position for this sample. [render thread]
    virtual double next_value(double level) noexcept = 0;
    // next_value for each of count levels in order, one virtual call per block: each generator
    // overrides it with a loop over its own next_value, which then inlines. [render thread]
    virtual void next_values(const double *levels, double *positions, std::uint32_t count) noexcept;
    virtual void update_coefficients() noexcept = 0;
    virtual void update_for_sample_period() noexcept = 0;
    virtual void reset() noexcept = 0;

    double get_sample_period() const noexcept { return sample_period; }
    double get_attack_time() const noexcept { return attack_time; }
    double get_release_time() const noexcept { return release_time; }
    double get_trigger_sensitivity() const noexcept { return trigger_sensitivity; }

    HF_Envelope_Generator(const HF_Envelope_Generator &) = delete;
    HF_Envelope_Generator &operator=(const HF_Envelope_Generator &) = delete;

protected:
    double sample_period;
    double attack_time = 250.0;   // ms
    double release_time = 250.0;  // ms
    // The owner delivers "Trigger Sensitivity" right after construction; until then the
    // generators start from that parameter's default, -12 dB, so the thresholds and the
    // reference level are defined and match what a fresh instance will be told anyway.
    double trigger_sensitivity = -12.0;  // dB
};

namespace dsp {

// Per-sample change of a sweep segment lasting `ms` milliseconds: 1000 T / ms. A segment
// cannot be shorter than one sample, so the magnitude is held at 1 (the whole segment in one
// step, which the sweeps complete on that very sample): that covers 0 ms (an infinite step),
// negative times and NaN, and keeps the position finite and within the range.
double sweep_step(double sample_period, double ms) noexcept;

// Linear trigger level: 10^(dB / 20) above -79 dB, else 0 (every sample triggers).
double trigger_threshold(double db) noexcept;

}  // namespace dsp
