// The five envelope generators.
#include "dsp/HF_AR_Down_Envelope.h"
#include "dsp/HF_AR_Up_Envelope.h"
#include "dsp/HF_MIDI_Envelope.h"
#include "dsp/HF_NO_Envelope.h"
#include "dsp/HF_Track_Envelope.h"
#include "dsp/simd_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr double rate = 48000.0;

TEST(Envelopes, NoneIsAlwaysZero) {
    HF_NO_Envelope e(1.0 / rate);
    HF_Envelope_Generator &g = e;
    g.set_attack_time(0.0);
    for (double level : {0.0, 0.5, 1e9, -3.0}) EXPECT_EQ(g.next_value(level), 0.0);
}

// At 48 kHz, attack 10 ms and release 20 ms: +1/480 and -1/960 per sample. The attack needs 481
// steps (480 sums of the rounded 1/480 stay just below 1), so it ends one step past 1, at
// 481/480; the release then needs 962 steps to come back to 0: 1443 samples in all.
TEST(SweepUp, TimingInSamplesIncludingTheOneStepOvershoot) {
    HF_AR_Up_Envelope e(1.0 / rate);
    e.set_attack_time(10.0);
    e.set_release_time(20.0);
    std::vector<double> out;
    out.push_back(e.next_value(1.0));  // triggers and moves one step
    while (e.is_active()) out.push_back(e.next_value(0.0));
    const auto peak = std::max_element(out.begin(), out.end());
    EXPECT_EQ(peak - out.begin() + 1, 481);
    EXPECT_GT(*peak, 1.0);
    EXPECT_NEAR(*peak, 481.0 / 480.0, 1e-12);
    EXPECT_NEAR(out[0], 1.0 / 480.0, 1e-18);
    EXPECT_NEAR(out[481] - out[480], -1.0 / 960.0, 1e-15);
    EXPECT_EQ(out.size(), 1443u);
    EXPECT_EQ(out.back(), 0.0);
    EXPECT_GT(out[out.size() - 2], 0.000001);
}

TEST(SweepUp, TriggersAtTheThresholdNotBelowIt) {
    HF_AR_Up_Envelope e(1.0 / rate);
    e.set_trigger_sensitivity(-12.0);
    EXPECT_NEAR(e.get_threshold(), 0.2511886, 1e-7);
    EXPECT_EQ(e.next_value(0.25), 0.0);
    EXPECT_FALSE(e.is_active());
    EXPECT_EQ(e.next_value(std::nextafter(e.get_threshold(), 0.0)), 0.0);
    EXPECT_GT(e.next_value(e.get_threshold()), 0.0);
    HF_AR_Up_Envelope f(1.0 / rate);
    f.set_trigger_sensitivity(-12.0);
    EXPECT_GT(f.next_value(0.2512), 0.0);
}

TEST(SweepUp, StartsFromMinus12dBBeforeTheOwnerSetsASensitivity) {
    HF_AR_Up_Envelope up(1.0 / rate);
    HF_AR_Down_Envelope down(1.0 / rate);
    EXPECT_EQ(up.get_threshold(), std::pow(10.0, -12.0 * 0.05));
    EXPECT_EQ(down.get_threshold(), up.get_threshold());
}

TEST(SweepUp, OnceTriggeredRunsItsFullCourseRegardlessOfTheLevel) {
    HF_AR_Up_Envelope e(1.0 / 1000.0);
    e.set_attack_time(4.0);   // 0.25 per sample
    e.set_release_time(4.0);
    std::vector<double> out;
    for (double level : {1.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0, 1.0}) out.push_back(e.next_value(level));
    EXPECT_EQ(out, (std::vector<double>{0.25, 0.5, 0.75, 1.0, 0.75, 0.5, 0.25, 0.0, 0.25}));
}

TEST(SweepUp, ThresholdOfZeroAtOrBelowMinus79dBRunsOnSilence) {
    for (double db : {-79.0, -80.0}) {
        HF_AR_Up_Envelope e(1.0 / 1000.0);
        e.set_trigger_sensitivity(db);
        e.set_attack_time(2.0);
        e.set_release_time(2.0);
        EXPECT_EQ(e.get_threshold(), 0.0);
        std::vector<double> out;
        for (int i = 0; i < 6; ++i) out.push_back(e.next_value(0.0));
        EXPECT_EQ(out, (std::vector<double>{0.5, 1.0, 0.5, 0.0, 0.5, 1.0})) << db;
    }
}

