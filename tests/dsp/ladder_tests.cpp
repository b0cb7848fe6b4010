// The sixteen formant ladders: the designed arithmetic (bit for bit, against an independent
// model), the saturator, the stability bound at low rates, and recovery from non-finite input.
#include "dsp/HF_Nonlinear_Formant_Ladder_Effect.h"
#include "reference_ladder.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

namespace {

using mono_set = std::unique_ptr<HF_Nonlinear_Ladder_Effect_Mono>[8];
using stereo_set = std::unique_ptr<HF_Nonlinear_Ladder_Effect_Stereo>[8];

// Creation order: band-pass 1-4 stages, then low-pass 1-4 stages.
int stages_of(int i) { return i % 4 + 1; }
bool low_pass_of(int i) { return i >= 4; }

// The formants of the vowel path EE -> OO -> I at a sweep position, as the wah effect computes them.
void formants_at(double p, double (&f)[3]) {
    const double start[3] = {260, 3500, 3800}, middle[3] = {300, 870, 2240}, end[3] = {390, 1990, 2550};
    for (int j = 0; j < 3; ++j)
        f[j] = p >= 0.5 ? middle[j] + 2.0 * (end[j] - middle[j]) * (p - 0.5) : start[j] + 2.0 * (middle[j] - start[j]) * p;
}

template <class Ladder> void set_formants(Ladder &l, const double (&f)[3]) {
    l.set_formant_1_frequency(f[0]);
    l.set_formant_2_frequency(f[1]);
    l.set_formant_3_frequency(f[2]);
}

// The saturation the wah effect derives from a drive value.
template <class Ladder> void set_drive(Ladder &l, double c) {
    l.set_saturation(c * 0.6666666666666666 + 0.3333333333333333, (1.0 - c) * 0.9 + 0.1, 0.6666666666666666);
}

TEST(Ladder, MatchesThePlainModelBitForBitAtHostRates) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const double period = 1.0 / rate;
        const std::size_t n = 6000;
        const auto left = test_signals::voice(n, rate, 1);
        const auto right = test_signals::voice(n, rate, 2, 1.7);
        mono_set mono;
        stereo_set stereo;
        dsp::make_formant_ladders(period, mono);
        dsp::make_formant_ladders(period, stereo);
        for (int i = 0; i < 8; ++i) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << " ladder " << i);
            reference::ladder ref_l(stages_of(i), low_pass_of(i), period), ref_r(stages_of(i), low_pass_of(i), period);
            for (auto *r : {&ref_l, &ref_r}) {
                r->set_resonance(0.85);
                r->set_drive(0.6);
            }
            mono[i]->set_resonance(0.85);
            stereo[i]->set_resonance(0.85);
            set_drive(*mono[i], 0.6);
            set_drive(*stereo[i], 0.6);
            int mismatches = 0;
            for (std::size_t s = 0; s < n; ++s) {
                double f[3];
                formants_at(test_signals::sweep_at(s, n), f);
                ref_l.set_formants(f[0], f[1], f[2]);
                ref_r.set_formants(f[0], f[1], f[2]);
                set_formants(*mono[i], f);
                set_formants(*stereo[i], f);
                const double want_l = ref_l.process(left[s]), want_r = ref_r.process(right[s]);
                double x = left[s], l = left[s], r = right[s];
                mono[i]->process_sample(&x);
                stereo[i]->process_sample(&l, &r);
                mismatches += (x != want_l) + (l != want_l) + (r != want_r);
                ASSERT_TRUE(std::isfinite(want_l));
            }
            EXPECT_EQ(mismatches, 0);
        }
    }
}

