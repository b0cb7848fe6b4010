// The oversampling low-pass section.
#include "dsp/HF_LowPass_BiQuad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

TEST(BiQuad, UnityGainAtZeroFrequency) {
    for (double rate : {16000.0, 88200.0, 192000.0}) {
        HF_LowPass_BiQuad_Mono f(1.0 / rate);
        f.set_cutoff(rate / 8.0);
        f.set_q(0.95);
        double y = 0.0;
        for (int i = 0; i < 2000; ++i) f.process(1.0, &y);
        EXPECT_NEAR(y, 1.0, 1e-12) << rate;
    }
}

// The cookbook low-pass has gain Q at its cut-off frequency.
TEST(BiQuad, GainAtCutoffEqualsQ) {
    const double rate = 96000.0, cutoff = 12000.0;
    HF_LowPass_BiQuad_Mono f(1.0 / rate);
    f.set_cutoff(cutoff);
    f.set_q(0.95);
    double peak = 0.0;
    for (int i = 0; i < 20000; ++i) {
        double y;
        f.process(std::sin(2.0 * std::numbers::pi * cutoff * i / rate), &y);
        if (i > 10000) peak = std::max(peak, std::fabs(y));
    }
    EXPECT_NEAR(peak, 0.95, 0.01);
}

TEST(BiQuad, QIsFlooredAndUnchangedValuesKeepTheMemories) {
    HF_LowPass_BiQuad_Mono f(1.0 / 48000.0);
    f.set_q(0.0);
    EXPECT_EQ(f.coefficients().q, 0.0001);
    f.set_q(-3.0);
    EXPECT_EQ(f.coefficients().q, 0.0001);
    f.set_q(0.95);
    double y;
    f.process(1.0, &y);
    const auto before = f.coefficients();
    f.set_cutoff(10000.0);  // the stored cut-off
    f.set_q(0.95);
    EXPECT_EQ(f.memory().x1, 1.0);
    EXPECT_EQ(f.coefficients().b0n, before.b0n);
}

TEST(BiQuad, QChangeGivesTheSameCoefficientsAsAFullRecompute) {
    HF_LowPass_BiQuad_Mono stepped(1.0 / 48000.0), direct(1.0 / 48000.0);
    stepped.set_q(3.0);
    stepped.set_cutoff(5000.0);
    stepped.set_q(0.7);
    direct.set_q(0.7);
    direct.set_cutoff(5000.0);
    for (auto get : {&dsp::lowpass_biquad_coefficients::b0n, &dsp::lowpass_biquad_coefficients::b1n,
                     &dsp::lowpass_biquad_coefficients::b2n, &dsp::lowpass_biquad_coefficients::a1n,
                     &dsp::lowpass_biquad_coefficients::a2n})
        EXPECT_EQ(stepped.coefficients().*get, direct.coefficients().*get);
}

TEST(BiQuad, SetPeriodAlwaysClearsMemoriesOfBothChannels) {
    HF_LowPass_BiQuad_Stereo f(1.0 / 48000.0);
    double l, r;
    f.process(0.5, -0.25, &l, &r);
    f.set_period(1.0 / 48000.0);
    EXPECT_EQ(f.memory().x1[0], 0.0);
    EXPECT_EQ(f.memory().y1[1], 0.0);
    f.process(0.5, -0.25, &l, &r);
    f.set_period(1.0 / 96000.0);
    EXPECT_EQ(f.memory().x1[1], 0.0);
    EXPECT_EQ(f.coefficients().period, 1.0 / 96000.0);
}

TEST(BiQuad, StereoChannelsEachEqualTheMono) {
    HF_LowPass_BiQuad_Mono ml(1.0 / 44100.0), mr(1.0 / 44100.0);
    HF_LowPass_BiQuad_Stereo s(1.0 / 44100.0);
    for (int i = 0; i < 500; ++i) {
        const double a = std::sin(i * 0.3), b = (i % 7) * 0.1 - 0.3;
        double ya, yb, sl, sr;
        ml.process(a, &ya);
        mr.process(b, &yb);
        s.process(a, b, &sl, &sr);
        ASSERT_EQ(ya, sl);
        ASSERT_EQ(yb, sr);
    }
}

}  // namespace
