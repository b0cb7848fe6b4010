#include "dsp/HF_Formant_Wah_Effect.h"

#include "dsp/vowel_table.h"

#include <cmath>

namespace {
// Index of the creation-order array for each "Formant Filter Type".
constexpr int ladder_for_type[8] = {4, 5, 6, 7, 0, 1, 2, 3};
}  // namespace

template <class Channels>
HF_Formant_Wah_Effect<Channels>::HF_Formant_Wah_Effect(double sample_period) : Channels::pass_effect(sample_period) {
    dsp::make_formant_ladders(this->oversampled_period, filters);
    selected = filters[ladder_for_type[0]].get();
    for (auto &f : filters) f->set_resonance(0.5);
    // Segments, current formants and saturation follow the initial settings from the start,
    // so every ladder holds the stored drive and the formants are defined before the owner's
    // first set_sweep_position.
    compute_first_segment();
    compute_second_segment();
    apply_drive_to_ladders();
    set_sweep_position(0.0);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::reset() noexcept {
    for (auto &f : filters) f->set_sample_period(this->oversampled_period);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_filter_type(std::uint32_t index) noexcept {
    const int i = ladder_for_type[index < 8 ? index : 0];
    selected = filters[i].get();
    selected_stages = i % 4 + 1;  // creation order: one to four stages, twice
    set_sweep_position(sweep_position);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::compute_first_segment() noexcept {
    first.span(dsp::vowel_table[start_vowel], dsp::vowel_table[middle_vowel]);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::compute_second_segment() noexcept {
    second.span(dsp::vowel_table[middle_vowel], dsp::vowel_table[end_vowel]);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_start_formant(std::uint32_t row) noexcept {
    start_vowel = dsp::bounded_vowel_row(row);
    compute_first_segment();
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_middle_formant(std::uint32_t row) noexcept {
    middle_vowel = dsp::bounded_vowel_row(row);
    compute_first_segment();
    compute_second_segment();
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_end_formant(std::uint32_t row) noexcept {
    end_vowel = dsp::bounded_vowel_row(row);
    compute_second_segment();
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_resonance(double value) noexcept {
    if (value == resonance) return;
    resonance = value;
    for (auto &f : filters) f->set_resonance(value);
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::set_drive(double value) noexcept {
    if (std::isnan(value)) return;  // no meaningful drive: keep the current one
    const double c = value < 0.0001 ? 0.0001 : (value > 1.0 ? 1.0 : value);
    if (c == drive) return;
    drive = c;
    apply_drive_to_ladders();
}

template <class Channels> void HF_Formant_Wah_Effect<Channels>::apply_drive_to_ladders() noexcept {
    // Drive 0: slope 2/3 at the origin, ceiling 2/3 at |x| = 1. Drive 1: slope 2, ceiling 1/15
    // at |x| = 0.1.
    const double shape = drive * 0.6666666666666666 + 0.3333333333333333;
    const double limit = (1.0 - drive) * 0.9 + 0.1;
    const double gain = 0.6666666666666666;
    for (auto &f : filters) f->set_saturation(shape, limit, gain);
}

template class HF_Formant_Wah_Effect<dsp::mono_channels>;
template class HF_Formant_Wah_Effect<dsp::stereo_channels>;