TEST(Ladder, ProcessBlockEqualsProcessSampleForEveryMember) {
    const double period = 1.0 / 48000.0;
    const auto in_l = test_signals::voice(1500, 48000.0, 3), in_r = test_signals::voice(1500, 48000.0, 4);
    mono_set by_sample, by_block;
    stereo_set st_sample, st_block;
    dsp::make_formant_ladders(period, by_sample);
    dsp::make_formant_ladders(period, by_block);
    dsp::make_formant_ladders(period, st_sample);
    dsp::make_formant_ladders(period, st_block);
    const double f[3] = {530, 1840, 2480};
    for (int i = 0; i < 8; ++i) {
        set_formants(*by_sample[i], f);
        set_formants(*by_block[i], f);
        set_formants(*st_sample[i], f);
        set_formants(*st_block[i], f);
        auto a = in_l, l = in_l, r = in_r, b = in_l, bl = in_l, br = in_r;
        for (std::size_t s = 0; s < a.size(); ++s) {
            by_sample[i]->process_sample(&a[s]);
            st_sample[i]->process_sample(&l[s], &r[s]);
        }
        // Two blocks, so the state carried between calls is covered too.
        by_block[i]->process_block(b.data(), 700);
        by_block[i]->process_block(b.data() + 700, 800);
        st_block[i]->process_block(bl.data(), br.data(), 700);
        st_block[i]->process_block(bl.data() + 700, br.data() + 700, 800);
        EXPECT_EQ(a, b) << "mono ladder " << i;
        EXPECT_EQ(l, bl) << "stereo ladder " << i;
        EXPECT_EQ(r, br) << "stereo ladder " << i;
    }
}

TEST(Ladder, StereoOnEqualChannelsEqualsMonoOnBoth) {
    const double period = 1.0 / 44100.0;
    const auto in = test_signals::voice(3000, 44100.0, 5);
    mono_set mono;
    stereo_set stereo;
    dsp::make_formant_ladders(period, mono);
    dsp::make_formant_ladders(period, stereo);
    for (int i = 0; i < 8; ++i) {
        int differing = 0;
        for (std::size_t s = 0; s < in.size(); ++s) {
            double f[3];
            formants_at(test_signals::sweep_at(s, in.size()), f);
            set_formants(*mono[i], f);
            set_formants(*stereo[i], f);
            double m = in[s], l = in[s], r = in[s];
            mono[i]->process_sample(&m);
            stereo[i]->process_sample(&l, &r);
            differing += (l != m) + (r != m);
        }
        EXPECT_EQ(differing, 0) << "ladder " << i;
    }
}

TEST(Ladder, SilenceGivesExactZerosAfterReset) {
    const double period = 1.0 / 44100.0;
    mono_set mono;
    stereo_set stereo;
    dsp::make_formant_ladders(period, mono);
    dsp::make_formant_ladders(period, stereo);
    const auto noise = test_signals::voice(500, 44100.0, 6);
    for (int i = 0; i < 8; ++i) {
        // Build up history first, so the reset has something to clear.
        for (double v : noise) {
            double x = v, l = v, r = -v;
            mono[i]->process_sample(&x);
            stereo[i]->process_sample(&l, &r);
        }
        mono[i]->set_sample_period(period);
        stereo[i]->set_sample_period(period);
        std::vector<double> m(2000, 0.0), l(2000, 0.0), r(2000, 0.0);
        for (std::size_t s = 0; s < m.size(); ++s) {
            set_formants(*mono[i], {260, 3500, 3800});
            set_formants(*stereo[i], {260, 3500, 3800});
            mono[i]->process_sample(&m[s]);
            stereo[i]->process_sample(&l[s], &r[s]);
        }
        for (std::size_t s = 0; s < m.size(); ++s) {
            ASSERT_EQ(m[s], 0.0) << "ladder " << i << " sample " << s;
            ASSERT_EQ(l[s], 0.0);
            ASSERT_EQ(r[s], 0.0);
        }
    }
}

