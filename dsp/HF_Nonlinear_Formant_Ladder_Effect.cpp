#include "dsp/HF_Nonlinear_Formant_Ladder_Effect.h"

using dsp::lane2;

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Mono<Stages, Kind>::process_sample(double *sample) noexcept {
    *sample = dsp::ladder_step<Stages, Kind>(sections, up.memory(), down.memory(), ladder, up.coefficients(),
                                             down.coefficients(), *sample);
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Mono<Stages, Kind>::process_block(double *samples, std::uint32_t count) noexcept {
    // Work on local copies so the state can live in registers: the buffer stores cannot alias it.
    auto sec = sections;
    auto up_memory = up.memory();
    auto down_memory = down.memory();
    const auto settings = ladder;
    const auto up_coefficients = up.coefficients();
    const auto down_coefficients = down.coefficients();
    for (std::uint32_t i = 0; i < count; ++i)
        samples[i] = dsp::ladder_step<Stages, Kind>(sec, up_memory, down_memory, settings, up_coefficients,
                                                    down_coefficients, samples[i]);
    sections = sec;
    up.memory() = up_memory;
    down.memory() = down_memory;
}

template <int Stages, dsp::ladder_kind Kind> void HF_Nonlinear_Ladder_Mono<Stages, Kind>::reset() noexcept {
    reset_filters();
    sections = {};
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Stereo<Stages, Kind>::process_sample(double *left, double *right) noexcept {
    const lane2 y = dsp::ladder_step<Stages, Kind>(sections, up.memory(), down.memory(), ladder, up.coefficients(),
                                                   down.coefficients(), lane2{*left, *right});
    *left = y[0];
    *right = y[1];
}

template <int Stages, dsp::ladder_kind Kind>
void HF_Nonlinear_Ladder_Stereo<Stages, Kind>::process_block(double *left, double *right,
                                                             std::uint32_t count) noexcept {
    auto sec = sections;
    auto up_memory = up.memory();
    auto down_memory = down.memory();
    const auto settings = ladder;
    const auto up_coefficients = up.coefficients();
    const auto down_coefficients = down.coefficients();
    for (std::uint32_t i = 0; i < count; ++i) {
        const lane2 y = dsp::ladder_step<Stages, Kind>(sec, up_memory, down_memory, settings, up_coefficients,
                                                       down_coefficients, lane2{left[i], right[i]});
        left[i] = y[0];
        right[i] = y[1];
    }
    sections = sec;
    up.memory() = up_memory;
    down.memory() = down_memory;
}

template <int Stages, dsp::ladder_kind Kind> void HF_Nonlinear_Ladder_Stereo<Stages, Kind>::reset() noexcept {
    reset_filters();
    sections = {};
}

#define HF_INSTANTIATE(stages)                                                                                        \
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
