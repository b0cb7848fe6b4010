// Validation shared by every sample-period setter of the signal classes.
#pragma once

#include <cmath>

namespace dsp {

// A period must be a positive finite number of seconds. Signal objects report no errors, so a
// setter handed anything else keeps the period it has (and still clears its state, as every
// sample-period setter does); a constructor handed one starts at 44.1 kHz.
inline bool is_valid_period(double seconds) noexcept { return std::isfinite(seconds) && seconds > 0.0; }

inline constexpr double fallback_period = 1.0 / 44100.0;

inline double valid_period_or_fallback(double seconds) noexcept {
    return is_valid_period(seconds) ? seconds : fallback_period;
}

}  // namespace dsp
