// "Sweep Up": when the follower level reaches the trigger threshold the position runs linearly
// from 0 to 1 in the attack time and back to 0 in the release time, ignoring the input until it
// is back at rest.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

class HF_AR_Up_Envelope final : public HF_Envelope_Generator {
public:
    explicit HF_AR_Up_Envelope(double sample_period) noexcept;

    // Idle: a level at or above the threshold starts the attack (this sample already moves one
    // step). Attack: stops at the first position >= 1 (not clamped, so up to one step past 1).
    // Release: back to idle at 0 once the position is at most 0.000001 (at once for a one-sample
    // release). [render thread]
    double next_value(double level) noexcept override {
        if (!active) {
            if (level >= threshold) {
                active = true;
                position += attack_step;
                // A one-sample attack (0 ms) is complete on the triggering sample; any longer
                // one cannot reach 1 in its first step.
                attacking = attack_step < 1.0;
            }
            return position;
        }
        if (attacking) {
            position += attack_step;
            if (position >= 1.0) attacking = false;
            return position;
        }
        position += release_step;
        // A release of at most one sample (a 0 ms release: the step is held at -1) ends here,
        // even from the attack's overshoot past 1, which one step of -1 would not cover.
        if (position > 0.000001 && release_step > -1.0) return position;
        position = 0.0;
        active = false;
        return 0.0;
    }
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept override {
        for (std::uint32_t i = 0; i < count; ++i) positions[i] = HF_AR_Up_Envelope::next_value(levels[i]);
    }
    // Steps and threshold; a running sweep continues with the new step from the next sample.
    void update_coefficients() noexcept override;
    void update_for_sample_period() noexcept override { update_coefficients(); }
    void reset() noexcept override;

    double get_threshold() const noexcept { return threshold; }
    double get_position() const noexcept { return position; }
    bool is_active() const noexcept { return active; }

private:
    double threshold = 0.0;
    double attack_step = 0.0;   // +1000 T / attack ms
    double release_step = 0.0;  // -1000 T / release ms
    double position = 0.0;
    bool active = false;
    bool attacking = false;
};
