// The ladders' block path with the stages skewed across the block.
//
// Per sample, stage s + 1 waits for stage s: four stages make one long dependency chain, and
// the processor idles while it runs. Here each step runs stage s on internal sample n - 2s, one
// host sample behind the stage before it. The stages of one step are then independent, and
// they and the channels share vector lanes (lane = stage x channels + channel); what stage s
// outputs in step n is what stage s + 1 reads in step n + 2, so two steps are in flight at once
// and a step waits only for the resonators' own recursion. A stage runs both internal samples
// of a host sample in consecutive steps, so all its lanes use that host sample's coefficients.
// A block opens with steps in which the later stages have nothing yet and closes with steps in
// which the earlier ones are done: those lanes keep their state. At the end every stage has
// processed every sample of the block, so the state between blocks is exactly that of the
// per-sample step, and so is every output: each lane does the same IEEE operations in the same
// order as ladder_step.
//
// Three stages run in the lanes of four (the fourth is scratch, never read back); one stage has
// nothing to skew and stays with the per-sample step.
#pragma once

#include "dsp/HF_LowPass_BiQuad.h"
#include "dsp/formant_ladder.h"

#include <cstddef>
#include <cstdint>

namespace dsp {

// The longest block the skewed path takes in one go; callers split longer ones. 128 host
// samples keep the coefficient track of a four-stage stereo ladder (6 KiB) in the first-level
// cache, and the opening and closing steps cost about 5 % of a block.
inline constexpr std::uint32_t skew_block_frames = 128;

template <int Stages> inline constexpr int lane_stages = Stages == 3 ? 4 : Stages;

// The resonator coefficients of every host sample of a block, laid out so that one step's
// lanes read one contiguous run: entry (t, channel) for host sample t sits at
// (top - t) x Channels + channel, top = skew_block_frames + lane_stages - 2. Host samples from
// -(lane_stages - 1) to frames + lane_stages - 2 are present; the ones outside the block repeat
// the nearest sample (lanes that read them do not keep their result).
template <int Stages, int Channels> struct k_track {
    static constexpr int pad = lane_stages<Stages> - 1;
    static constexpr std::ptrdiff_t top = std::ptrdiff_t{skew_block_frames} + pad - 1;
    static constexpr std::size_t size = (skew_block_frames + 2 * pad) * Channels;

    double k[3][size];

    static constexpr std::size_t index(std::ptrdiff_t t) noexcept {
        return static_cast<std::size_t>((top - t) * Channels);
    }
    void set(int j, std::uint32_t t, double value) noexcept {
        for (int c = 0; c < Channels; ++c) k[j][index(t) + c] = value;
    }
    // After set() for host samples 0 .. frames - 1.
    void pad_ends(std::uint32_t frames) noexcept {
        const std::ptrdiff_t last = std::ptrdiff_t{frames} - 1;
        for (int j = 0; j < 3; ++j)
            for (int p = 1; p <= pad; ++p)
                for (int c = 0; c < Channels; ++c) {
                    k[j][index(-p) + c] = k[j][index(0) + c];
                    k[j][index(last + p) + c] = k[j][index(last) + c];
                }
    }
    // The coefficients host sample t runs with.
    double at(int j, std::uint32_t t) const noexcept { return k[j][index(t)]; }
};

// One block for the skewed kernels. in and out must not overlap: a block that meets a
// non-finite value is run again from its input on the per-sample path.
template <int Stages, class L> struct skewed_block {
    ladder_sections<Stages, L> *sections;
    biquad_memory<L> *up_memory;
    biquad_memory<L> *down_memory;
    const formant_ladder_settings *settings;
    const lowpass_biquad_coefficients *up;
    const lowpass_biquad_coefficients *down;
    const k_track<Stages, sizeof(L) / sizeof(double)> *track;
    const double *in[2];  // channels in use: 1 for double, 2 for lane2
    double *out[2];
    std::uint32_t frames;  // 1 .. skew_block_frames
};

// The kernels, one per instruction set, each in a translation unit of its own compiled for that
// set. They return false, leaving state and settings untouched, when a non-finite value reached
// the filter: the caller then runs the block again with ladder_step, whose recovery handles it.
// A block the per-sample step runs without recovery gives identical values here (so the same
// check sees nothing), and the first sample at which it would recover gives the same non-finite
// check value here too; so the recovery keeps its timing to the sample.
#define ZENTROVA_DECLARE_SKEWED_KERNEL(isa)                                                                          \
    namespace isa {                                                                                                   \
    template <int Stages, ladder_kind Kind, class L> bool run_skewed(const skewed_block<Stages, L> &block) noexcept;   \
    }
ZENTROVA_DECLARE_SKEWED_KERNEL(sse2)
ZENTROVA_DECLARE_SKEWED_KERNEL(avx2)
ZENTROVA_DECLARE_SKEWED_KERNEL(avx512)
#undef ZENTROVA_DECLARE_SKEWED_KERNEL

}  // namespace dsp
