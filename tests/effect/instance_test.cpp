// The effect instance end to end through AudioUnitRender: parameter delivery through its own
// listener, the mix and clip, the envelope and vowel selection rules, Reset and re-Initialize,
// the level read-out and its announcements.
#include "zentrova_host.h"

#include "host/cf_string.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zentrova_test;

namespace {

enum : AudioUnitParameterID {
    dry = 0, formant = 1, filter_type = 2, start_vowel = 3, middle_vowel = 4, end_vowel = 5,
    envelope_type = 8, follower_attack = 9, follower_release = 10, sensitivity = 12,
    envelope_attack = 13, envelope_release = 14, midi_control = 15
};

constexpr unsigned block = 512;

channels blocks_of(const std::vector<float> &signal, std::size_t index, unsigned channel_count) {
    std::vector<float> part(signal.begin() + index * block, signal.begin() + (index + 1) * block);
    return channels(channel_count, part);
}

// Renders `count` blocks of the burst signal and returns them, one channel, concatenated.
std::vector<float> render_blocks(zentrova_host &host, std::size_t first, std::size_t count, unsigned channel_count = 1) {
    const auto signal = bursts((first + count) * block);
    std::vector<float> out;
    for (std::size_t b = first; b < first + count; ++b) {
        const auto y = host.render(blocks_of(signal, b, channel_count));
        out.insert(out.end(), y[0].begin(), y[0].end());
    }
    return out;
}

// A fresh mono instance with the formant path on, the given settings applied and delivered.
std::vector<float> formant_render(std::initializer_list<std::pair<AudioUnitParameterID, float>> settings,
                                  std::size_t blocks = 8) {
    zentrova_host host(1);
    host.set(dry, -80);
    host.set(formant, 0);
    host.set(midi_control, 1);
    host.set(start_vowel, 0);
    host.set(end_vowel, 9);
    for (auto [id, value] : settings) host.set(id, value);
    host.initialize();
    deliver_events();
    return render_blocks(host, 0, blocks);
}

double energy(const std::vector<float> &x) {
    double e = 0;
    for (float v : x) e += double(v) * v;
    return e;
}

}  // namespace

TEST(ZentrovaInstance, SilentUntilTheRunLoopDeliversTheStoredValues) {
    zentrova_host host(2);
    host.set(dry, 0);
    host.initialize();
    const auto loud = channels(2, bursts(block, 100, 0.8f));
    for (const auto &channel : host.render(loud))
        for (float y : channel) ASSERT_EQ(y, 0.0f);
    deliver_events();
    const auto y = host.render(loud);
    EXPECT_GT(energy(y[0]), 0.0);
    EXPECT_GT(energy(y[1]), 0.0);
}

TEST(ZentrovaInstance, DryOnlyPassesTheInputBitForBitExceptTheClip) {
    for (unsigned channel_count : {1u, 2u}) {
        zentrova_host host(channel_count);
        host.set(dry, 0);
        host.set(formant, -80);
        host.initialize();
        deliver_events();
        std::vector<float> x = bursts(block, 300, 0.9f);
        x[10] = 1.5f;
        x[11] = -2.0f;
        x[12] = 1.0f;
        x[13] = -1.0f;
        x[14] = 1e-30f;
        const auto y = host.render(channels(channel_count, x));
        for (unsigned c = 0; c < channel_count; ++c) {
            for (unsigned i = 0; i < block; ++i) {
                const float expected = std::fmax(-1.0f, std::fmin(1.0f, x[i]));
                if (i == 14) continue;  // denormal-range input may be flushed to zero while rendering
                ASSERT_EQ(y[c][i], expected) << "channel " << c << " sample " << i;
            }
            EXPECT_EQ(y[c][10], 1.0f);
            EXPECT_EQ(y[c][11], -1.0f);
        }
    }
}

TEST(ZentrovaInstance, MinusSeventyNineDecibelsAndBelowMute) {
    const auto x = bursts(block, 300, 0.9f);
    for (float level : {-80.0f, -79.0f, -78.9f}) {
        zentrova_host host(1);
        host.set(dry, level);
        host.set(formant, -80);
        host.initialize();
        deliver_events();
        const auto y = host.render(channels(1, x));
        for (unsigned i = 0; i < block; ++i) {
            if (level <= -79.0f) {
                ASSERT_EQ(y[0][i], 0.0f) << level;
            } else {
                ASSERT_FLOAT_EQ(y[0][i], static_cast<float>(x[i] * std::pow(10.0, -78.9 / 20.0))) << i;
            }
        }
    }
}

