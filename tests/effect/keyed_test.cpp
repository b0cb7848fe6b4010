// Zentrova Keyed through the host API: its elements and formats, the key feeding the follower
// (a key equal to the input is the plain effect bit for bit), a silent key that never triggers,
// the release after the key stops, a drum key moving the formants on each hit, and the key's
// source failing the render.
#include "zentrova_host.h"

#include "dsp/simd_path.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

using namespace zentrova_test;

namespace {

enum : AudioUnitParameterID {
    dry = 0,
    formant = 1,
    filter_type = 2,
    start_vowel = 3,
    middle_vowel = 4,
    end_vowel = 5,
    resonance = 6,
    envelope_type = 8,
    follower_attack = 9,
    follower_release = 10,
    sensitivity = 12,
    envelope_attack = 13,
    envelope_release = 14
};

using settings = std::vector<std::pair<AudioUnitParameterID, float>>;

void configure(zentrova_host &host, const settings &values) {
    for (auto [id, value] : values) host.set(id, value);
    host.initialize();
    deliver_events();
}

// Renders `input` (and `key`, when given) in blocks of `block` frames; the output concatenated.
channels render_all(zentrova_host &host, const channels &input, unsigned block, const channels *key = nullptr) {
    const std::size_t frames = input.front().size();
    channels out(input.size());
    for (std::size_t at = 0; at < frames; at += block) {
        const std::size_t n = std::min<std::size_t>(block, frames - at);
        auto slice = [&](const channels &x) {
            channels part;
            for (const auto &c : x) part.emplace_back(c.begin() + at, c.begin() + at + n);
            return part;
        };
        const auto y = key ? host.render(slice(input), slice(*key)) : host.render(slice(input));
        for (std::size_t c = 0; c < out.size(); ++c) out[c].insert(out[c].end(), y[c].begin(), y[c].end());
    }
    return out;
}

// Bursts that trigger Sweep Up inside blocks, with a few samples no follower should lock up on.
channels hostile_bursts(unsigned channel_count, std::size_t frames) {
    channels x;
    for (unsigned c = 0; c < channel_count; ++c) x.push_back(bursts(frames, 1400, 0.6f, 300 * c));
    // Only where they fit: a short input gets those its length holds.
    auto put = [&](std::vector<float> &channel, std::size_t at, float v) {
        if (at < channel.size()) channel[at] = v;
    };
    put(x[0], 700, std::numeric_limits<float>::quiet_NaN());
    put(x.back(), 1900, std::numeric_limits<float>::infinity());
    put(x[0], 2500, -1e30f);
    return x;
}

std::uint32_t bits(float v) {
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// The first frame where two renders differ, or -1.
long first_difference(const channels &a, const channels &b) {
    for (std::size_t c = 0; c < a.size(); ++c)
        for (std::size_t i = 0; i < a[c].size(); ++i)
            if (bits(a[c][i]) != bits(b[c][i])) return static_cast<long>(i);
    return -1;
}

const settings sweeping = {{dry, -12},           {formant, 0},           {envelope_type, 1},
                           {sensitivity, -20},   {envelope_attack, 15},  {envelope_release, 40},
                           {follower_attack, 2}, {follower_release, 30}, {resonance, 0.9f},
                           {start_vowel, 1},     {end_vowel, 9}};

}  // namespace

TEST(ZentrovaKeyed, HasAKeyElementBesideThePlainEffectsOne) {
    struct {
        AudioComponent component;
        UInt32 inputs;
    } cases[] = {{find_zentrova(), 1}, {find_zentrova_keyed(), 2}};
    for (const auto &c : cases) {
        ASSERT_NE(c.component, nullptr);
        zentrova_host host(2, 44100, c.component);
        UInt32 count = 0, size = sizeof count;
        Boolean writable = true;
        ASSERT_EQ(
            AudioUnitGetProperty(host.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &count, &size),
            noErr);
        EXPECT_EQ(count, c.inputs);
        ASSERT_EQ(AudioUnitGetPropertyInfo(host.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &size,
                                           &writable),
                  noErr);
        EXPECT_FALSE(writable);
    }
    zentrova_host keyed(2, 44100, find_zentrova_keyed());
    CFStringRef name = nullptr;
    UInt32 size = sizeof name;
    ASSERT_EQ(AudioUnitGetProperty(keyed.unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 1, &name, &size),
              noErr);
    ASSERT_NE(name, nullptr);
    char text[16] = {};
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(name);
    EXPECT_STREQ(text, "Key");
}

TEST(ZentrovaKeyed, TheKeyFormatFollowsTheInstance) {
    struct {
        unsigned main_channels;
        double key_rate;
        unsigned key_channels;
        OSStatus expected;
    } cases[] = {
        {2, 48000, 1, noErr},
        {1, 48000, 2, noErr},
        {2, 48000, 2, noErr},
        {2, 44100, 2, kAudioUnitErr_FormatNotSupported},  // another rate than the instance's
        {1, 48000, 3, kAudioUnitErr_FormatNotSupported},
    };
    for (const auto &c : cases) {
        zentrova_host host(c.main_channels, 48000, find_zentrova_keyed());
        host.attach_key(c.key_rate, c.key_channels);
        EXPECT_EQ(AudioUnitInitialize(host.unit), c.expected) << c.key_rate << " Hz, " << c.key_channels << " ch";
    }
}

// The key's follower level is the input's when the key is the input, so every filter, both
// channel counts, any block size, hostile samples and scheduled slices give the plain output.
// ZENTROVA_SIMD picks the ladders' instruction set for the process (see CMakeLists.txt).
TEST(ZentrovaKeyed, AKeyEqualToTheInputIsThePlainEffectBitForBit) {
    if (const char *path = std::getenv("ZENTROVA_SIMD"); path != nullptr) {
        const auto wanted = dsp::simd_path_from_name(path);
        ASSERT_TRUE(wanted.has_value()) << path;
        if (!dsp::simd_path_supported(*wanted)) GTEST_SKIP() << path << " is not supported here";
    }
    for (unsigned channel_count : {1u, 2u})
        for (int type = 0; type < 8; ++type)
            for (unsigned block : {1u, 64u, 512u}) {
                const auto input = hostile_bursts(channel_count, 3000);
                settings values = sweeping;
                values.emplace_back(filter_type, static_cast<float>(type));
                zentrova_host plain(channel_count, 44100, find_zentrova());
                zentrova_host keyed(channel_count, 44100, find_zentrova_keyed());
                keyed.attach_key(44100, channel_count);
                configure(plain, values);
                configure(keyed, values);
                const auto expected = render_all(plain, input, block);
                const auto got = render_all(keyed, input, block, &input);
                EXPECT_EQ(first_difference(expected, got), -1)
                    << channel_count << " channel(s), filter " << type << ", blocks of " << block;
            }
}

TEST(ZentrovaKeyed, WithoutAKeySourceOrWithSlicesItIsStillThePlainEffect) {
    const auto input = hostile_bursts(2, 4096);
    zentrova_host plain(2, 44100, find_zentrova());
    zentrova_host unkeyed(2, 44100, find_zentrova_keyed());  // element 1 has no source
    zentrova_host keyed(2, 44100, find_zentrova_keyed());
    keyed.attach_key(44100, 2);
    for (auto *host : {&plain, &unkeyed, &keyed}) configure(*host, sweeping);
    // A ramp and an immediate change in every render: each render is processed in three slices,
    // and the key must travel with them.
    for (std::size_t at = 0; at < 4096; at += 512) {
        channels part;
        for (const auto &c : input) part.emplace_back(c.begin() + at, c.begin() + at + 512);
        channels out[3];
        zentrova_host *hosts[] = {&plain, &unkeyed, &keyed};
        for (int h = 0; h < 3; ++h) {
            AudioUnitParameterEvent events[2]{};
            events[0].parameter = resonance;
            events[0].eventType = kParameterEvent_Ramped;
            events[0].eventValues.ramp = {100, 200, 0.3f, 0.95f};
            events[1].parameter = start_vowel;
            events[1].eventType = kParameterEvent_Immediate;
            events[1].eventValues.immediate = {400, 4};
            ASSERT_EQ(AudioUnitScheduleParameters(hosts[h]->unit, events, 2), noErr);
            out[h] = h == 2 ? hosts[h]->render(part, part) : hosts[h]->render(part);
        }
        EXPECT_EQ(first_difference(out[0], out[1]), -1) << "no key source, at " << at;
        EXPECT_EQ(first_difference(out[0], out[2]), -1) << "sliced key, at " << at;
    }
}

// A stereo key measures the mean of its two magnitudes: (k, -k) is the mono key k exactly.
TEST(ZentrovaKeyed, AStereoKeyIsTheMeanOfItsMagnitudes) {
    for (unsigned main_channels : {1u, 2u}) {
        const auto input = hostile_bursts(main_channels, 2048);
        const auto k = bursts(2048, 700, 0.8f);
        std::vector<float> negated(k.size());
        for (std::size_t i = 0; i < k.size(); ++i) negated[i] = -k[i];
        const channels mono_key{k}, stereo_key{k, negated};
        zentrova_host a(main_channels, 44100, find_zentrova_keyed()), b(main_channels, 44100, find_zentrova_keyed());
        a.attach_key(44100, 1);
        b.attach_key(44100, 2);
        configure(a, sweeping);
        configure(b, sweeping);
        EXPECT_EQ(first_difference(render_all(a, input, 256, &mono_key), render_all(b, input, 256, &stereo_key)), -1)
            << main_channels << " main channel(s)";
    }
}

// Under Sweep Up a silent key never triggers, however loud the input: the sweep stays at the start
// vowel, so the middle and end vowels make no difference. The same renders with the input as the
// key do differ, which shows the vowels would have been heard.
TEST(ZentrovaKeyed, ASilentKeyNeverTriggersSweepUp) {
    const auto input = channels(1, bursts(8192, 2000, 0.9f));
    const channels silence(1, std::vector<float>(8192, 0.0f));
    // The render with `key`, the sweep ending on vowel `end`; the follower's level after it.
    auto render_with = [&](const channels &key, float end, double *level) {
        zentrova_host host(1, 44100, find_zentrova_keyed());
        host.attach_key(44100, 1);
        settings values = sweeping;
        values.insert(values.end(), {{filter_type, 6}, {middle_vowel, end}, {end_vowel, end}});
        configure(host, values);
        auto out = render_all(host, input, 512, &key);
        *level = host.follower_level();
        return out;
    };
    double level = -1, other = -1;
    EXPECT_EQ(first_difference(render_with(silence, 9, &level), render_with(silence, 0, &other)), -1);
    EXPECT_EQ(level, 0.0);
    EXPECT_NE(first_difference(render_with(input, 9, &level), render_with(input, 0, &other)), -1);
}

// After loud key audio, digital silence in the key lets the follower fall to 1 % in the release
// time (here 100 ms, 4410 samples), while the main input stays loud throughout.
TEST(ZentrovaKeyed, AKeyThatStopsReleasesAtTheFollowersReleaseTime) {
    zentrova_host host(2, 44100, find_zentrova_keyed());
    host.attach_key(44100, 1);
    configure(host, {{envelope_type, 1}, {follower_attack, 1}, {follower_release, 100}});
    const channels loud(2, std::vector<float>(4410, 0.9f));
    const channels held_key(1, std::vector<float>(4410, 0.5f));
    render_all(host, loud, 441, &held_key);
    const double held = host.follower_level();
    ASSERT_NEAR(held, 0.5, 1e-9);
    const channels loud_frame(2, std::vector<float>(1, 0.9f)), silent_frame(1, std::vector<float>(1, 0.0f));
    long samples = 0;
    while (host.follower_level() > 0.01 * held && samples < 10000) {
        host.render(loud_frame, silent_frame);
        ++samples;
    }
    EXPECT_NEAR(samples, 4410, 1);
}

namespace {

// Energy of the sixth and seventh harmonics of the 110.25 Hz tone (661.5 and 771.75 Hz) over a
// window of whole periods.
double band_energy(const std::vector<float> &x, std::size_t from, std::size_t length) {
    double total = 0;
    for (double f : {6 * 110.25, 7 * 110.25}) {
        double re = 0, im = 0;
        for (std::size_t n = 0; n < length; ++n) {
            const double w = 2 * std::numbers::pi * f * static_cast<double>(n) / 44100.0;
            re += x[from + n] * std::cos(w);
            im += x[from + n] * std::sin(w);
        }
        total += re * re + im * im;
    }
    return total;
}

}  // namespace

// A drum key on a sustained tone: each hit opens the sweep from "OO" (F1 300 Hz) toward "A"
// (F1 730 Hz), so the band round 700 Hz gains energy after every hit, and loses it before the
// next; with a silent key it stays where it was.
TEST(ZentrovaKeyed, ADrumKeyMovesTheSpectrumOnEveryHit) {
    constexpr std::size_t rate = 44100, frames = 2 * rate, hit_every = rate / 2, first_hit = rate / 4;
    std::vector<float> tone(frames), drum(frames, 0.0f);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        tone[n] = static_cast<float>(0.3 * (2 * (t * 110.25 - std::floor(t * 110.25 + 0.5))));
        if (n >= first_hit) {
            const double since = static_cast<double>((n - first_hit) % hit_every) / rate;
            drum[n] = static_cast<float>(0.9 * std::exp(-since / 0.04) * std::sin(2 * std::numbers::pi * 60 * since));
        }
    }
    const settings values = {
        {dry, -80},           {formant, 0},          {filter_type, 5},   {start_vowel, 1},      {middle_vowel, 7},
        {end_vowel, 9},       {envelope_type, 1},    {sensitivity, -20}, {envelope_attack, 20}, {envelope_release, 120},
        {follower_attack, 1}, {follower_release, 40}};
    auto render_keyed = [&](const std::vector<float> &key) {
        zentrova_host host(1, 44100, find_zentrova_keyed());
        host.attach_key(44100, 1);
        configure(host, values);
        const channels k{key};
        return render_all(host, channels{tone}, 512, &k)[0];
    };
    const auto hit = render_keyed(drum);
    const auto still = render_keyed(std::vector<float>(frames, 0.0f));
    const std::size_t window = 2000;  // five periods of the tone, 45 ms
    for (std::size_t h = first_hit; h < frames; h += hit_every) {
        const double before = band_energy(hit, h - window, window);
        const double after = band_energy(hit, h + window / 2, window);
        if (std::getenv("KEYED_SHOW")) std::printf("hit %zu: %.1f dB\n", h, 10 * std::log10(after / before));
        EXPECT_GT(after, 4 * before) << "hit at " << h;  // more than 6 dB up
        const double still_before = band_energy(still, h - window, window);
        const double still_after = band_energy(still, h + window / 2, window);
        EXPECT_NEAR(still_after / still_before, 1.0, 0.05) << "silent key at " << h;
    }
}

