#include "dsp/HF_Nonlinear_Formant_Ladder_Effect.h"

#include "dsp/simd_path.h"

using dsp::lane2;

namespace {

using dsp::skew_block_frames;

// One block of at most skew_block_frames samples whose coefficients are in `track`: on the
// active instruction set's skewed kernel, or sample by sample with ladder_step (the scalar
// path, one-stage ladders, and a block the kernel refused because a non-finite value met it).
template <int Stages, dsp::ladder_kind Kind, class L, class Track>
void run_block(dsp::ladder_sections<Stages, L> &sections, dsp::biquad_memory<L> &up_memory,
               dsp::biquad_memory<L> &down_memory, const dsp::formant_ladder_settings &settings,
               const dsp::lowpass_biquad_coefficients &up, const dsp::lowpass_biquad_coefficients &down,
               const Track &track, const double *const in[], double *const out[], std::uint32_t count) noexcept {
    constexpr int channels = sizeof(L) / sizeof(double);
    if constexpr (Stages > 1) {
        const dsp::skewed_block<Stages, L> block{&sections, &up_memory, &down_memory, &settings, &up, &down, &track,
                                                 {in[0], in[channels - 1]},
                                                 {out[0], out[channels - 1]},
                                                 count};
        switch (dsp::active_simd_path()) {
        case dsp::simd_path::scalar: break;
        case dsp::simd_path::sse2:
            if (dsp::sse2::run_skewed<Stages, Kind>(block)) return;
            break;
#if defined(ZENTROVA_WIDE_SIMD)
        case dsp::simd_path::avx2:
            if (dsp::avx2::run_skewed<Stages, Kind>(block)) return;
            break;
        case dsp::simd_path::avx512:
            if (dsp::avx512::run_skewed<Stages, Kind>(block)) return;
            break;
#else
        default: break;
#endif
        }
    }
    // Local copies, so the state can live in registers: the output stores cannot alias it.
    auto sec = sections;
    auto up_m = up_memory;
    auto down_m = down_memory;
    auto per_sample = settings;
    const auto up_c = up;
    const auto down_c = down;
    for (std::uint32_t t = 0; t < count; ++t) {
        for (int j = 0; j < 3; ++j) per_sample.k[j] = track.at(j, t);
        if constexpr (channels == 1) {
            out[0][t] = dsp::ladder_step<Stages, Kind>(sec, up_m, down_m, per_sample, up_c, down_c, in[0][t]);
        } else {
            const L y = dsp::ladder_step<Stages, Kind>(sec, up_m, down_m, per_sample, up_c, down_c,
                                                       L{in[0][t], in[1][t]});
            out[0][t] = y[0];
            out[1][t] = y[1];
        }
    }
    sections = sec;
    up_memory = up_m;
    down_memory = down_m;
}

// The formants' coefficients for one block, as set_formant computes them.
template <class Track>
void fill_moving(Track &track, const dsp::formant_ladder_settings &settings, const double (*hz)[3],
                 std::uint32_t count) noexcept {
    for (std::uint32_t t = 0; t < count; ++t)
        for (int j = 0; j < 3; ++j) track.set(j, t, dsp::bounded_resonator_k(hz[t][j] * settings.frequency_scale));
    track.pad_ends(count);
}

template <class Track>
void fill_fixed(Track &track, const dsp::formant_ladder_settings &settings, std::uint32_t count) noexcept {
    for (std::uint32_t t = 0; t < count; ++t)
        for (int j = 0; j < 3; ++j) track.set(j, t, settings.k[j]);
    track.pad_ends(count);
}

}  // namespace

template <class Channels, int Stages, dsp::ladder_kind Kind>
[[gnu::always_inline]] inline auto HF_Nonlinear_Ladder<Channels, Stages, Kind>::step(lane x) noexcept -> lane {
    return dsp::ladder_step<Stages, Kind>(sections, this->up.memory(), this->down.memory(), this->ladder,
                                          this->up.coefficients(), this->down.coefficients(), x);
}

template <class Channels, int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder<Channels, Stages, Kind>::run(const double *const in[], double *const out[],
                                                      std::uint32_t count) noexcept {
    run_block<Stages, Kind>(sections, this->up.memory(), this->down.memory(), this->ladder, this->up.coefficients(),
                            this->down.coefficients(), track, in, out, count);
}

template <class Channels, int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder<Channels, Stages, Kind>::process_in_place(double *const channel[],
                                                                   std::uint32_t count) noexcept {
    // A block's input must outlive its output (a block that meets a non-finite value runs
    // again from its input): each block runs from a copy.
    double input[channels][skew_block_frames];
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = count - done < skew_block_frames ? count - done : skew_block_frames;
        const double *in[channels];
        double *out[channels];
        for (int c = 0; c < channels; ++c) {
            for (std::uint32_t i = 0; i < n; ++i) input[c][i] = channel[c][done + i];
            in[c] = input[c];
            out[c] = channel[c] + done;
        }
        fill_fixed(track, this->ladder, n);
        run(in, out, n);
        done += n;
    }
}

