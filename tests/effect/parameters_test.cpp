// The component as a host sees it: found in the registry, its parameters described through
// properties, values stored and read, channel configurations accepted or refused.
#include "zentrova_host.h"

#include "host/cf_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zentrova_test;

namespace {

AudioUnitParameterInfo info_of(AudioUnit unit, AudioUnitParameterID id, OSStatus *status = nullptr,
                               AudioUnitScope scope = kAudioUnitScope_Global) {
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    const OSStatus s = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, scope, id, &info, &size);
    if (status) *status = s;
    return info;
}

std::vector<std::string> value_strings(AudioUnit unit, AudioUnitParameterID id, OSStatus *status) {
    CFArrayRef strings = nullptr;
    UInt32 size = sizeof strings;
    *status = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, &strings,
                                   &size);
    std::vector<std::string> result;
    if (*status == noErr && strings) {
        for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i)
            result.push_back(host::to_string(static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i))));
        CFRelease(strings);
    }
    return result;
}

struct expected_parameter {
    const char *name;
    AudioUnitParameterUnit unit;
    float minimum, maximum, default_value;
};

// What hosts have saved documents and automation against: names (with the historical
// "Follwer" spelling), units, ranges and float32 defaults.
const expected_parameter expected[16] = {
    {"Dry Output Level", 13, -80, 0, -80},     {"Formant Level", 13, -80, 0, 0},
    {"Formant Filter Type", 1, 0, 7, 0},       {"Start Formant", 1, 0, 9, 0},
    {"Middle Formant", 1, 0, 9, 1},            {"End Formant", 1, 0, 9, 2},
    {"Formant Resonance", 0, 0, 1, 0.6f},      {"Formant Filter Drive", 14, 0, 1, 0.333f},
    {"Envelope Type", 1, 0, 4, 0},             {"Follower Attack Time", 24, 0, 2000, 250},
    {"Follwer Release Time", 24, 0, 2000, 250}, {"Envelope Shape", 0, 0, 1, 0.25f},
    {"Trigger Sensitivity", 13, -80, 0, -12},  {"Envelope Attack", 24, 0, 20000, 250},
    {"Envelope Release", 24, 0, 20000, 250},   {"MIDI Control", 0, 0, 1, 0},
};

}  // namespace

TEST(ZentrovaParameters, HostReadsTheSixteenParametersThroughProperties) {
    zentrova_host host;
    UInt32 size = 0;
    Boolean writable = true;
    ASSERT_EQ(AudioUnitGetPropertyInfo(host.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                       &writable),
              noErr);
    ASSERT_EQ(size, 16 * sizeof(AudioUnitParameterID));
    EXPECT_FALSE(writable);
    std::vector<AudioUnitParameterID> ids(16);
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids.data(),
                                   &size),
              noErr);
    for (AudioUnitParameterID id = 0; id < 16; ++id) {
        EXPECT_EQ(ids[id], id);
        OSStatus status = -1;
        const auto info = info_of(host.unit, id, &status);
        ASSERT_EQ(status, noErr) << id;
        EXPECT_EQ(info.flags, 0xC8000000u) << id;
        EXPECT_EQ(host::to_string(info.cfNameString), expected[id].name);
        EXPECT_STREQ(info.name, expected[id].name);
        EXPECT_EQ(info.unit, expected[id].unit) << expected[id].name;
        EXPECT_EQ(info.minValue, expected[id].minimum) << expected[id].name;
        EXPECT_EQ(info.maxValue, expected[id].maximum) << expected[id].name;
        EXPECT_EQ(info.defaultValue, expected[id].default_value) << expected[id].name;
        // A fresh instance holds the defaults: the dry signal starts off, the formant at 0 dB.
        EXPECT_EQ(host.get(id), expected[id].default_value) << expected[id].name;
    }
}

