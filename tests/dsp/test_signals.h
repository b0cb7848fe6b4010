// Deterministic test signals shared by the dsp tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace test_signals {

// A voice-like test input: a 110 Hz sawtooth with a slow amplitude swell plus a little
// pseudo-random noise, so the saturators see both their curve and their ceiling.
inline std::vector<double> voice(std::size_t n, double sample_rate, std::uint32_t seed = 1, double gain = 1.0) {
    std::vector<double> out(n);
    std::uint32_t state = seed * 747796405u + 2891336453u;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 0.2;
        const double t = static_cast<double>(i) / sample_rate;
        const double saw = 2.0 * (t * 110.0 - std::floor(t * 110.0 + 0.5));
        const double swell = 0.5 + 0.5 * std::sin(2.0 * std::numbers::pi * 1.5 * t);
        out[i] = gain * (0.9 * swell * saw + noise);
    }
    return out;
}

// A sweep position path that visits the whole vowel path and overshoots both ends slightly.
inline double sweep_at(std::size_t i, std::size_t n) {
    const double phase = static_cast<double>(i) / static_cast<double>(n);
    return 0.5 - 0.51 * std::cos(2.0 * std::numbers::pi * 2.0 * phase);
}

}  // namespace test_signals
