#include "dsp/HF_Nonlinear_Ladder_Effect.h"

#include "dsp/sample_period.h"

#include <initializer_list>

namespace {
constexpr double oversampling = 2.0;
constexpr double filter_q = 0.95;
}  // namespace

template <class Channels>
HF_Nonlinear_Ladder_Effect<Channels>::HF_Nonlinear_Ladder_Effect(double sample_period) noexcept
    : Channels::wah_pass_effect(sample_period),
      up(dsp::valid_period_or_fallback(sample_period) / oversampling),
      down(dsp::valid_period_or_fallback(sample_period) / oversampling) {
    this->set_oversampling_factor(oversampling);
    ladder.update_scales(this->oversampled_period);
    for (auto *filter : {&up, &down}) {
        filter->set_cutoff(this->sample_rate * 0.25);
        filter->set_q(filter_q);
    }
}

template <class Channels> void HF_Nonlinear_Ladder_Effect<Channels>::update_coefficients() noexcept {
    ladder.update_scales(this->oversampled_period);
    for (auto *filter : {&up, &down}) {
        filter->set_cutoff(this->sample_rate * 0.25);
        filter->set_q(filter_q);
    }
}

template <class Channels> void HF_Nonlinear_Ladder_Effect<Channels>::reset_filters() noexcept {
    up.set_period(this->oversampled_period);
    down.set_period(this->oversampled_period);
}

template class HF_Nonlinear_Ladder_Effect<dsp::mono_channels>;
template class HF_Nonlinear_Ladder_Effect<dsp::stereo_channels>;