TEST(Ladder, DefaultSaturatorCurveAndCeiling) {
    HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Mono l(1.0 / 44100.0);
    EXPECT_EQ(l.saturate(0.5), 0.6875);  // 1.5 x 0.5 - 0.5 x 0.125
    EXPECT_EQ(l.saturate(-0.5), -0.6875);
    EXPECT_EQ(l.saturate(0.0), 0.0);
    EXPECT_EQ(l.saturate(1.0), 1.0);
    EXPECT_EQ(l.saturate(-7.0), -1.0);
    EXPECT_EQ(l.saturate(std::numeric_limits<double>::infinity()), 1.0);
}

TEST(Ladder, SaturationFromHardestDrive) {
    HF_Two_Stage_Nonlinear_LPFormant_Ladder_Effect_Stereo l(1.0 / 44100.0);
    set_drive(l, 1.0);  // shape 1, limit 0.1, gain 2/3
    const auto &s = l.settings().shaper;
    EXPECT_DOUBLE_EQ(s.c1, 2.0);                    // slope at the origin
    EXPECT_NEAR(s.ceiling, 1.0 / 15.0, 1e-15);      // gain x limit
    EXPECT_NEAR(l.saturate(1e-9) / 1e-9, 2.0, 1e-7);
    EXPECT_EQ(l.saturate(0.1), s.ceiling);
    EXPECT_EQ(l.saturate(-3.0), -s.ceiling);
    // The curve meets the ceiling smoothly: just below the limit it is within a hair of it.
    EXPECT_NEAR(l.saturate(0.1 - 1e-7), s.ceiling, 1e-12);
    // Odd and monotonic up to the limit.
    double previous = 0.0;
    for (double x = 0.001; x < 0.1; x += 0.001) {
        EXPECT_GT(l.saturate(x), previous);
        EXPECT_EQ(l.saturate(-x), -l.saturate(x));
        previous = l.saturate(x);
    }
}

TEST(Ladder, SetSaturationClampsLimitAndGain) {
    HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Mono l(1.0 / 44100.0);
    l.set_saturation(0.5, 2.0, 0.0);
    EXPECT_EQ(l.settings().shaper.limit, 1.0);
    EXPECT_EQ(l.settings().shaper.gain, 0.0001);
    l.set_saturation(0.5, -1.0, 1.0);
    EXPECT_EQ(l.settings().shaper.limit, 0.0001);
    EXPECT_EQ(l.saturate(5.0), l.settings().shaper.ceiling);
    EXPECT_NEAR(l.settings().shaper.ceiling, 0.0001, 1e-18);
}

TEST(Ladder, ResonanceSetsFirstStageDampingWithinZeroToOne) {
    HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Mono l(1.0 / 44100.0);
    EXPECT_EQ(l.settings().damping, 0.4);
    l.set_resonance(1.0);
    EXPECT_EQ(l.settings().damping, 0.0);
    l.set_resonance(0.0);
    EXPECT_EQ(l.settings().damping, 0.8);
    // Beyond 1 the damping would turn negative and the first stage would grow without bound.
    l.set_resonance(1.5);
    EXPECT_EQ(l.settings().resonance, 1.0);
    EXPECT_EQ(l.settings().damping, 0.0);
    l.set_resonance(std::nan(""));
    EXPECT_EQ(l.settings().resonance, 1.0);
}

TEST(Ladder, CoefficientFormsAndQuarterRateOversamplingFilters) {
    for (double rate : {8000.0, 44100.0, 96000.0}) {
        HF_Four_Stage_Nonlinear_LPFormant_Ladder_Effect_Mono l(1.0 / rate);
        const double half_period = 0.5 / rate;
        EXPECT_EQ(l.get_oversampling_factor(), 2.0);
        EXPECT_EQ(l.get_oversampled_period(), half_period);
        // Construction and update_coefficients: exact form 2 sin(pi f T).
        EXPECT_NEAR(l.settings().k[0], 2.0 * std::sin(std::numbers::pi * 400.0 * half_period), 1e-15);
        EXPECT_NEAR(l.settings().k[2], 2.0 * std::sin(std::numbers::pi * 1000.0 * half_period), 1e-15);
        // Per-sample setters: first-order 2 pi f T.
        l.set_formant_2_frequency(870.0);
        EXPECT_NEAR(l.settings().k[1], 2.0 * std::numbers::pi * 870.0 * half_period, 1e-15);
        // Up and down filters: cut-off at a quarter of the host rate = pi/4 at their own rate.
        for (const auto *f : {&l.up_filter(), &l.down_filter()}) {
            EXPECT_NEAR(f->coefficients().cos_w, std::sqrt(0.5), 1e-12);
            EXPECT_NEAR(f->coefficients().sin_w, std::sqrt(0.5), 1e-12);
            EXPECT_EQ(f->coefficients().q, 0.95);
        }
    }
}