TEST(SweepUp, ZeroMillisecondSegmentsCompleteInOneSample) {
    HF_AR_Up_Envelope e(1.0 / rate);
    e.set_trigger_sensitivity(-80.0);
    e.set_attack_time(0.0);
    e.set_release_time(0.0);
    for (int i = 0; i < 6; ++i) {
        const double p = e.next_value(0.0);
        EXPECT_TRUE(std::isfinite(p));
        EXPECT_EQ(p, i % 2 == 0 ? 1.0 : 0.0) << i;
    }
    e.set_attack_time(-3.0);
    e.set_attack_time(std::nan(""));
    EXPECT_EQ(e.next_value(0.0), 1.0);
    HF_AR_Down_Envelope d(1.0 / rate);
    d.set_trigger_sensitivity(-80.0);
    d.set_attack_time(0.0);
    d.set_release_time(0.0);
    EXPECT_EQ(d.next_value(0.0), 0.0);
    EXPECT_EQ(d.next_value(0.0), 1.0);
    EXPECT_EQ(d.next_value(0.0), 0.0);
}

// A release of 0 ms ends on its first sample also when the attack stopped one step past its
// end (as it does after any attack of more than one sample): no stray position between.
TEST(SweepUp, ZeroMillisecondReleaseEndsOnItsFirstSampleAfterAnOvershootingAttack) {
    HF_AR_Up_Envelope up(1.0 / rate);
    up.set_attack_time(10.0);  // ends at 481/480
    up.set_release_time(0.0);
    double p = up.next_value(1.0);
    while (p < 1.0) p = up.next_value(0.0);
    EXPECT_GT(p, 1.0);
    EXPECT_EQ(up.next_value(0.0), 0.0);
    EXPECT_FALSE(up.is_active());

    HF_AR_Down_Envelope down(1.0 / 1000.0);
    down.set_attack_time(2.5);  // -0.4 per sample: 0.6, 0.2, then -0.2
    down.set_release_time(0.0);
    EXPECT_NEAR(down.next_value(1.0), 0.6, 1e-15);
    EXPECT_NEAR(down.next_value(0.0), 0.2, 1e-15);
    EXPECT_NEAR(down.next_value(0.0), -0.2, 1e-15);
    EXPECT_EQ(down.next_value(0.0), 1.0);
    EXPECT_FALSE(down.is_active());

    // A longer release is not shortened: it still takes its steps.
    HF_AR_Up_Envelope slow(1.0 / rate);
    slow.set_attack_time(10.0);
    slow.set_release_time(1.0);  // -1/48 per sample
    p = slow.next_value(1.0);
    while (p < 1.0) p = slow.next_value(0.0);
    EXPECT_NEAR(slow.next_value(0.0), p - 1.0 / 48.0, 1e-15);
}

TEST(SweepUp, NewTimesApplyFromTheNextSampleWithoutInterruptingTheSweep) {
    HF_AR_Up_Envelope e(1.0 / 1000.0);
    e.set_attack_time(10.0);  // 0.1 per sample
    EXPECT_NEAR(e.next_value(1.0), 0.1, 1e-15);
    e.set_attack_time(2.0);  // 0.5 per sample
    EXPECT_NEAR(e.next_value(0.0), 0.6, 1e-15);
    EXPECT_TRUE(e.is_active());
}

TEST(SweepDown, RestsAtOneDipsAndReturnsToOneOnReset) {
    HF_AR_Down_Envelope e(1.0 / 1000.0);
    e.set_attack_time(4.0);
    e.set_release_time(2.0);
    EXPECT_EQ(e.next_value(0.0), 1.0);
    std::vector<double> out;
    for (int i = 0; i < 8; ++i) out.push_back(e.next_value(1.0));
    EXPECT_EQ(out, (std::vector<double>{0.75, 0.5, 0.25, 0.0, 0.5, 1.0, 0.75, 0.5}));
    e.set_sample_period(1.0 / 1000.0);  // same period: still resets
    EXPECT_EQ(e.next_value(0.0), 1.0);
    EXPECT_FALSE(e.is_active());
}

