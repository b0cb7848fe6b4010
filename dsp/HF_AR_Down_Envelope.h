// "Sweep Down": rests at 1; when the follower level reaches the trigger threshold the position
// runs linearly to 0 in the attack time and back to 1 in the release time, ignoring the input
// until it is back at rest.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

class HF_AR_Down_Envelope final : public HF_Envelope_Generator {
public:
    explicit HF_AR_Down_Envelope(double sample_period) noexcept;

    // Attack ends at the first position <= 0.000001 (not clamped, so it may lie slightly below
    // 0); release ends at the first position >= 0.999999, which is set to 1 (at once for a
    // one-sample release). [render thread]
    double next_value(double level) noexcept override {
        if (!active) {
            if (level >= threshold) {
                active = true;
                position += attack_step;
                attacking = attack_step > -1.0;  // a one-sample attack is complete at once
            }
            return position;
        }
        if (attacking) {
            position += attack_step;
            if (position <= 0.000001) attacking = false;
            return position;
        }
        position += release_step;
        // A release of at most one sample (step held at +1) ends here, even from an attack that
        // stopped below 0.
        if (position < 0.999999 && release_step < 1.0) return position;
        position = 1.0;
        active = false;
        return 1.0;
    }
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept override {
        for (std::uint32_t i = 0; i < count; ++i) positions[i] = HF_AR_Down_Envelope::next_value(levels[i]);
    }
    void update_coefficients() noexcept override;
    void update_for_sample_period() noexcept override { update_coefficients(); }
    void reset() noexcept override;

    double get_threshold() const noexcept { return threshold; }
    double get_position() const noexcept { return position; }
    bool is_active() const noexcept { return active; }

private:
    double threshold = 0.0;
    double attack_step = 0.0;   // -1000 T / attack ms
    double release_step = 0.0;  // +1000 T / release ms
    double position = 1.0;
    bool active = false;
    bool attacking = false;
};