TEST(ZentrovaInstance, EnvelopeTypeIsTruncatedAndOutOfRangeSelectsNone) {
    const auto midi = formant_render({{envelope_type, 4}});
    const auto none = formant_render({{envelope_type, 0}});
    ASSERT_NE(midi, none);  // the MIDI ramp moves the vowel; None holds the start vowel
    EXPECT_EQ(formant_render({{envelope_type, 4.9f}}), midi);
    EXPECT_EQ(formant_render({{envelope_type, 5}}), none);
    EXPECT_EQ(formant_render({{envelope_type, -1}}), none);
}

TEST(ZentrovaInstance, VowelIndicesRoundToNearestWithTiesToEven) {
    const auto vowel2 = formant_render({{start_vowel, 2}});
    const auto vowel3 = formant_render({{start_vowel, 3}});
    const auto vowel4 = formant_render({{start_vowel, 4}});
    ASSERT_NE(vowel2, vowel3);
    ASSERT_NE(vowel3, vowel4);
    EXPECT_EQ(formant_render({{start_vowel, 2.5f}}), vowel2);
    EXPECT_EQ(formant_render({{start_vowel, 3.5f}}), vowel4);
    // Out of the table's range the nearest vowel is used.
    EXPECT_EQ(formant_render({{start_vowel, 12}}), formant_render({{start_vowel, 9}}));
    EXPECT_EQ(formant_render({{start_vowel, -3}}), formant_render({{start_vowel, 0}}));
}

TEST(ZentrovaInstance, MidiRampKeepsRunningWhileAnotherEnvelopeIsSelected) {
    // Both instances share blocks 0-2: MIDI towards 1, then None while the control falls to 0.
    // In block 3 one selects MIDI again, the other stays on None. Had the MIDI ramp stopped while
    // unselected, it would restart from 1 and glide down; since it kept running it sits at 0,
    // exactly where None holds the sweep.
    auto run = [](float last_type) {
        zentrova_host host(1);
        host.set(dry, -80);
        host.set(formant, 0);
        host.set(envelope_type, 4);
        host.set(midi_control, 1);
        host.initialize();
        deliver_events();
        auto out = render_blocks(host, 0, 1);
        host.set(envelope_type, 0);
        host.set(midi_control, 0);
        deliver_events();
        const auto middle = render_blocks(host, 1, 2);
        out.insert(out.end(), middle.begin(), middle.end());
        host.set(envelope_type, last_type);
        deliver_events();
        const auto last = render_blocks(host, 3, 1);
        out.insert(out.end(), last.begin(), last.end());
        return out;
    };
    EXPECT_EQ(run(4), run(0));
}

TEST(ZentrovaInstance, ResetReturnsTheChainToItsFreshStateAtTheSameRate) {
    auto configure = [](zentrova_host &host) {
        host.set(dry, -6);
        host.set(formant, 0);
        host.set(envelope_type, 1);  // Sweep Up, triggered by the bursts
        host.set(sensitivity, -30);
        host.set(envelope_attack, 30);
        host.set(envelope_release, 60);
        host.initialize();
        deliver_events();
    };
    zentrova_host fresh(2), used(2);
    configure(fresh);
    configure(used);
    render_blocks(used, 0, 7, 2);  // mid-sweep, follower up, filters ringing
    EXPECT_GT(used.follower_level(), 0.0);
    used.reset();
    EXPECT_EQ(used.follower_level(), 0.0);
    deliver_events();
    EXPECT_EQ(render_blocks(used, 0, 10, 2), render_blocks(fresh, 0, 10, 2));
}

TEST(ZentrovaInstance, SecondInitializeKeepsTheChainsState) {
    auto configure = [](zentrova_host &host) {
        host.set(formant, 0);
        host.set(envelope_type, 3);  // Track
        host.initialize();
        deliver_events();
    };
    zentrova_host continuous(2), reinitialized(2);
    configure(continuous);
    configure(reinitialized);
    EXPECT_EQ(render_blocks(continuous, 0, 5, 2), render_blocks(reinitialized, 0, 5, 2));
    ASSERT_EQ(AudioUnitUninitialize(reinitialized.unit), noErr);
    reinitialized.initialize();
    deliver_events();
    EXPECT_EQ(render_blocks(continuous, 5, 5, 2), render_blocks(reinitialized, 5, 5, 2));
}

