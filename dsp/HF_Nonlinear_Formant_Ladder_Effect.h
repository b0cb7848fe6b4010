// The sixteen nonlinear formant ladder filters: one to four stages, band-pass ("Formant") or
// low-pass ("LPFormant") first-formant tap, mono or stereo. One algorithm (dsp::ladder_step)
// serves all sixteen; mono runs it on double, stereo on both channels at once (lane2).
// process_sample runs it as written; the block operations run the stages skewed across the
// block on the active instruction set (skewed_ladder.h, simd_path.h), with the same results.
//
// Threads: the owner's thread only; process_sample and process_block run on the render thread.
#pragma once

#include "dsp/HF_Nonlinear_Ladder_Effect.h"
#include "dsp/skewed_ladder.h"

#include <memory>

// One ladder for either channel count: the block loops are written once over the channels
// (Channels::lane is double or lane2). The _Mono and _Stereo classes below only adapt the
// per-channel-count signatures of process_sample and process_block.
template <class Channels, int Stages, dsp::ladder_kind Kind>
class HF_Nonlinear_Ladder : public HF_Nonlinear_Ladder_Effect<Channels> {
    static_assert(Stages >= 1 && Stages <= 4);

public:
    using HF_Nonlinear_Ladder_Effect<Channels>::HF_Nonlinear_Ladder_Effect;

    void process_moving_formants(const double *const in[], double *const out[], const double (*moving_hz)[3],
                                 std::uint32_t count) noexcept final;
    // Filters to the internal period (clearing their memories) and all section state to zero.
    void reset() noexcept final;

protected:
    using lane = typename Channels::lane;
    static constexpr int channels = sizeof(lane) / sizeof(double);

    // One host sample of every channel. [render thread]
    [[gnu::always_inline]] lane step(lane x) noexcept;
    // count samples of each channel in place, the formants fixed. [render thread]
    void process_in_place(double *const channel[], std::uint32_t count) noexcept;

private:
    void run(const double *const in[], double *const out[], std::uint32_t count) noexcept;

    dsp::ladder_sections<Stages, lane> sections{};  // lane2: {left, right} per value
    dsp::k_track<Stages, channels> track;           // coefficients of the block being run
};

template <int Stages, dsp::ladder_kind Kind>
class HF_Nonlinear_Ladder_Mono : public HF_Nonlinear_Ladder<dsp::mono_channels, Stages, Kind> {
public:
    using HF_Nonlinear_Ladder<dsp::mono_channels, Stages, Kind>::HF_Nonlinear_Ladder;

    void process_sample(double *sample) noexcept final;
    void process_block(double *samples, std::uint32_t count) noexcept final;
};

template <int Stages, dsp::ladder_kind Kind>
class HF_Nonlinear_Ladder_Stereo : public HF_Nonlinear_Ladder<dsp::stereo_channels, Stages, Kind> {
public:
    using HF_Nonlinear_Ladder<dsp::stereo_channels, Stages, Kind>::HF_Nonlinear_Ladder;

    void process_sample(double *left, double *right) noexcept final;
    void process_block(double *left, double *right, std::uint32_t count) noexcept final;
};

#define HF_LADDER_MEMBER(name, base, stages, kind)                                                                    \
    class name final : public base<stages, dsp::ladder_kind::kind> {                                                  \
    public:                                                                                                           \
        using base::base;                                                                                             \
    }

HF_LADDER_MEMBER(HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 1, band_pass);
HF_LADDER_MEMBER(HF_Two_Stage_Nonlinear_Formant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 2, band_pass);
HF_LADDER_MEMBER(HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 3, band_pass);
HF_LADDER_MEMBER(HF_Four_Stage_Nonlinear_Formant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 4, band_pass);
HF_LADDER_MEMBER(HF_One_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 1, low_pass);
HF_LADDER_MEMBER(HF_Two_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 2, low_pass);
HF_LADDER_MEMBER(HF_Three_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 3, low_pass);
HF_LADDER_MEMBER(HF_Four_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono, HF_Nonlinear_Ladder_Mono, 4, low_pass);
HF_LADDER_MEMBER(HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 1, band_pass);
HF_LADDER_MEMBER(HF_Two_Stage_Nonlinear_Formant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 2, band_pass);
HF_LADDER_MEMBER(HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 3, band_pass);
HF_LADDER_MEMBER(HF_Four_Stage_Nonlinear_Formant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 4, band_pass);
HF_LADDER_MEMBER(HF_One_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 1, low_pass);
HF_LADDER_MEMBER(HF_Two_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 2, low_pass);
HF_LADDER_MEMBER(HF_Three_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 3, low_pass);
HF_LADDER_MEMBER(HF_Four_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo, HF_Nonlinear_Ladder_Stereo, 4, low_pass);

#undef HF_LADDER_MEMBER

namespace dsp {

// The eight ladders of one channel count, created in the order the formant wah effect keeps
// them: band-pass with one to four stages, then low-pass with one to four stages.
void make_formant_ladders(double sample_period, std::unique_ptr<HF_Nonlinear_Ladder_Effect_Mono> (&out)[8]);
void make_formant_ladders(double sample_period, std::unique_ptr<HF_Nonlinear_Ladder_Effect_Stereo> (&out)[8]);

}  // namespace dsp
