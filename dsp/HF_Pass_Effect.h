// Effects that leave the signal untouched: the base of every effect that overrides only what
// it needs (the formant wah effect and the ladder filters).
#pragma once

#include "dsp/HF_Effect.h"

class HF_Pass_Effect_Mono : public HF_Effect_Mono {
public:
    explicit HF_Pass_Effect_Mono(double sample_period) noexcept : HF_Effect_Mono(sample_period) {}

    void process_sample(double *) noexcept override {}
    void process_block(double *, std::uint32_t) noexcept override {}
    void update_coefficients() noexcept override {}
    void reset() noexcept override {}
};

class HF_Pass_Effect_Stereo : public HF_Effect_Stereo {
public:
    explicit HF_Pass_Effect_Stereo(double sample_period) noexcept : HF_Effect_Stereo(sample_period) {}

    void process_sample(double *, double *) noexcept override {}
    void process_block(double *, double *, std::uint32_t) noexcept override {}
    void update_coefficients() noexcept override {}
    void reset() noexcept override {}
};