TEST(ZentrovaParameters, UnknownIdsAndScopesAreRefused) {
    zentrova_host host;
    OSStatus status = 0;
    info_of(host.unit, 16, &status);
    EXPECT_EQ(status, kAudioUnitErr_InvalidParameter);
    info_of(host.unit, 0, &status, kAudioUnitScope_Input);
    EXPECT_EQ(status, kAudioUnitErr_InvalidParameter);
    info_of(host.unit, 0, &status, kAudioUnitScope_Output);
    EXPECT_EQ(status, kAudioUnitErr_InvalidParameter);

    AudioUnitParameterValue v = 0;
    EXPECT_EQ(AudioUnitGetParameter(host.unit, 16, kAudioUnitScope_Global, 0, &v), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitSetParameter(host.unit, 16, kAudioUnitScope_Global, 0, 1.0f, 0), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitGetParameter(host.unit, 0, 5, 0, &v), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(AudioUnitGetParameter(host.unit, 0, kAudioUnitScope_Global, 1, &v), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(AudioUnitGetParameter(host.unit, 0, kAudioUnitScope_Global, 0, nullptr), paramErr);
}

TEST(ZentrovaParameters, MenuParametersCarryTheirValueStrings) {
    zentrova_host host;
    OSStatus status = -1;
    EXPECT_EQ(value_strings(host.unit, 2, &status),
              (std::vector<std::string>{"One Stage LP", "Two Stage LP", "Three Stage LP", "Four Stage LP",
                                        "One Stage BP", "Two Stage BP", "Three Stage BP", "Four Stage BP"}));
    const std::vector<std::string> vowels{"EE", "OO", "I", "U", "ER", "UH", "E", "OW", "AE", "A"};
    for (AudioUnitParameterID id : {3u, 4u, 5u}) {
        EXPECT_EQ(value_strings(host.unit, id, &status), vowels) << id;
        EXPECT_EQ(status, noErr);
    }
    EXPECT_EQ(value_strings(host.unit, 8, &status),
              (std::vector<std::string>{"None", "Sweep Up", "Sweep Down", "Track", "MIDI"}));

    value_strings(host.unit, 6, &status);
    EXPECT_EQ(status, kAudioUnitErr_InvalidProperty);
    // Asking only whether strings may exist answers yes for a decibel parameter too.
    UInt32 size = 0;
    Boolean writable = true;
    EXPECT_EQ(AudioUnitGetPropertyInfo(host.unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 0,
                                       &size, &writable),
              noErr);
}

TEST(ZentrovaParameters, VersionAndChannelConfigurations) {
    zentrova_host host;
    ComponentParameters version{};
    version.what = kComponentVersionSelect;
    EXPECT_EQ(CallComponentDispatch(host.unit, &version), 0x00010000);

    UInt32 size = 0;
    Boolean writable = true;
    ASSERT_EQ(AudioUnitGetPropertyInfo(host.unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                       &size, &writable),
              noErr);
    ASSERT_EQ(size, 2 * sizeof(AUChannelInfo));
    AUChannelInfo table[2] = {};
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, table,
                                   &size),
              noErr);
    EXPECT_EQ(table[0].inChannels, 1);
    EXPECT_EQ(table[0].outChannels, 1);
    EXPECT_EQ(table[1].inChannels, 2);
    EXPECT_EQ(table[1].outChannels, 2);

    // Stereo in, mono out matches neither configuration.
    const auto stereo = float_format(48000, 2), mono = float_format(48000, 1);
    ASSERT_EQ(AudioUnitSetProperty(host.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &stereo,
                                   sizeof stereo),
              noErr);
    ASSERT_EQ(AudioUnitSetProperty(host.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &mono,
                                   sizeof mono),
              noErr);
    EXPECT_EQ(AudioUnitInitialize(host.unit), kAudioUnitErr_FormatNotSupported);
    // The failed Initialize leaves the instance usable: fix the format and initialize mono.
    ASSERT_EQ(AudioUnitSetProperty(host.unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &mono,
                                   sizeof mono),
              noErr);
    EXPECT_EQ(AudioUnitInitialize(host.unit), noErr);
    EXPECT_EQ(AudioUnitUninitialize(host.unit), noErr);
    host.set_format(48000, 2);
    EXPECT_EQ(AudioUnitInitialize(host.unit), noErr);
}

TEST(ZentrovaParameters, LatencyAndTailAreZero) {
    zentrova_host host;
    Float64 seconds = -1;
    UInt32 size = sizeof seconds;
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &seconds, &size),
              noErr);
    EXPECT_EQ(seconds, 0.0);
    seconds = -1;
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &seconds, &size),
              noErr);
    EXPECT_EQ(seconds, 0.0);
}
