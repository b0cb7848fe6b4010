// The interface through which the formant wah effect drives its ladder filters: the effect
// interface plus a resonance and three formant frequencies. In these bases all four do nothing
// and the signal passes unchanged.
//
// Threads: the owner's thread only (see HF_Effect.h).
#pragma once

#include "dsp/HF_Pass_Effect.h"

// Pass is HF_Pass_Effect_Mono or HF_Pass_Effect_Stereo: one declaration for both channel counts.
template <class Pass> class HF_Formant_Wah_Pass_Effect : public Pass {
public:
    explicit HF_Formant_Wah_Pass_Effect(double sample_period) noexcept : Pass(sample_period) {}

    virtual void set_resonance(double) noexcept {}
    virtual void set_formant_1_frequency(double) noexcept {}
    virtual void set_formant_2_frequency(double) noexcept {}
    virtual void set_formant_3_frequency(double) noexcept {}
};

using HF_Formant_Wah_Pass_Effect_Mono = HF_Formant_Wah_Pass_Effect<HF_Pass_Effect_Mono>;
using HF_Formant_Wah_Pass_Effect_Stereo = HF_Formant_Wah_Pass_Effect<HF_Pass_Effect_Stereo>;
