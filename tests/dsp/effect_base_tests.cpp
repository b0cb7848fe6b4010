// The effect base classes: the sample-period protocol, pass and off effects.
#include "dsp/HF_Off_Effect.h"
#include "dsp/HF_Pass_Effect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Records what update_coefficients and reset see, in order.
class recording_effect final : public HF_Pass_Effect_Mono {
public:
    using HF_Pass_Effect_Mono::HF_Pass_Effect_Mono;
    void update_coefficients() noexcept override { log.push_back("update@" + std::to_string(get_sample_rate())); }
    void reset() noexcept override { log.push_back("reset@" + std::to_string(get_oversampled_rate())); }
    std::vector<std::string> log;
};

TEST(EffectBase, SamePeriodOnlyResetsNewPeriodUpdatesThenResets) {
    recording_effect e(1.0 / 44100.0);
    EXPECT_TRUE(e.log.empty()) << "the constructor calls no virtual operation";
    e.set_sample_period(1.0 / 44100.0);
    EXPECT_EQ(e.log, (std::vector<std::string>{"reset@44100.000000"}));
    e.log.clear();
    e.set_sample_period(1.0 / 48000.0);
    // Both see the new period and the derived rates already.
    EXPECT_EQ(e.log, (std::vector<std::string>{"update@48000.000000", "reset@48000.000000"}));
    EXPECT_EQ(e.get_oversampled_period(), 1.0 / 48000.0);
}

TEST(EffectBase, InvalidPeriodKeepsTheRatesButStillResets) {
    recording_effect e(1.0 / 48000.0);
    for (double bad : {0.0, -1.0, std::nan(""), 1.0 / 0.0}) {
        e.log.clear();
        e.set_sample_period(bad);
        EXPECT_EQ(e.log, (std::vector<std::string>{"reset@48000.000000"}));
        EXPECT_EQ(e.get_sample_period(), 1.0 / 48000.0);
    }
}

TEST(EffectBase, PassEffectsLeaveBlocksBitForBitUnchanged) {
    const std::vector<double> original = {0.5, -0.0, 1e-310, -3.25, 1e300};
    HF_Pass_Effect_Mono mono(1.0 / 44100.0);
    HF_Pass_Effect_Stereo stereo(1.0 / 44100.0);
    auto m = original, l = original, r = original;
    mono.process_block(m.data(), static_cast<std::uint32_t>(m.size()));
    mono.process_sample(&m[0]);
    stereo.process_block(l.data(), r.data(), static_cast<std::uint32_t>(l.size()));
    EXPECT_EQ(0, std::memcmp(m.data(), original.data(), m.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(l.data(), original.data(), l.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(r.data(), original.data(), r.size() * sizeof(double)));
}

TEST(EffectBase, OffEffectsSilenceBothChannelsAndAnEmptyBlockTouchesNothing) {
    HF_Off_Effect_Mono mono(1.0 / 44100.0);
    HF_Off_Effect_Stereo stereo(1.0 / 44100.0);
    std::vector<double> m = {1, 2, 3}, l = {4, 5, 6}, r = {7, 8, 9};
    mono.process_block(m.data(), 0);
    stereo.process_block(l.data(), r.data(), 0);
    EXPECT_EQ(m, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(r, (std::vector<double>{7, 8, 9}));
    mono.process_block(m.data(), 2);
    stereo.process_block(l.data(), r.data(), 2);
    EXPECT_EQ(m, (std::vector<double>{0, 0, 3}));
    EXPECT_EQ(l, (std::vector<double>{0, 0, 6}));
    EXPECT_EQ(r, (std::vector<double>{0, 0, 9}));
    stereo.process_sample(&l[2], &r[2]);
    EXPECT_EQ(l[2] + r[2], 0.0);
}

}  // namespace
