// The formant wah effect: vowel interpolation, filter selection and the fan-out of settings.
#include "dsp/HF_Formant_Wah_Effect.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The vowel path EE -> OO -> I.
template <class Wah> void ee_oo_i(Wah &w) {
    w.set_start_formant(0);
    w.set_middle_formant(1);
    w.set_end_formant(2);
}

void expect_formants(const HF_Formant_Wah_Effect_Mono &w, double f1, double f2, double f3) {
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(0), f1);
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(1), f2);
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(2), f3);
    // and the selected ladder got exactly those
    for (int j = 0; j < 3; ++j) EXPECT_EQ(w.selected_filter().settings().formant_hz[j], w.get_formant_frequency(j));
}

TEST(FormantWah, InterpolatesBetweenTheThreeVowels) {
    HF_Formant_Wah_Effect_Mono w(1.0 / 44100.0);
    ee_oo_i(w);
    w.set_sweep_position(0.0);
    expect_formants(w, 260, 3500, 3800);
    w.set_sweep_position(0.25);
    expect_formants(w, 280, 2185, 3020);
    w.set_sweep_position(0.5);
    expect_formants(w, 300, 870, 2240);
    w.set_sweep_position(0.75);
    expect_formants(w, 345, 1430, 2395);
    w.set_sweep_position(1.0);
    expect_formants(w, 390, 1990, 2550);
}

TEST(FormantWah, OvershootExtendsTheOuterSegments) {
    HF_Formant_Wah_Effect_Mono w(1.0 / 44100.0);
    ee_oo_i(w);
    w.set_sweep_position(1.05);
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(0), 399.0);  // 300 + 2 x 90 x 0.55
    w.set_sweep_position(-0.002);
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(0), 260.0 - 80.0 * 0.002);
    EXPECT_DOUBLE_EQ(w.get_formant_frequency(1), 3500.0 + 5260.0 * 0.002);
}

TEST(FormantWah, VowelSettersWaitForTheNextPositionAndRowsAreHeldInTheTable) {
    HF_Formant_Wah_Effect_Mono w(1.0 / 44100.0);
    ee_oo_i(w);
    w.set_sweep_position(0.0);
    w.set_start_formant(9);  // "A"
    EXPECT_EQ(w.selected_filter().settings().formant_hz[0], 260.0);
    w.set_sweep_position(0.0);
    EXPECT_EQ(w.selected_filter().settings().formant_hz[0], 730.0);
    // Rows past the table act as its last row ("A").
    w.set_end_formant(4000000000u);
    EXPECT_EQ(w.get_end_formant(), 9u);
    w.set_middle_formant(10);
    w.set_sweep_position(1.0);
    expect_formants(w, 730, 1090, 2440);
}

TEST(FormantWah, FilterTypesSelectTheLadderAndGetTheCurrentFormantsAtOnce) {
    HF_Formant_Wah_Effect_Stereo w(1.0 / 48000.0);
    ee_oo_i(w);
    w.set_sweep_position(0.75);
    const int expected_ladder[8] = {4, 5, 6, 7, 0, 1, 2, 3};
    for (std::uint32_t type = 0; type < 8; ++type) {
        w.set_filter_type(type);
        EXPECT_EQ(&w.selected_filter(), &w.filter(expected_ladder[type])) << type;
        EXPECT_EQ(w.selected_filter().settings().formant_hz[1], 1430.0);
    }
    w.set_filter_type(9);
    EXPECT_EQ(&w.selected_filter(), &w.filter(4));
    w.set_filter_type(0xFFFFFFFFu);
    EXPECT_EQ(&w.selected_filter(), &w.filter(4));
}

TEST(FormantWah, ResonanceAndDriveReachAllEightLadders) {
    HF_Formant_Wah_Effect_Mono w(1.0 / 44100.0);
    w.set_resonance(0.9);
    w.set_drive(1.5);  // acts as 1
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.filter(i).settings().resonance, 0.9) << i;
        EXPECT_NEAR(w.filter(i).settings().damping, 0.08, 1e-15);
        EXPECT_EQ(w.filter(i).settings().shaper.shape, 1.0 * 0.6666666666666666 + 0.3333333333333333);
        EXPECT_NEAR(w.filter(i).settings().shaper.limit, 0.1, 1e-15);
        EXPECT_EQ(w.filter(i).settings().shaper.gain, 0.6666666666666666);
    }
    EXPECT_EQ(w.get_drive(), 1.0);
    w.set_drive(-2.0);
    EXPECT_EQ(w.get_drive(), 0.0001);
    EXPECT_NEAR(w.filter(7).settings().shaper.limit, (1.0 - 0.0001) * 0.9 + 0.1, 1e-15);
}

