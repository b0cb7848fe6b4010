// The two triggered sweeps, "Sweep Up" (HF_AR_Up_Envelope) and "Sweep Down"
// (HF_AR_Down_Envelope): at rest until the follower level reaches the trigger threshold, then
// linearly to the other end in the attack time and back in the release time, ignoring the input
// until at rest again. The level is examined only at rest, so the earliest retrigger is on the
// sample after the sweep returns.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

namespace dsp {

// The directions are not mirror images in their end tests (the rising attack ends at 1, the
// falling one at 0.000001), so each states its own.

// Sweep Up: rests at 0, rises to 1 and falls back.
struct rising_sweep {
    static constexpr double rest = 0.0;
    static double toward_far_end(double step) noexcept { return step; }
    // A one-sample attack (0 ms: the step is held at +1) is complete on the triggering sample;
    // any longer one cannot reach 1 in its first step.
    static bool attack_outlasts_first_step(double step) noexcept { return step < 1.0; }
    // Not clamped, so the position may pass 1 by up to one step.
    static bool attack_ended(double position) noexcept { return position >= 1.0; }
    // A release of at most one sample (step held at -1) ends at once, even from the attack's
    // overshoot past 1, which one step of -1 would not cover.
    static bool release_goes_on(double position, double step) noexcept { return position > 0.000001 && step > -1.0; }
};

// Sweep Down: rests at 1, falls to 0 and rises back.
struct falling_sweep {
    static constexpr double rest = 1.0;
    static double toward_far_end(double step) noexcept { return -step; }
    static bool attack_outlasts_first_step(double step) noexcept { return step > -1.0; }
    // Not clamped, so the position may lie slightly below 0.
    static bool attack_ended(double position) noexcept { return position <= 0.000001; }
    // A release of at most one sample (step held at +1) ends at once, even from an attack that
    // stopped below 0.
    static bool release_goes_on(double position, double step) noexcept { return position < 0.999999 && step < 1.0; }
};

}  // namespace dsp

template <class Direction> class HF_AR_Envelope : public HF_Envelope_Generator {
public:
    explicit HF_AR_Envelope(double sample_period) noexcept;

    // At rest: a level at or above the threshold starts the attack, and this sample already
    // moves one step. The release ends at rest exactly. [render thread]
    double next_value(double level) noexcept final {
        if (!active) {
            if (level >= threshold) {
                active = true;
                position += attack_step;
                attacking = Direction::attack_outlasts_first_step(attack_step);
            }
            return position;
        }
        if (attacking) {
            position += attack_step;
            if (Direction::attack_ended(position)) attacking = false;
            return position;
        }
        position += release_step;
        if (Direction::release_goes_on(position, release_step)) return position;
        position = Direction::rest;
        active = false;
        return Direction::rest;
    }
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept final {
        for (std::uint32_t i = 0; i < count; ++i) positions[i] = HF_AR_Envelope::next_value(levels[i]);
    }
    // Steps and threshold; a running sweep continues with the new step from the next sample.
    void update_coefficients() noexcept final;
    void update_for_sample_period() noexcept final { update_coefficients(); }
    // To rest, idle.
    void reset() noexcept final;

    double get_threshold() const noexcept { return threshold; }
    double get_position() const noexcept { return position; }
    bool is_active() const noexcept { return active; }

private:
    double threshold = 0.0;
    double attack_step = 0.0;   // toward the other end: 1000 T / attack ms
    double release_step = 0.0;  // back toward rest: 1000 T / release ms
    double position = Direction::rest;
    bool active = false;
    bool attacking = false;
};

extern template class HF_AR_Envelope<dsp::rising_sweep>;
extern template class HF_AR_Envelope<dsp::falling_sweep>;