TEST(SweepDown, AttackMayEndSlightlyBelowZeroAndReleaseSnapsToOne) {
    HF_AR_Down_Envelope e(1.0 / 1000.0);
    e.set_trigger_sensitivity(-80.0);
    e.set_attack_time(3.0);   // 1/3 per sample: 0.667, 0.333, ~0 (within rounding of 0)
    e.set_release_time(2.5);  // 0.4 per sample
    std::vector<double> out;
    for (int i = 0; i < 7; ++i) out.push_back(e.next_value(0.0));
    EXPECT_NEAR(out[2], 0.0, 1e-15);
    EXPECT_NEAR(out[3], 0.4, 1e-15);
    EXPECT_NEAR(out[4], 0.8, 1e-15);
    EXPECT_EQ(out[5], 1.0);  // 1.2 >= 0.999999: snapped to 1 and idle
    EXPECT_NEAR(out[6], 2.0 / 3.0, 1e-15);  // threshold 0 retriggers at once
}

TEST(Track, PowerCurveOfTheLevel) {
    HF_Track_Envelope e(1.0 / rate);
    e.set_trigger_sensitivity(-12.0);
    e.set_shape(0.0);
    EXPECT_NEAR(e.next_value(0.125), 0.125 / std::pow(10.0, -0.6), 1e-15);
    EXPECT_NEAR(e.next_value(0.125), 0.498, 0.001);
    EXPECT_EQ(e.next_value(1.0), 1.0);
    e.set_shape(0.5);
    EXPECT_NEAR(e.next_value(0.125), std::sqrt(0.125 / std::pow(10.0, -0.6)), 1e-15);
    e.set_shape(1.0);
    EXPECT_EQ(e.next_value(0.0), 1.0);
    EXPECT_EQ(e.next_value(0.01), 1.0);
    // A shape beyond the range (negative exponent) turns the curve over: above the reference
    // level the position falls below 1 again.
    e.set_shape(1.5);
    EXPECT_NEAR(e.next_value(4.0 * std::pow(10.0, -0.6)), 0.5, 1e-15);
}

TEST(Track, ReferenceLevelAtTheBottomOfTheRange) {
    HF_Track_Envelope e(1.0 / rate);
    e.set_trigger_sensitivity(-80.0);
    EXPECT_EQ(e.get_reference_gain(), 10000.0);
    EXPECT_EQ(e.next_value(0.0001), 1.0);
    EXPECT_NEAR(e.next_value(0.00005), 0.5, 1e-12);
    e.set_trigger_sensitivity(-79.5);
    EXPECT_NEAR(e.get_reference_gain(), std::pow(10.0, 79.5 * 0.05), 1e-6);
}

// The power behind Track against std::pow: edge values in a table, then a dense sweep over
// every level a follower can give (down to the smallest normal number) and every shape.
TEST(Track, PowerStaysWithin1e12OfPowOverTheWholeRange) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min(), least = std::numeric_limits<double>::min();
    struct edge {
        double x, e;
    };
    const edge edges[] = {{0.0, 0.75}, {0.0, 0.0}, {0.0, 1.0}, {tiny, 0.75}, {least, 0.75}, {least, 1.0},
                          {least, 1e-9}, {1.0 - 0x1p-53, 0.75}, {1.0, -0.5}, {0.5, 0.0}, {0.5, 1.0},
                          {0.125, 0.5}, {1e-300, 0.999}, {3.0, -0.25}, {inf, 0.5}, {nan, 0.5}, {0.3, nan},
                          {1e-5, -0.5}, {1e-310, 0.5}, {0.999, 1e12}};
    for (const edge &c : edges) {
        const double want = std::pow(c.x, c.e), got = dsp::track_power(c.x, c.e);
        if (std::isnan(want) || want == 0.0 || std::isinf(want))
            EXPECT_TRUE(std::memcmp(&want, &got, sizeof want) == 0 || (std::isnan(want) && std::isnan(got)))
                << c.x << "^" << c.e << " = " << got;
        else
            EXPECT_LE(std::fabs(got / want - 1.0), 1e-12) << c.x << "^" << c.e;
    }
    double worst = 0.0;
    for (double e = -0.5; e <= 1.0; e += 1.0 / 64.0)
        for (double log_x = -1022.0; log_x < 0.0; log_x += 0.0371) {
            const double x = std::exp2(log_x);
            worst = std::max(worst, std::fabs(dsp::track_power(x, e) / std::pow(x, e) - 1.0));
        }
    EXPECT_LE(worst, 1e-12);
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", worst);
    RecordProperty("worst_relative_error", text);
}