TEST(ZentrovaInstance, StereoWithEqualChannelsEqualsMono) {
    zentrova_host mono(1), stereo(2);
    for (auto *host : {&mono, &stereo}) {
        host->set(dry, -12);
        host->set(formant, -3);
        host->set(envelope_type, 1);
        host->set(filter_type, 7);
        host->set(sensitivity, -30);
        host->initialize();
        deliver_events();
    }
    const auto signal = bursts(6 * block);
    for (std::size_t b = 0; b < 6; ++b) {
        const auto m = mono.render(blocks_of(signal, b, 1));
        const auto s = stereo.render(blocks_of(signal, b, 2));
        ASSERT_EQ(s[0], m[0]) << "block " << b;
        ASSERT_EQ(s[1], m[0]) << "block " << b;
    }
}

TEST(ZentrovaInstance, LevelReadOutFollowsTheInputAndIsAnnouncedEvery27Blocks) {
    zentrova_host host(1);
    EXPECT_EQ(host.follower_level(), 0.0);  // before any render
    struct counter {
        std::vector<int> blocks;
        int current = 0;
    } seen;
    auto listener = [](void *user, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
        auto *c = static_cast<counter *>(user);
        if (id == 80110 && scope == kAudioUnitScope_Global && element == 0) c->blocks.push_back(c->current);
    };
    ASSERT_EQ(AudioUnitAddPropertyListener(host.unit, 80110, listener, &seen), noErr);
    host.set(follower_attack, 1);
    host.initialize();
    deliver_events();
    const channels steady(1, std::vector<float>(block, 0.25f));
    for (int b = 1; b <= 81; ++b) {
        seen.current = b;
        host.render(steady);
    }
    EXPECT_EQ(seen.blocks, (std::vector<int>{27, 54, 81}));
    // A constant magnitude: the follower settles on it.
    EXPECT_NEAR(host.follower_level(), 0.25, 1e-9);

    double level = 0;
    EXPECT_EQ(AudioUnitSetProperty(host.unit, 80110, kAudioUnitScope_Global, 0, &level, sizeof level),
              kAudioUnitErr_InvalidProperty);
    EXPECT_NEAR(host.follower_level(), 0.25, 1e-9);
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(AudioUnitGetPropertyInfo(host.unit, 80110, kAudioUnitScope_Global, 0, &size, &writable), noErr);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(writable);
    EXPECT_EQ(AudioUnitGetPropertyInfo(host.unit, 80110, kAudioUnitScope_Input, 0, &size, &writable),
              kAudioUnitErr_InvalidProperty);
}

TEST(ZentrovaInstance, CocoaViewNamesTheEditorBundleInsideTheComponent) {
    zentrova_host host(2);
    AudioUnitCocoaViewInfo info{};
    UInt32 size = sizeof info;
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size),
              noErr);
    ASSERT_NE(info.mCocoaAUViewBundleLocation, nullptr);
    char path[4096] = {};
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(info.mCocoaAUViewBundleLocation, true,
                                                 reinterpret_cast<UInt8 *>(path), sizeof path));
    EXPECT_NE(std::string(path).find("Zentrova.component/Contents/Resources/HFZentrovaViewFactory.bundle"),
              std::string::npos)
        << path;
    EXPECT_EQ(host::to_string(info.mCocoaAUViewClass[0]), "HFZentrovaViewFactory");
    CFRelease(info.mCocoaAUViewBundleLocation);
}

TEST(ZentrovaInstance, NonFiniteInputNeverLeavesAndTheEffectRecovers) {
    for (unsigned channel_count : {1u, 2u}) {
        for (float poison : {NAN, INFINITY, -INFINITY}) {
            zentrova_host host(channel_count);
            host.set(dry, -6);
            host.set(formant, 0);
            host.set(envelope_type, 3);
            host.set(filter_type, 7);
            host.initialize();
            deliver_events();
            const auto signal = bursts(8 * block, 1000);
            std::vector<float> reference_energy;
            for (std::size_t b = 0; b < 8; ++b) {
                auto input = blocks_of(signal, b, channel_count);
                if (b == 3)
                    for (unsigned i = 100; i < 164; ++i) input[0][i] = poison;
                const auto y = host.render(input);
                double e = 0;
                for (const auto &channel : y)
                    for (float v : channel) {
                        ASSERT_TRUE(std::isfinite(v)) << "block " << b;
                        ASSERT_LE(std::fabs(v), 1.0f);
                        e += double(v) * v;
                    }
                // From the block after the burst on, the formant path sounds again.
                if (b >= 4) {
                    EXPECT_GT(e, 1e-4) << "block " << b << " channels " << channel_count;
                }
            }
            EXPECT_TRUE(std::isfinite(host.follower_level()));
        }
    }
}
