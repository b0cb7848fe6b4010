// The interface of every signal effect, in a one-channel and a two-channel tree.
//
// Threads: an effect has no concurrency of its own. Every operation runs on its owner's thread,
// one at a time; in the plug-in that is the render thread (the effect instance applies parameter
// changes there, at block starts).
#pragma once

#include <cstdint>

// Fields shared by both trees. The three derived values always follow sample_period and
// oversampling_factor; derived classes read them and never write them.
class HF_Effect_Rates {
public:
    double get_oversampled_rate() const noexcept { return oversampled_rate; }
    double get_oversampled_period() const noexcept { return oversampled_period; }
    double get_sample_rate() const noexcept { return sample_rate; }
    double get_sample_period() const noexcept { return sample_period; }
    double get_oversampling_factor() const noexcept { return oversampling_factor; }

protected:
    explicit HF_Effect_Rates(double period) noexcept;

    // For constructors of effects that compute internally at a multiple of the host rate.
    void set_oversampling_factor(double factor) noexcept;
    // Step 1 of set_sample_period: true when the period changed (and the rates were updated).
    bool store_sample_period(double period) noexcept;

    double oversampled_rate;
    double oversampled_period;
    double sample_rate;
    double sample_period;
    double oversampling_factor;

private:
    void derive_rates() noexcept;
};

class HF_Effect_Mono : public HF_Effect_Rates {
public:
    explicit HF_Effect_Mono(double sample_period) noexcept : HF_Effect_Rates(sample_period) {}
    virtual ~HF_Effect_Mono() = default;

    // Host period in seconds. On a new period: store it, derive the rates and call
    // update_coefficients; then, in every case, reset. An invalid period (not a positive finite
    // number) counts as unchanged.
    virtual void set_sample_period(double period) noexcept;
    // Processes one sample in place. [render thread]
    virtual void process_sample(double *sample) noexcept = 0;
    // Processes count consecutive samples in place, as process_sample on each in order.
    virtual void process_block(double *samples, std::uint32_t count) noexcept;
    virtual void update_coefficients() noexcept = 0;
    virtual void reset() noexcept = 0;

    HF_Effect_Mono(const HF_Effect_Mono &) = delete;
    HF_Effect_Mono &operator=(const HF_Effect_Mono &) = delete;
};

class HF_Effect_Stereo : public HF_Effect_Rates {
public:
    explicit HF_Effect_Stereo(double sample_period) noexcept : HF_Effect_Rates(sample_period) {}
    virtual ~HF_Effect_Stereo() = default;

    virtual void set_sample_period(double period) noexcept;
    // Processes one sample of each channel in place. [render thread]
    virtual void process_sample(double *left, double *right) noexcept = 0;
    // Two separate (not interleaved) channel buffers; samples of the same index go together.
    virtual void process_block(double *left, double *right, std::uint32_t count) noexcept;
    virtual void update_coefficients() noexcept = 0;
    virtual void reset() noexcept = 0;

    HF_Effect_Stereo(const HF_Effect_Stereo &) = delete;
    HF_Effect_Stereo &operator=(const HF_Effect_Stereo &) = delete;
};
