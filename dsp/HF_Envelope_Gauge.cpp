#include "dsp/HF_Envelope_Gauge.h"

#include "dsp/sample_period.h"

#include <cmath>

namespace dsp {

namespace {
constexpr double minimum_time = 0.0001;

// c = 0.01^(T / tau): the distance to a constant input shrinks to 1 % (-40 dB) in tau seconds.
double coefficient(double period, double seconds) { return std::pow(0.01, period / seconds); }

// NaN lands on the floor as well.
double bounded_time(double seconds) { return seconds > minimum_time ? seconds : minimum_time; }
}  // namespace

envelope_follower::envelope_follower(double period) noexcept
    : sample_period(valid_period_or_fallback(period)),
      attack_coefficient(coefficient(sample_period, attack_time)),
      release_coefficient(coefficient(sample_period, release_time)) {}

void envelope_follower::set_attack_time(double seconds) noexcept {
    const double t = bounded_time(seconds);
    if (t == attack_time) return;
    attack_time = t;
    attack_coefficient = coefficient(sample_period, attack_time);
}

void envelope_follower::set_release_time(double seconds) noexcept {
    const double t = bounded_time(seconds);
    if (t == release_time) return;
    release_time = t;
    release_coefficient = coefficient(sample_period, release_time);
}

void envelope_follower::set_sample_period(double seconds) noexcept {
    if (is_valid_period(seconds) && seconds != sample_period) {
        sample_period = seconds;
        attack_coefficient = coefficient(sample_period, attack_time);
        release_coefficient = coefficient(sample_period, release_time);
    }
    level = 0.0;
}

}  // namespace dsp
