#include "dsp/HF_Effect.h"

#include "dsp/sample_period.h"

HF_Effect_Rates::HF_Effect_Rates(double period) noexcept
    : oversampled_rate(0.0), oversampled_period(0.0), sample_rate(0.0),
      sample_period(dsp::valid_period_or_fallback(period)), oversampling_factor(1.0) {
    derive_rates();
}

void HF_Effect_Rates::derive_rates() noexcept {
    sample_rate = 1.0 / sample_period;
    oversampled_period = sample_period / oversampling_factor;
    oversampled_rate = (1.0 / sample_period) * oversampling_factor;
}

void HF_Effect_Rates::set_oversampling_factor(double factor) noexcept {
    oversampling_factor = factor;
    derive_rates();
}

bool HF_Effect_Rates::store_sample_period(double period) noexcept {
    if (!dsp::is_valid_period(period) || period == sample_period) return false;
    sample_period = period;
    derive_rates();
    return true;
}

void HF_Effect_Mono::set_sample_period(double period) noexcept {
    if (store_sample_period(period)) update_coefficients();
    reset();
}

void HF_Effect_Mono::process_block(double *samples, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) process_sample(samples + i);
}

void HF_Effect_Stereo::set_sample_period(double period) noexcept {
    if (store_sample_period(period)) update_coefficients();
    reset();
}

void HF_Effect_Stereo::process_block(double *left, double *right, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) process_sample(left + i, right + i);
}
