// The formant wah effect: turns a sweep position (0 to 1) into three formant frequencies on a
// path of three vowels (start at 0, middle at 0.5, end at 1) and filters the signal with the
// selected one of its eight ladder filters.
//
// Threads: the owner's thread only. In the plug-in, the block form of process_block (sweep
// positions in, one per sample) runs on the render thread; it is set_sweep_position and
// process_sample per sample, done faster. The other setters apply parameter changes and must not
// run while a block is being processed.
#pragma once

#include "dsp/HF_Nonlinear_Formant_Ladder_Effect.h"

#include <cstdint>
#include <memory>

template <class Channels> class HF_Formant_Wah_Effect : public Channels::pass_effect {
public:
    using ladder_type = HF_Nonlinear_Ladder_Effect<Channels>;

    // Creates the eight ladders (band-pass 1-4 stages, then low-pass 1-4 stages) and selects the
    // one-stage low-pass one; resonance 0.5, drive 0.3333, vowels 0, 1, 2, position 0.
    explicit HF_Formant_Wah_Effect(double sample_period);

    void update_coefficients() noexcept final {}
    // Brings each ladder to this effect's period and clears its history.
    void reset() noexcept final;

    // Below 0.5 the first segment (start -> middle), from 0.5 on the second (middle -> end),
    // each formant linear in hertz; positions beyond 0..1 extend the outer segment. A NaN falls
    // on the first segment. The selected ladder gets F1, F2, F3 in that order.
    // [render thread, every sample]
    void set_sweep_position(double position) noexcept {
        sweep_position = position;
        formants_at(position, current_hz);
        selected->set_formant_1_frequency(current_hz[0]);
        selected->set_formant_2_frequency(current_hz[1]);
        selected->set_formant_3_frequency(current_hz[2]);
    }

    // 0-3: low-pass with one to four stages, 4-7: band-pass with one to four; anything else as
    // 0. The new ladder keeps its history and gets the current formants at once.
    void set_filter_type(std::uint32_t index) noexcept;
    // Vowel rows 0-9; the filter's frequencies follow at the next set_sweep_position.
    void set_start_formant(std::uint32_t row) noexcept;
    void set_middle_formant(std::uint32_t row) noexcept;
    void set_end_formant(std::uint32_t row) noexcept;
    // Reaches all eight ladders when the value changed.
    void set_resonance(double resonance) noexcept;
    // 0.0001 to 1 (clamped): a gentle saturator at 0, a hard one at 1; all eight ladders.
    void set_drive(double drive) noexcept;

    // Read-only views for owners and tests.
    double get_sweep_position() const noexcept { return sweep_position; }
    double get_formant_frequency(int j) const noexcept { return current_hz[j]; }  // j = 0, 1, 2
    double get_resonance() const noexcept { return resonance; }
    double get_drive() const noexcept { return drive; }
    std::uint32_t get_start_formant() const noexcept { return start_vowel; }
    std::uint32_t get_middle_formant() const noexcept { return middle_vowel; }
    std::uint32_t get_end_formant() const noexcept { return end_vowel; }
    // i in the creation order above (0-3 band-pass, 4-7 low-pass).
    const ladder_type &filter(int i) const noexcept { return *filters[i]; }
    const ladder_type &selected_filter() const noexcept { return *selected; }
    // Stages of the selected ladder, 1 to 4.
    int selected_stage_count() const noexcept { return selected_stages; }

protected:
    // The longest stretch the block operations hand the ladder at once.
    static constexpr std::uint32_t block_frames = dsp::skew_block_frames;

    void formants_at(double position, double (&hz)[3]) const noexcept {
        const bool second_half = position >= 0.5;
        const segment &seg = second_half ? second : first;
        const double along = second_half ? position - 0.5 : position;
        for (int j = 0; j < 3; ++j) hz[j] = seg.hz[j] + seg.slope[j] * along;
    }
    // The formants of count (at most block_frames) positions; the effect is left at the last
    // one, as set_sweep_position on each would leave it.
    void follow_positions(const double *positions, double (*hz)[3], std::uint32_t count) noexcept {
        for (std::uint32_t i = 0; i < count; ++i) formants_at(positions[i], hz[i]);
        sweep_position = positions[count - 1];
        for (int j = 0; j < 3; ++j) current_hz[j] = hz[count - 1][j];
    }

    struct segment {
        double hz[3];
        double slope[3];  // 2 x (next vowel - this vowel): the segment spans half the sweep

        void span(const double *from_vowel, const double *to_vowel) noexcept {
            for (int j = 0; j < 3; ++j) {
                hz[j] = from_vowel[j];
                slope[j] = 2.0 * (to_vowel[j] - from_vowel[j]);
            }
        }
    };

    void compute_first_segment() noexcept;
    void compute_second_segment() noexcept;
    // The saturation of the stored drive, to all eight ladders.
    void apply_drive_to_ladders() noexcept;

    double resonance = 0.5;
    double drive = 0.3333;
    std::uint32_t start_vowel = 0;
    std::uint32_t middle_vowel = 1;
    std::uint32_t end_vowel = 2;
    double current_hz[3] = {0, 0, 0};
    segment first{};
    segment second{};
    ladder_type *selected = nullptr;  // never null after construction
    int selected_stages = 1;
    std::unique_ptr<ladder_type> filters[8];
    double sweep_position = 0.0;
};

extern template class HF_Formant_Wah_Effect<dsp::mono_channels>;
extern template class HF_Formant_Wah_Effect<dsp::stereo_channels>;

class HF_Formant_Wah_Effect_Mono final : public HF_Formant_Wah_Effect<dsp::mono_channels> {
public:
    using HF_Formant_Wah_Effect::HF_Formant_Wah_Effect;

    // [render thread, every sample]
    void process_sample(double *sample) noexcept override { selected->process_sample(sample); }
    // The formants stay where they are for the whole block.
    void process_block(double *samples, std::uint32_t count) noexcept override {
        selected->process_block(samples, count);
    }
    // As set_sweep_position(positions[i]) and then process_sample on a copy of in[i], for each
    // i in order, with the result in out[i]; out must not overlap in. [render thread]
    void process_block(const double *in, double *out, const double *positions, std::uint32_t count) noexcept {
        double hz[block_frames][3];
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t n = count - done < block_frames ? count - done : block_frames;
            follow_positions(positions + done, hz, n);
            const double *block_in[] = {in + done};
            double *block_out[] = {out + done};
            selected->process_moving_formants(block_in, block_out, hz, n);
            done += n;
        }
    }
};

class HF_Formant_Wah_Effect_Stereo final : public HF_Formant_Wah_Effect<dsp::stereo_channels> {
public:
    using HF_Formant_Wah_Effect::HF_Formant_Wah_Effect;

    void process_sample(double *left, double *right) noexcept override { selected->process_sample(left, right); }
    void process_block(double *left, double *right, std::uint32_t count) noexcept override {
        selected->process_block(left, right, count);
    }
    void process_block(const double *in_left, const double *in_right, double *out_left, double *out_right,
                       const double *positions, std::uint32_t count) noexcept {
        double hz[block_frames][3];
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t n = count - done < block_frames ? count - done : block_frames;
            follow_positions(positions + done, hz, n);
            const double *block_in[] = {in_left + done, in_right + done};
            double *block_out[] = {out_left + done, out_right + done};
            selected->process_moving_formants(block_in, block_out, hz, n);
            done += n;
        }
    }
};