TEST(Ladder, NewSamplePeriodUpdatesScalesBeforeClearingHistory) {
    // A ladder moved from 44.1 kHz to 96 kHz must behave exactly like one built at 96 kHz.
    HF_Three_Stage_Nonlinear_Formant_Ladder_Effect_Stereo moved(1.0 / 44100.0), fresh(1.0 / 96000.0);
    for (auto *l : {&moved, &fresh}) {
        l->set_resonance(0.7);
        set_drive(*l, 0.4);
    }
    const auto warm = test_signals::voice(300, 44100.0, 7);
    for (double v : warm) {
        double a = v, b = v;
        moved.process_sample(&a, &b);
    }
    moved.set_sample_period(1.0 / 96000.0);
    EXPECT_EQ(moved.settings().frequency_scale, fresh.settings().frequency_scale);
    const auto in = test_signals::voice(2000, 96000.0, 8);
    for (double v : in) {
        double f[3] = {490, 1350, 1690};
        set_formants(moved, f);
        set_formants(fresh, f);
        double ml = v, mr = -v, fl = v, fr = -v;
        moved.process_sample(&ml, &mr);
        fresh.process_sample(&fl, &fr);
        ASSERT_EQ(ml, fl);
        ASSERT_EQ(mr, fr);
    }
}

// At an 8 kHz host rate (16 kHz inside) the plain per-sample coefficient of EE's third
// formant, 2 pi 3800 / 16000 = 1.49, lies beyond the q = 1 stages' stability bound sqrt(5) - 1.
TEST(Ladder, PlainModelDivergesAt8kHz) {
    reference::ladder ref(2, false, 1.0 / 8000.0);
    ref.set_formants(260, 3500, 3800);
    const auto in = test_signals::voice(8000, 8000.0, 9);
    bool diverged = false;
    for (double v : in) {
        const double y = ref.process(v);
        diverged |= !std::isfinite(y) || std::fabs(y) > 1e6;
    }
    EXPECT_TRUE(diverged) << "the scenario below would not exercise the stability bound";
}

TEST(Ladder, StaysBoundedAt8kHzForEveryVowelAtFullResonanceAndDrive) {
    const double period = 1.0 / 8000.0;
    const double vowels[10][3] = {{260, 3500, 3800}, {300, 870, 2240}, {390, 1990, 2550}, {440, 1020, 2240},
                                  {490, 1350, 1690}, {520, 1190, 2390}, {530, 1840, 2480}, {570, 840, 2410},
                                  {660, 1720, 2410}, {730, 1090, 2440}};
    const auto left = test_signals::voice(16000, 8000.0, 10, 3.0);
    const auto right = test_signals::voice(16000, 8000.0, 11, 0.3);
    double worst = 0.0;
    for (const auto &vowel : vowels) {
        mono_set mono;
        stereo_set stereo;
        dsp::make_formant_ladders(period, mono);
        dsp::make_formant_ladders(period, stereo);
        for (int i = 0; i < 8; ++i) {
            mono[i]->set_resonance(1.0);
            stereo[i]->set_resonance(1.0);
            set_drive(*mono[i], 1.0);
            set_drive(*stereo[i], 1.0);
            for (std::size_t s = 0; s < left.size(); ++s) {
                set_formants(*mono[i], vowel);
                set_formants(*stereo[i], vowel);
                double x = left[s], l = left[s], r = right[s];
                mono[i]->process_sample(&x);
                stereo[i]->process_sample(&l, &r);
                ASSERT_TRUE(std::isfinite(x) && std::isfinite(l) && std::isfinite(r)) << "ladder " << i;
                worst = std::max({worst, std::fabs(x), std::fabs(l), std::fabs(r)});
            }
        }
    }
    // The first stage at resonance 1 is undamped by design, so the bound is loose; a diverging
    // stage would reach 1e300 and beyond.
    EXPECT_LT(worst, 100.0);
    RecordProperty("worst_abs_output", std::to_string(worst));
}

