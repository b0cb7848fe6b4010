// "None": holds the sweep at 0, so the filter stays on the start vowel.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

class HF_NO_Envelope final : public HF_Envelope_Generator {
public:
    using HF_Envelope_Generator::HF_Envelope_Generator;

    double next_value(double) noexcept override { return 0.0; }
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept override {
        for (std::uint32_t i = 0; i < count; ++i) positions[i] = HF_NO_Envelope::next_value(levels[i]);
    }
    void update_coefficients() noexcept override {}
    void update_for_sample_period() noexcept override {}
    void reset() noexcept override {}
};