template <class Channels, int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder<Channels, Stages, Kind>::process_moving_formants(const double *const in[], double *const out[],
                                                                          const double (*moving_hz)[3],
                                                                          std::uint32_t count) noexcept {
    if (count == 0) return;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = count - done < skew_block_frames ? count - done : skew_block_frames;
        fill_moving(track, this->ladder, moving_hz + done, n);
        const double *block_in[channels];
        double *block_out[channels];
        for (int c = 0; c < channels; ++c) {
            block_in[c] = in[c] + done;
            block_out[c] = out[c] + done;
        }
        run(block_in, block_out, n);
        done += n;
    }
    for (int j = 0; j < 3; ++j) this->ladder.set_formant(j, moving_hz[count - 1][j]);
}

template <class Channels, int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder<Channels, Stages, Kind>::reset() noexcept {
    this->reset_filters();
    sections = {};
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Mono<Stages, Kind>::process_sample(double *sample) noexcept {
    *sample = this->step(*sample);
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Mono<Stages, Kind>::process_block(double *samples, std::uint32_t count) noexcept {
    double *const channel[] = {samples};
    this->process_in_place(channel, count);
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Stereo<Stages, Kind>::process_sample(double *left, double *right) noexcept {
    const lane2 y = this->step(lane2{*left, *right});
    *left = y[0];
    *right = y[1];
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Stereo<Stages, Kind>::process_block(double *left, double *right,
                                                             std::uint32_t count) noexcept {
    double *const channel[] = {left, right};
    this->process_in_place(channel, count);
}

#define HF_INSTANTIATE(stages)                                                                                        \
    template class HF_Nonlinear_Ladder<dsp::mono_channels, stages, dsp::ladder_kind::band_pass>;                      \
    template class HF_Nonlinear_Ladder<dsp::mono_channels, stages, dsp::ladder_kind::low_pass>;                       \
    template class HF_Nonlinear_Ladder<dsp::stereo_channels, stages, dsp::ladder_kind::band_pass>;                    \
    template class HF_Nonlinear_Ladder<dsp::stereo_channels, stages, dsp::ladder_kind::low_pass>;                     \
    template class HF_Nonlinear_Ladder_Mono<stages, dsp::ladder_kind::band_pass>;                                     \
    template class HF_Nonlinear_Ladder_Mono<stages, dsp::ladder_kind::low_pass>;                                      \
    template class HF_Nonlinear_Ladder_Stereo<stages, dsp::ladder_kind::band_pass>;                                   \
    template class HF_Nonlinear_Ladder_Stereo<stages, dsp::ladder_kind::low_pass>;
HF_INSTANTIATE(1)
HF_INSTANTIATE(2)
HF_INSTANTIATE(3)
HF_INSTANTIATE(4)
#undef HF_INSTANTIATE

namespace dsp {

void make_formant_ladders(double sample_period, std::unique_ptr<HF_Nonlinear_Ladder_Effect_Mono> (&out)[8]) {
    out[0] = std::make_unique<HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Mono>(sample_period);
    out[1] = std::make_unique<HF_Two_Stage_Nonlinear_Formant_Ladder_Effect_Mono>(sample_period);
    out[2] = std::make_unique<HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Mono>(sample_period);
    out[3] = std::make_unique<HF_Four_Stage_Nonlinear_Formant_Ladder_Effect_Mono>(sample_period);
    out[4] = std::make_unique<HF_One_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono>(sample_period);
    out[5] = std::make_unique<HF_Two_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono>(sample_period);
    out[6] = std::make_unique<HF_Three_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono>(sample_period);
    out[7] = std::make_unique<HF_Four_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono>(sample_period);
}

void make_formant_ladders(double sample_period, std::unique_ptr<HF_Nonlinear_Ladder_Effect_Stereo> (&out)[8]) {
    out[0] = std::make_unique<HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Stereo>(sample_period);
    out[1] = std::make_unique<HF_Two_Stage_Nonlinear_Formant_Ladder_Effect_Stereo>(sample_period);
    out[2] = std::make_unique<HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Stereo>(sample_period);
    out[3] = std::make_unique<HF_Four_Stage_Nonlinear_Formant_Ladder_Effect_Stereo>(sample_period);
    out[4] = std::make_unique<HF_One_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo>(sample_period);
    out[5] = std::make_unique<HF_Two_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo>(sample_period);
    out[6] = std::make_unique<HF_Three_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo>(sample_period);
    out[7] = std::make_unique<HF_Four_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo>(sample_period);
}

}  // namespace dsp
