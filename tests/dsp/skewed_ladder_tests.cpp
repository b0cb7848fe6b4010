// The block paths of the ladders and the formant effect against the per-sample step, on every
// instruction set this processor runs: output, carried state and recovery, bit for bit.
#include "dsp/HF_Formant_Wah_Effect.h"
#include "dsp/simd_path.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using dsp::simd_path;

std::vector<simd_path> supported_paths() {
    std::vector<simd_path> paths;
    for (simd_path p : dsp::all_simd_paths)
        if (dsp::simd_path_supported(p)) paths.push_back(p);
    return paths;
}

// Selects a path for one scope and restores the process's own choice afterwards.
struct path_scope {
    simd_path saved = dsp::active_simd_path();
    explicit path_scope(simd_path p) { EXPECT_TRUE(dsp::select_simd_path(p)); }
    ~path_scope() { dsp::select_simd_path(saved); }
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <class T> bool same_bits(const T &a, const T &b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }

// Counts samples whose bits differ (so -0.0 against +0.0 counts, and a NaN against itself does not).
int differing(const std::vector<double> &a, const std::vector<double> &b) {
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += !same_bits(a[i], b[i]);
    return n;
}

constexpr double rate = 48000.0;
constexpr std::size_t length = 1500;

// A sweep in motion across the whole vowel path, a little faster than any envelope moves it.
double position_at(std::size_t i) { return test_signals::sweep_at(i, 700); }

struct channels {
    std::vector<double> left, right;
};

channels input_with(const std::vector<double> &faults_at = {}, double fault = 0.0) {
    channels in{test_signals::voice(length, rate, 21, 1.4), test_signals::voice(length, rate, 22, 0.7)};
    for (double at : faults_at) in.left[static_cast<std::size_t>(at)] = fault;
    return in;
}

// Per-sample run of the formant effect, as the effect instance ran it before blocks existed.
template <class Wah> channels by_sample(Wah &wah, const channels &in, const std::vector<std::uint32_t> &blocks,
                                        const std::vector<std::uint32_t> &types) {
    channels out = in;
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        wah.set_filter_type(types[b % types.size()]);
        for (std::uint32_t i = 0; i < blocks[b]; ++i, ++at) {
            wah.set_sweep_position(position_at(at));
            if constexpr (std::is_same_v<Wah, HF_Formant_Wah_Effect_Mono>)
                wah.process_sample(&out.left[at]);
            else
                wah.process_sample(&out.left[at], &out.right[at]);
        }
    }
    return out;
}

template <class Wah> channels by_block(Wah &wah, const channels &in, const std::vector<std::uint32_t> &blocks,
                                       const std::vector<std::uint32_t> &types) {
    channels out = in;
    std::vector<double> positions(length);
    for (std::size_t i = 0; i < length; ++i) positions[i] = position_at(i);
    std::size_t at = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        wah.set_filter_type(types[b % types.size()]);
        if constexpr (std::is_same_v<Wah, HF_Formant_Wah_Effect_Mono>)
            wah.process_block(&in.left[at], &out.left[at], &positions[at], blocks[b]);
        else
            wah.process_block(&in.left[at], &in.right[at], &out.left[at], &out.right[at], &positions[at], blocks[b]);
        at += blocks[b];
    }
    return out;
}

std::vector<std::uint32_t> split(std::uint32_t block) {
    std::vector<std::uint32_t> blocks;
    for (std::size_t done = 0; done < length; done += block)
        blocks.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(block, length - done)));
    return blocks;
}

// Output and everything a ladder carries into the next block: formants, coefficients, both
// filter memories, and (through a further stretch run sample by sample) the section state.
template <class Wah> void expect_same_run(const channels &in, const std::vector<std::uint32_t> &blocks,
                                          const std::vector<std::uint32_t> &types, bool stereo) {
    Wah reference(1.0 / rate), blockwise(1.0 / rate);
    for (Wah *w : {&reference, &blockwise}) {
        w->set_resonance(0.9);
        w->set_drive(0.7);
        w->set_start_formant(0);
        w->set_middle_formant(9);
        w->set_end_formant(1);
    }
    channels want = by_sample(reference, in, blocks, types);
    channels got = by_block(blockwise, in, blocks, types);
    // Continue both from their states with the same input, per sample, on every ladder used.
    channels tail{test_signals::voice(64, rate, 23), test_signals::voice(64, rate, 24)};
    for (std::uint32_t type : types) {
        const std::vector<std::uint32_t> once = {64};
        reference.set_filter_type(type);
        blockwise.set_filter_type(type);
        const channels a = by_sample(reference, tail, once, {type}), b = by_sample(blockwise, tail, once, {type});
        want.left.insert(want.left.end(), a.left.begin(), a.left.end());
        got.left.insert(got.left.end(), b.left.begin(), b.left.end());
        want.right.insert(want.right.end(), a.right.begin(), a.right.end());
        got.right.insert(got.right.end(), b.right.begin(), b.right.end());
    }
    EXPECT_EQ(differing(want.left, got.left), 0);
    if (stereo) {
        EXPECT_EQ(differing(want.right, got.right), 0);
    }
    EXPECT_EQ(reference.get_sweep_position(), blockwise.get_sweep_position());
    for (int i = 0; i < 8; ++i) {
        const auto &r = reference.filter(i), &b = blockwise.filter(i);
        EXPECT_TRUE(same_bits(r.settings().k, b.settings().k)) << "ladder " << i;
        EXPECT_TRUE(same_bits(r.settings().formant_hz, b.settings().formant_hz)) << "ladder " << i;
        EXPECT_TRUE(same_bits(r.up_filter().memory(), b.up_filter().memory())) << "ladder " << i;
        EXPECT_TRUE(same_bits(r.down_filter().memory(), b.down_filter().memory())) << "ladder " << i;
    }
}

