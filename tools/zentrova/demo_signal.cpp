#include "demo_signal.h"

#include <cmath>
#include <cstdint>

namespace zentrova_cli {
namespace {

// Sawtooth with polynomial band-limited steps (PolyBLEP): rich in harmonics to the top of the
// band, with the aliasing of the naive ramp's jump smoothed away.
double saw(double phase, double increment) {
    double value = 2.0 * phase - 1.0;
    if (phase < increment) {
        const double x = phase / increment;
        value -= x + x - x * x - 1.0;
    } else if (phase > 1.0 - increment) {
        const double x = (phase - 1.0) / increment;
        value -= x * x + x + x + 1.0;
    }
    return value;
}

struct noise {
    uint32_t state = 0x12345678u;
    double next() {  // xorshift32, uniform in [-1, 1)
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

}  // namespace

stereo_signal make_demo_signal(double seconds, double sample_rate) {
    const auto frames = static_cast<std::size_t>(seconds * sample_rate);
    stereo_signal s;
    s.sample_rate = sample_rate;
    s.left.assign(frames, 0.0f);
    s.right.assign(frames, 0.0f);

    const double beat = 60.0 / 112.0;  // 112 beats per minute
    const double eighth = beat / 2;
    // A two-bar riff of root notes (Hz), one per eighth note, under a held fifth.
    const double riff[16] = {55.0, 55.0, 110.0, 55.0, 65.41, 65.41, 130.81, 73.42,
                             55.0, 55.0, 110.0, 55.0, 49.0,  49.0,  98.0,   61.74};
    noise hiss;
    double phase_a = 0, phase_b = 0, phase_c = 0;
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sample_rate;
        const auto step = static_cast<std::size_t>(t / eighth);
        const double in_step = t - static_cast<double>(step) * eighth;
        const double root = riff[step % 16];

        // Plucked saw chord: root, octave and fifth, each note decaying within its eighth.
        const double pluck = std::exp(-in_step * 9.0) * std::min(1.0, in_step * 400.0);
        phase_a += root / sample_rate;
        phase_b += root * 2.0 * 1.003 / sample_rate;
        phase_c += root * 3.0 * 0.997 / sample_rate;
        phase_a -= std::floor(phase_a);
        phase_b -= std::floor(phase_b);
        phase_c -= std::floor(phase_c);
        const double a = saw(phase_a, root / sample_rate);
        const double b = saw(phase_b, root * 2.0 * 1.003 / sample_rate);
        const double c = saw(phase_c, root * 3.0 * 0.997 / sample_rate);

        // Off-beat hats: short noise bursts.
        const double hat_time = std::fmod(t + eighth, beat);
        const double hat = hat_time < 0.04 ? hiss.next() * std::exp(-hat_time * 120.0) : 0.0;

        const double left = 0.30 * pluck * (a + 0.6 * b + 0.35 * c) + 0.06 * hat;
        const double right = 0.30 * pluck * (a + 0.35 * b + 0.6 * c) + 0.05 * hat;
        s.left[n] = static_cast<float>(left);
        s.right[n] = static_cast<float>(right);
    }
    return s;
}

}  // namespace zentrova_cli
