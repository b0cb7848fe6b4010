// The interface through which the formant wah effect drives its ladder filters: the effect
// interface plus a resonance and three formant frequencies. In these bases all four do nothing
// and the signal passes unchanged.
//
// Threads: the owner's thread only (see HF_Effect.h).
#pragma once

#include "dsp/HF_Pass_Effect.h"

class HF_Formant_Wah_Pass_Effect_Mono : public HF_Pass_Effect_Mono {
public:
    explicit HF_Formant_Wah_Pass_Effect_Mono(double sample_period) noexcept : HF_Pass_Effect_Mono(sample_period) {}

    virtual void set_resonance(double) noexcept {}
    virtual void set_formant_1_frequency(double) noexcept {}
    virtual void set_formant_2_frequency(double) noexcept {}
    virtual void set_formant_3_frequency(double) noexcept {}
};

class HF_Formant_Wah_Pass_Effect_Stereo : public HF_Pass_Effect_Stereo {
public:
    explicit HF_Formant_Wah_Pass_Effect_Stereo(double sample_period) noexcept : HF_Pass_Effect_Stereo(sample_period) {}

    virtual void set_resonance(double) noexcept {}
    virtual void set_formant_1_frequency(double) noexcept {}
    virtual void set_formant_2_frequency(double) noexcept {}
    virtual void set_formant_3_frequency(double) noexcept {}
};