// The block form (two levels per register) gives next_value's bits for every level, edge
// values among ordinary ones so that pairs mix both kinds.
TEST(Track, BlockOfLevelsEqualsNextValueOnEachBitForBit) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> levels = {0.0, 0.3, std::numeric_limits<double>::denorm_min(), 0.5, 1.0, 2.0, inf, nan, 1e-5};
    for (double log_level = -40.0; log_level < 2.0; log_level += 0.173) levels.push_back(std::exp2(log_level));
    const dsp::simd_path active = dsp::active_simd_path();
    for (dsp::simd_path path : dsp::all_simd_paths)
    for (double sensitivity : {0.0, -12.0, -80.0})
        for (double shape : {0.0, 0.25, 1.0, 1.5, 0.001}) {
            if (!dsp::select_simd_path(path)) continue;
            HF_Track_Envelope block(1.0 / rate), single(1.0 / rate);
            for (HF_Track_Envelope *e : {&block, &single}) {
                e->set_trigger_sensitivity(sensitivity);
                e->set_shape(shape);
            }
            std::vector<double> got(levels.size());
            block.next_values(levels.data(), got.data(), static_cast<std::uint32_t>(levels.size()));
            int differing = 0;
            for (std::size_t i = 0; i < levels.size(); ++i) {
                const double want = single.next_value(levels[i]);
                differing += std::memcmp(&want, &got[i], sizeof want) != 0;
            }
            EXPECT_EQ(differing, 0) << dsp::simd_path_name(path) << ", " << sensitivity << " dB, shape " << shape;
        }
    dsp::select_simd_path(active);
}

TEST(Midi, RampsLinearlyOverEachBlock) {
    HF_MIDI_Envelope e(1.0 / rate);
    std::vector<double> out;
    for (int block = 0; block < 3; ++block) {
        e.begin_block(4, 1.0);
        for (int i = 0; i < 4; ++i) out.push_back(e.next_value(0.3));
    }
    EXPECT_EQ(out, (std::vector<double>{0, 0.25, 0.5, 0.75, 1, 1, 1, 1, 1, 1, 1, 1}));
    e.begin_block(2, 0.0);
    EXPECT_EQ(e.next_value(0.0), 1.0);
    EXPECT_EQ(e.next_value(0.0), 0.5);
}

TEST(Midi, EmptyBlocksAndBadTargetsLeaveTheRampAlone) {
    HF_MIDI_Envelope e(1.0 / rate);
    e.begin_block(2, 0.5);
    e.next_value(0);
    e.next_value(0);
    e.begin_block(0, 1.0);  // no samples: ignored
    e.begin_block(2, 1.0);
    EXPECT_EQ(e.next_value(0), 0.5);
    EXPECT_EQ(e.next_value(0), 0.75);
    e.begin_block(2, std::nan(""));  // held at the previous target
    EXPECT_EQ(e.next_value(0), 1.0);
    EXPECT_EQ(e.next_value(0), 1.0);
}

TEST(Midi, ResetRampsTheNextBlockFromZero) {
    HF_MIDI_Envelope e(1.0 / rate);
    e.begin_block(1, 1.0);
    e.next_value(0);
    e.begin_block(1, 1.0);
    EXPECT_EQ(e.next_value(0), 1.0);
    e.set_sample_period(1.0 / rate);
    e.begin_block(2, 1.0);
    EXPECT_EQ(e.next_value(0), 0.0);
    EXPECT_EQ(e.next_value(0), 0.5);
}

TEST(Envelopes, SetSamplePeriodRescalesStepsAndAlwaysResets) {
    HF_AR_Up_Envelope e(1.0 / 1000.0);
    e.set_attack_time(10.0);
    e.next_value(1.0);
    e.set_sample_period(1.0 / 2000.0);
    EXPECT_FALSE(e.is_active());
    EXPECT_NEAR(e.next_value(1.0), 0.05, 1e-15);
    e.set_sample_period(0.0);  // invalid: the period stays, the sweep still returns to rest
    EXPECT_EQ(e.get_sample_period(), 1.0 / 2000.0);
    EXPECT_EQ(e.get_position(), 0.0);
}

}  // namespace