TEST(FormantWah, FreshEffectsLaddersHoldTheStoredDrive) {
    HF_Formant_Wah_Effect_Mono w(1.0 / 44100.0);
    const double c = w.get_drive();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(w.filter(i).settings().shaper.limit, (1.0 - c) * 0.9 + 0.1);
}

// A ladder that is switched away from keeps its history and continues from it when selected
// again: its output equals a standalone ladder that only saw the samples of its own turns.
TEST(FormantWah, SwitchingFilterTypesKeepsEachLaddersHistory) {
    const double period = 1.0 / 44100.0;
    HF_Formant_Wah_Effect_Mono w(period);
    HF_One_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono alone(period);
    w.set_drive(0.5);
    alone.set_saturation(0.5 * 0.6666666666666666 + 0.3333333333333333, 0.5 * 0.9 + 0.1, 0.6666666666666666);
    ee_oo_i(w);
    const auto in = test_signals::voice(3000, 44100.0, 21);
    int compared = 0;
    for (std::size_t s = 0; s < in.size(); ++s) {
        const bool own_turn = (s / 500) % 2 == 0;
        w.set_filter_type(own_turn ? 0 : 7);
        const double p = test_signals::sweep_at(s, in.size());
        w.set_sweep_position(p);
        double x = in[s];
        w.process_sample(&x);
        if (own_turn) {
            alone.set_formant_1_frequency(w.get_formant_frequency(0));
            alone.set_formant_2_frequency(w.get_formant_frequency(1));
            alone.set_formant_3_frequency(w.get_formant_frequency(2));
            double y = in[s];
            alone.process_sample(&y);
            ASSERT_EQ(x, y) << s;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 1500);
}

TEST(FormantWah, SamplePeriodReachesEveryLadderAndClearsIt) {
    HF_Formant_Wah_Effect_Stereo w(1.0 / 44100.0);
    double l = 0.7, r = -0.2;
    w.process_sample(&l, &r);
    w.set_sample_period(1.0 / 22050.0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.filter(i).get_sample_period(), 1.0 / 22050.0);
        EXPECT_EQ(w.filter(i).up_filter().memory().x1[0], 0.0);
    }
    for (int i = 0; i < 200; ++i) {
        double zl = 0.0, zr = 0.0;
        w.set_sweep_position(0.3);
        w.process_sample(&zl, &zr);
        ASSERT_EQ(zl, 0.0);
        ASSERT_EQ(zr, 0.0);
    }
}

TEST(FormantWah, NonFiniteBurstThroughTheEffectRecovers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    HF_Formant_Wah_Effect_Mono mono(1.0 / 48000.0);
    HF_Formant_Wah_Effect_Stereo stereo(1.0 / 48000.0);
    mono.set_filter_type(7);
    stereo.set_filter_type(3);
    const auto in = test_signals::voice(2000, 48000.0, 22);
    double last_m = 0, last_l = 0, last_r = 0;
    for (std::size_t s = 0; s < in.size(); ++s) {
        const bool burst = s >= 1000 && s < 1010;
        double m = burst ? nan : in[s], l = burst ? 1.0 / 0.0 : in[s], r = burst ? nan : in[s];
        mono.set_sweep_position(0.4);
        stereo.set_sweep_position(0.4);
        mono.process_sample(&m);
        stereo.process_sample(&l, &r);
        ASSERT_TRUE(std::isfinite(m) && std::isfinite(l) && std::isfinite(r)) << s;
        last_m = m;
        last_l = l;
        last_r = r;
    }
    EXPECT_NE(last_m, 0.0);
    EXPECT_NE(last_l, 0.0);
    EXPECT_NE(last_r, 0.0);
}

}  // namespace