// The key's source failing fails the render with its status, recorded as the last render error;
// the next render with a working source goes on.
TEST(ZentrovaKeyed, AKeySourceErrorFailsTheRender) {
    zentrova_host host(2, 44100, find_zentrova_keyed());
    host.attach_key(44100, 2);
    configure(host, sweeping);
    const auto input = hostile_bursts(2, 256);
    host.fail_key(-12345);
    OSStatus status = noErr;
    host.render(input, input, &status);
    EXPECT_EQ(status, -12345);
    OSStatus recorded = noErr;
    UInt32 size = sizeof recorded;
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &recorded,
                                   &size),
              noErr);
    EXPECT_EQ(recorded, -12345);
    host.attach_key(44100, 2);
    host.render(input, input, &status);
    EXPECT_EQ(status, noErr);
}

// Non-finite key samples: the follower starts again from silence and goes on following.
TEST(ZentrovaKeyed, NonFiniteKeySamplesDoNotLockTheFollower) {
    zentrova_host host(1, 44100, find_zentrova_keyed());
    host.attach_key(44100, 1);
    configure(host, sweeping);
    const channels input(1, bursts(512, 300));
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        channels key(1, std::vector<float>(512, 0.5f));
        key[0][500] = bad;
        const auto out = host.render(input, key);
        for (float y : out[0]) ASSERT_TRUE(std::isfinite(y));
        host.render(input, channels(1, std::vector<float>(512, 0.5f)));
        EXPECT_GT(host.follower_level(), 0.1) << bad;
        EXPECT_TRUE(std::isfinite(host.follower_level()));
    }
}