TEST(SkewedLadder, EveryPathEveryTypeAndBlockSizeMatchesThePerSampleStep) {
    const channels in = input_with();
    for (simd_path path : supported_paths()) {
        path_scope scope(path);
        for (std::uint32_t block : {1u, 7u, 64u, 512u}) {
            for (std::uint32_t type = 0; type < 8; ++type) {
                SCOPED_TRACE(testing::Message() << dsp::simd_path_name(path) << ", block " << block << ", type " << type);
                expect_same_run<HF_Formant_Wah_Effect_Mono>(in, split(block), {type}, false);
                expect_same_run<HF_Formant_Wah_Effect_Stereo>(in, split(block), {type}, true);
            }
        }
    }
}

// The selected ladder changes at block boundaries: each ladder keeps its own history and
// takes the current formants at once.
TEST(SkewedLadder, FilterTypeChangesAtBlockBoundaries) {
    const channels in = input_with();
    const std::vector<std::uint32_t> blocks = {5, 129, 64, 1, 300, 7, 512, 128, 254, 100};
    const std::vector<std::uint32_t> types = {7, 3, 6, 0, 5, 4, 2, 1};
    for (simd_path path : supported_paths()) {
        path_scope scope(path);
        SCOPED_TRACE(dsp::simd_path_name(path));
        expect_same_run<HF_Formant_Wah_Effect_Mono>(in, blocks, types, false);
        expect_same_run<HF_Formant_Wah_Effect_Stereo>(in, blocks, types, true);
    }
}

// A block that meets a non-finite sample recovers exactly as the per-sample step does: the same
// zero on the faulty samples, and the same output from the next finite sample on.
TEST(SkewedLadder, NonFiniteInputRecoversAsThePerSampleStepOnEveryPath) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct fault_case {
        double value;
        std::vector<double> at;
    };
    const fault_case cases[] = {{nan, {0}}, {inf, {127, 128}}, {-inf, {300, 301, 302, 303}}, {nan, {1499}},
                                {1e308, {700, 701}}};
    for (const fault_case &c : cases) {
        const channels in = input_with(c.at, c.value);
        for (simd_path path : supported_paths()) {
            path_scope scope(path);
            for (std::uint32_t block : {7u, 512u}) {
                for (std::uint32_t type : {0u, 3u, 6u, 7u}) {
                    SCOPED_TRACE(testing::Message() << dsp::simd_path_name(path) << ", fault " << c.value << " at "
                                                    << c.at[0] << ", block " << block << ", type " << type);
                    expect_same_run<HF_Formant_Wah_Effect_Mono>(in, split(block), {type}, false);
                    expect_same_run<HF_Formant_Wah_Effect_Stereo>(in, split(block), {type}, true);
                }
            }
        }
    }
}

// Fixed formants through process_block (in place) on a ladder alone.
TEST(SkewedLadder, FixedFormantBlocksMatchPerSampleOnEveryPath) {
    const channels in = input_with();
    for (simd_path path : supported_paths()) {
        path_scope scope(path);
        std::unique_ptr<HF_Nonlinear_Ladder_Effect_Stereo> a[8], b[8];
        dsp::make_formant_ladders(1.0 / rate, a);
        dsp::make_formant_ladders(1.0 / rate, b);
        for (int i = 0; i < 8; ++i) {
            channels want = in, got = in;
            for (std::size_t s = 0; s < length; ++s) a[i]->process_sample(&want.left[s], &want.right[s]);
            for (std::size_t done = 0; done < length; done += 300)
                b[i]->process_block(&got.left[done], &got.right[done], 300);
            EXPECT_EQ(differing(want.left, got.left) + differing(want.right, got.right), 0)
                << dsp::simd_path_name(path) << " ladder " << i;
        }
    }
}

TEST(SimdPath, ChoiceAndNames) {
    // The environment may force a path (CTest runs this binary once per path); otherwise the
    // widest supported one is active.
    const char *forced = std::getenv("ZENTROVA_SIMD");
    const simd_path want = forced ? dsp::simd_path_from_name(forced).value() : dsp::best_simd_path();
    if (!dsp::simd_path_supported(want)) GTEST_SKIP() << forced << " is not supported here";
    EXPECT_EQ(dsp::active_simd_path(), want);
    EXPECT_FALSE(dsp::simd_path_from_name("avx3").has_value());
}

}  // namespace
