// Effects that silence the signal.
#pragma once

#include "dsp/HF_Effect.h"

#include <algorithm>

class HF_Off_Effect_Mono final : public HF_Effect_Mono {
public:
    explicit HF_Off_Effect_Mono(double sample_period) noexcept : HF_Effect_Mono(sample_period) {}

    void process_sample(double *sample) noexcept override { *sample = 0.0; }
    void process_block(double *samples, std::uint32_t count) noexcept override {
        std::fill(samples, samples + count, 0.0);
    }
    void update_coefficients() noexcept override {}
    void reset() noexcept override {}
};

class HF_Off_Effect_Stereo final : public HF_Effect_Stereo {
public:
    explicit HF_Off_Effect_Stereo(double sample_period) noexcept : HF_Effect_Stereo(sample_period) {}

    void process_sample(double *left, double *right) noexcept override { *left = *right = 0.0; }
    void process_block(double *left, double *right, std::uint32_t count) noexcept override {
        std::fill(left, left + count, 0.0);
        std::fill(right, right + count, 0.0);
    }
    void update_coefficients() noexcept override {}
    void reset() noexcept override {}
};
