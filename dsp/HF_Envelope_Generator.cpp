#include "dsp/HF_Envelope_Generator.h"

#include "dsp/sample_period.h"

#include <cmath>

HF_Envelope_Generator::HF_Envelope_Generator(double period) noexcept
    : sample_period(dsp::valid_period_or_fallback(period)) {}

void HF_Envelope_Generator::set_trigger_sensitivity(double db) noexcept {
    if (db == trigger_sensitivity) return;
    trigger_sensitivity = db;
    update_coefficients();
}

void HF_Envelope_Generator::set_attack_time(double ms) noexcept {
    if (ms == attack_time) return;
    attack_time = ms;
    update_coefficients();
}

void HF_Envelope_Generator::set_release_time(double ms) noexcept {
    if (ms == release_time) return;
    release_time = ms;
    update_coefficients();
}

void HF_Envelope_Generator::next_values(const double *levels, double *positions, std::uint32_t count) noexcept {
    for (std::uint32_t i = 0; i < count; ++i) positions[i] = next_value(levels[i]);
}

void HF_Envelope_Generator::set_sample_period(double seconds) noexcept {
    if (dsp::is_valid_period(seconds) && seconds != sample_period) {
        sample_period = seconds;
        update_for_sample_period();
    }
    reset();
}

namespace dsp {

double sweep_step(double sample_period, double ms) noexcept {
    if (!(ms > 0.0)) return 1.0;
    const double step = 1000.0 * sample_period / ms;
    return step < 1.0 ? step : 1.0;
}

double trigger_threshold(double db) noexcept { return db > -79.0 ? std::pow(10.0, db * 0.05) : 0.0; }

}  // namespace dsp
