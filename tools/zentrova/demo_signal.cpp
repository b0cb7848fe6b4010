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

// The whole signal, silent, to be written sample by sample.
stereo_signal silence(double seconds, double sample_rate) {
    const auto frames = static_cast<std::size_t>(seconds * sample_rate);
    stereo_signal s;
    s.sample_rate = sample_rate;
    s.left.assign(frames, 0.0f);
    s.right.assign(frames, 0.0f);
    return s;
}

}  // namespace

stereo_signal make_demo_signal(double seconds, double sample_rate) {
    stereo_signal s = silence(seconds, sample_rate);
    const std::size_t frames = s.left.size();

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

stereo_signal make_pad_signal(double seconds, double sample_rate) {
    stereo_signal s = silence(seconds, sample_rate);
    const std::size_t frames = s.left.size();
    // A minor seventh chord on A, changing to F major seventh halfway; each voice two saws
    // detuned apart, one leaning left and one right.
    const double chords[2][4] = {{110.0, 130.81, 164.81, 196.0}, {87.31, 110.0, 130.81, 164.81}};
    double phases[4][2] = {};
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sample_rate;
        const double *chord = chords[t < seconds / 2 ? 0 : 1];
        const double swell = std::min(1.0, t * 4.0) * std::min(1.0, (seconds - t) * 4.0);
        double left = 0, right = 0;
        for (int v = 0; v < 4; ++v)
            for (int side = 0; side < 2; ++side) {
                const double f = chord[v] * (side ? 1.004 : 0.996);
                phases[v][side] += f / sample_rate;
                phases[v][side] -= std::floor(phases[v][side]);
                (side ? right : left) += saw(phases[v][side], f / sample_rate);
            }
        s.left[n] = static_cast<float>(0.09 * swell * left);
        s.right[n] = static_cast<float>(0.09 * swell * right);
    }
    return s;
}

stereo_signal make_drum_signal(double seconds, double sample_rate) {
    stereo_signal s = silence(seconds, sample_rate);
    const std::size_t frames = s.left.size();
    const double beat = 60.0 / 112.0;
    noise hiss;
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / sample_rate;
        // Kick on beats 1 and 3 and the "and" of 3, snare on 2 and 4.
        const double bar = std::fmod(t, 4 * beat);
        double kick_time = bar < 2 * beat ? bar : bar < 2.5 * beat ? bar - 2 * beat : bar - 2.5 * beat;
        if (bar < 2 * beat && kick_time >= beat) kick_time = 10.0;  // beat 2: no kick
        const double kick = kick_time < 0.3
                                ? std::sin(2 * M_PI * (50.0 * kick_time + 6.0 * (1 - std::exp(-kick_time * 30.0)))) *
                                      std::exp(-kick_time * 9.0)
                                : 0.0;
        const double snare_time = std::fmod(t + beat, 2 * beat);
        const double snare = snare_time < 0.2 ? hiss.next() * std::exp(-snare_time * 22.0) : 0.0;
        s.left[n] = static_cast<float>(0.8 * kick + 0.35 * snare);
        s.right[n] = static_cast<float>(0.8 * kick + 0.30 * snare);
    }
    return s;
}

}  // namespace zentrova_cli