// The state is Zentrova's: each effect restores the other's, the values arrive, and neither's
// input elements change (the plain effect keeps one, the keyed one its "Key").
TEST(ZentrovaKeyed, EachEffectRestoresTheOthersState) {
    struct {
        AudioComponent from, to;
        UInt32 inputs;
    } cases[] = {{find_zentrova_keyed(), find_zentrova(), 1}, {find_zentrova(), find_zentrova_keyed(), 2}};
    for (const auto &c : cases) {
        zentrova_host source(2, 44100, c.from), target(2, 44100, c.to);
        source.store(start_vowel, 7);
        CFPropertyListRef state = nullptr;
        UInt32 size = sizeof state;
        ASSERT_EQ(
            AudioUnitGetProperty(source.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
            noErr);
        EXPECT_EQ(AudioUnitSetProperty(target.unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state,
                                       sizeof state),
                  noErr);
        CFRelease(state);
        EXPECT_EQ(target.get(start_vowel), 7.0f);
        UInt32 count = 0;
        size = sizeof count;
        ASSERT_EQ(
            AudioUnitGetProperty(target.unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Input, 0, &count, &size),
            noErr);
        EXPECT_EQ(count, c.inputs);
        EXPECT_EQ(AudioUnitInitialize(target.unit), noErr);
    }
}
