// The input follower: a peak follower with separate attack and release times that turns the
// input, sample by sample, into a smoothed amplitude (the follower level).
//
// Threads: process runs on the render thread once per sample; the setters apply parameter and
// rate changes and must not run while process runs (the owner serialises them).
#pragma once

#include <cmath>
#include <cstdint>

namespace dsp {

// The state and arithmetic both gauges share; they differ only in how they rectify.
class envelope_follower {
public:
    explicit envelope_follower(double sample_period) noexcept;

    void set_attack_time(double seconds) noexcept;
    void set_release_time(double seconds) noexcept;
    void set_sample_period(double seconds) noexcept;

    // Distance to the rectified input shrinks by the release coefficient when falling (or
    // equal) and by the attack coefficient when rising.
    double advance(double rectified) noexcept {
        const double c = level >= rectified ? release_coefficient : attack_coefficient;
        level = (level - rectified) * c + rectified;
        // A non-finite input would hold the level at NaN for good; start again from silence.
        if (!std::isfinite(level)) [[unlikely]]
            level = 0.0;
        return level;
    }

    double get_level() const noexcept { return level; }
    double get_attack_time() const noexcept { return attack_time; }
    double get_release_time() const noexcept { return release_time; }
    double get_attack_coefficient() const noexcept { return attack_coefficient; }
    double get_release_coefficient() const noexcept { return release_coefficient; }
    double get_sample_period() const noexcept { return sample_period; }

private:
    double sample_period;
    double attack_time = 0.01;
    double release_time = 1.0;
    double attack_coefficient;
    double release_coefficient;
    double level = 0.0;
};

}  // namespace dsp

class HF_Envelope_Gauge_Mono {
public:
    explicit HF_Envelope_Gauge_Mono(double sample_period) noexcept : follower(sample_period) {}
    virtual ~HF_Envelope_Gauge_Mono() = default;

    // Seconds, at least 0.0001; an unchanged value recomputes nothing.
    void set_attack_time(double seconds) noexcept { follower.set_attack_time(seconds); }
    void set_release_time(double seconds) noexcept { follower.set_release_time(seconds); }
    // Recomputes the coefficients on a new period; always sets the level to 0.
    void set_sample_period(double seconds) noexcept { follower.set_sample_period(seconds); }

    // Advances one sample and returns the new level. [render thread]
    double process(double x) noexcept { return follower.advance(std::fabs(x)); }
    // process on each of count samples, the levels to levels[]; the samples may be the host's
    // 32-bit floats, widened exactly on the way in. [render thread]
    template <typename Sample> void process_block(const Sample *x, double *levels, std::uint32_t count) noexcept {
        dsp::envelope_follower f = follower;  // a local copy: the stores to levels cannot alias it
        for (std::uint32_t i = 0; i < count; ++i) levels[i] = f.advance(std::fabs(double(x[i])));
        follower = f;
    }

    const dsp::envelope_follower &state() const noexcept { return follower; }

private:
    dsp::envelope_follower follower;
};

class HF_Envelope_Gauge_Stereo {
public:
    explicit HF_Envelope_Gauge_Stereo(double sample_period) noexcept : follower(sample_period) {}
    virtual ~HF_Envelope_Gauge_Stereo() = default;

    void set_attack_time(double seconds) noexcept { follower.set_attack_time(seconds); }
    void set_release_time(double seconds) noexcept { follower.set_release_time(seconds); }
    void set_sample_period(double seconds) noexcept { follower.set_sample_period(seconds); }

    // One level for both channels: it follows the mean of the two magnitudes. [render thread]
    double process(double left, double right) noexcept {
        return follower.advance((std::fabs(left) + std::fabs(right)) * 0.5);
    }
    template <typename Sample>
    void process_block(const Sample *left, const Sample *right, double *levels, std::uint32_t count) noexcept {
        dsp::envelope_follower f = follower;
        for (std::uint32_t i = 0; i < count; ++i)
            levels[i] = f.advance((std::fabs(double(left[i])) + std::fabs(double(right[i]))) * 0.5);
        follower = f;
    }

    const dsp::envelope_follower &state() const noexcept { return follower; }

private:
    dsp::envelope_follower follower;
};