TEST(Ladder, ResonatorCoefficientIsHeldInItsStableRange) {
    HF_One_Stage_Nonlinear_Formant_Ladder_Effect_Mono low(1.0 / 8000.0), high(1.0 / 44100.0);
    low.set_formant_3_frequency(3800.0);
    EXPECT_EQ(low.settings().k[2], dsp::resonator_k_max);
    EXPECT_EQ(low.settings().formant_hz[2], 3800.0);
    low.set_formant_1_frequency(-50.0);
    EXPECT_EQ(low.settings().k[0], 0.0);
    low.set_formant_2_frequency(std::nan(""));
    EXPECT_EQ(low.settings().k[1], 0.0);
    // At 44.1 kHz the same formant keeps its first-order coefficient exactly.
    high.set_formant_3_frequency(3800.0);
    EXPECT_EQ(high.settings().k[2], 3800.0 * high.settings().frequency_scale);
}

// After a burst of non-finite input a ladder outputs 0.0 on the faulty samples and then
// exactly what a freshly reset ladder gives for the same input.
TEST(Ladder, RecoversFromNonFiniteInputMonoAndStereo) {
    const double period = 1.0 / 48000.0;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const auto before = test_signals::voice(400, 48000.0, 12), after = test_signals::voice(1000, 48000.0, 13);
    const double burst[] = {nan, inf, -inf, nan};
    const double f[3] = {660, 1720, 2410};
    mono_set mono, mono_fresh, mono_right;
    stereo_set stereo;
    dsp::make_formant_ladders(period, mono);
    dsp::make_formant_ladders(period, mono_fresh);
    dsp::make_formant_ladders(period, mono_right);
    dsp::make_formant_ladders(period, stereo);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "ladder " << i);
        for (auto *l : {mono[i].get(), mono_fresh[i].get(), mono_right[i].get()}) set_formants(*l, f);
        set_formants(*stereo[i], f);
        // The right channel of the stereo ladder never sees the burst and must not notice it.
        auto feed = [&](double v, double right_v, double &out_m, double &out_l, double &out_r, double &out_ref_r) {
            out_m = v;
            out_l = v;
            out_r = right_v;
            out_ref_r = right_v;
            mono[i]->process_sample(&out_m);
            stereo[i]->process_sample(&out_l, &out_r);
            mono_right[i]->process_sample(&out_ref_r);
        };
        double m, l, r, ref_r;
        for (double v : before) {
            feed(v, v * 0.5, m, l, r, ref_r);
            ASSERT_EQ(r, ref_r);
        }
        for (double v : burst) {
            feed(v, 0.25, m, l, r, ref_r);
            EXPECT_EQ(m, 0.0);
            EXPECT_EQ(l, 0.0);
            EXPECT_EQ(r, ref_r);
        }
        for (double v : after) {
            double fresh = v;
            mono_fresh[i]->process_sample(&fresh);
            feed(v, -v, m, l, r, ref_r);
            ASSERT_EQ(m, fresh);
            ASSERT_EQ(l, fresh);
            ASSERT_EQ(r, ref_r);
        }
        EXPECT_NE(m, 0.0);
    }
}

}  // namespace
