// The input follower.
#include "dsp/HF_Envelope_Gauge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(EnvelopeGauge, CoefficientShrinksTheDistanceToOnePercentInTheGivenTime) {
    HF_Envelope_Gauge_Mono g(1.0 / 44100.0);
    g.set_attack_time(0.25);
    g.set_release_time(0.25);
    EXPECT_NEAR(g.state().get_attack_coefficient(), 0.99958, 5e-6);
    EXPECT_EQ(g.state().get_attack_coefficient(), std::pow(0.01, 1.0 / 11025.0));
    // Rising from 0 toward 0.8: after 0.25 s (11025 samples) the distance is 1 % of 0.8.
    for (int i = 0; i < 11025; ++i) g.process(0.8);
    EXPECT_NEAR(g.state().get_level(), 0.8 * 0.99, 1e-9);
    for (int i = 0; i < 200000; ++i) g.process(-0.8);
    EXPECT_NEAR(g.state().get_level(), 0.8, 1e-12);
    // Falling toward 0.2 with a 1 s release: 1 % of the distance left after 44100 samples.
    g.set_release_time(1.0);
    const double start = g.state().get_level();
    for (int i = 0; i < 44100; ++i) g.process(0.2);
    EXPECT_NEAR(g.state().get_level() - 0.2, (start - 0.2) * 0.01, 1e-9);
}

TEST(EnvelopeGauge, AttackAndReleaseAreChosenByDirection) {
    HF_Envelope_Gauge_Mono g(1.0 / 1000.0);
    g.set_attack_time(0.001);  // T / t = 1: the attack coefficient is 0.01
    g.set_release_time(0.002);  // 0.1
    EXPECT_NEAR(g.process(1.0), 0.99, 1e-15);
    EXPECT_NEAR(g.process(0.0), 0.099, 1e-15);
    // A level equal to the input stays where it is.
    HF_Envelope_Gauge_Mono h(1.0 / 1000.0);
    EXPECT_EQ(h.process(0.0), 0.0);
}

TEST(EnvelopeGauge, TimesAreFlooredAtATenthOfAMillisecond) {
    HF_Envelope_Gauge_Stereo g(1.0 / 48000.0);
    g.set_attack_time(0.0);
    g.set_release_time(-5.0);
    EXPECT_EQ(g.state().get_attack_time(), 0.0001);
    EXPECT_EQ(g.state().get_release_time(), 0.0001);
    g.set_attack_time(std::nan(""));
    EXPECT_EQ(g.state().get_attack_time(), 0.0001);
    EXPECT_EQ(g.state().get_attack_coefficient(), std::pow(0.01, (1.0 / 48000.0) / 0.0001));
}

TEST(EnvelopeGauge, StereoFollowsTheMeanOfTheMagnitudes) {
    HF_Envelope_Gauge_Stereo a(1.0 / 1000.0), b(1.0 / 1000.0);
    a.set_attack_time(0.0001);
    b.set_attack_time(0.0001);
    HF_Envelope_Gauge_Mono m(1.0 / 1000.0);
    m.set_attack_time(0.0001);
    for (int i = 0; i < 5; ++i) {
        const double la = a.process(1.0, -1.0), lb = b.process(1.0, 0.0), lm = m.process(1.0);
        EXPECT_EQ(la, lm);
        EXPECT_NEAR(lb, la * 0.5, 1e-15);
    }
}

TEST(EnvelopeGauge, SamplePeriodAlwaysZeroesTheLevel) {
    HF_Envelope_Gauge_Mono g(1.0 / 44100.0);
    g.process(0.9);
    g.set_sample_period(1.0 / 44100.0);
    EXPECT_EQ(g.state().get_level(), 0.0);
    const double before = g.state().get_release_coefficient();
    g.process(0.9);
    g.set_sample_period(1.0 / 22050.0);
    EXPECT_EQ(g.state().get_level(), 0.0);
    EXPECT_EQ(g.state().get_release_coefficient(), std::pow(0.01, (1.0 / 22050.0) / 1.0));
    EXPECT_LT(g.state().get_release_coefficient(), before);
}

TEST(EnvelopeGauge, NonFiniteInputClearsTheLevelAndFollowingGoesOn) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    HF_Envelope_Gauge_Mono g(1.0 / 48000.0), fresh(1.0 / 48000.0);
    HF_Envelope_Gauge_Stereo s(1.0 / 48000.0);
    for (int i = 0; i < 100; ++i) {
        g.process(0.5);
        s.process(0.5, 0.5);
    }
    EXPECT_EQ(g.process(nan), 0.0);
    EXPECT_EQ(g.process(inf), 0.0);
    EXPECT_EQ(s.process(0.2, -inf), 0.0);
    for (int i = 0; i < 100; ++i) {
        const double v = 0.3 + 0.001 * i;
        EXPECT_EQ(g.process(v), fresh.process(v));
        EXPECT_TRUE(std::isfinite(s.process(v, v)));
    }
    EXPECT_GT(g.state().get_level(), 0.0);
}

}  // namespace
