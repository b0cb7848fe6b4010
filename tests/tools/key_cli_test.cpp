// `zentrova process --key`, run as a user runs it: the key's rate checked, a short key going on as
// silence, a long one cut, mono and stereo keys, and the batch forms --key and --key-dir.
#include "tests/tools/tool_runs.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using tool_test::quoted;
using tool_test::result;

result run(const std::string &arguments) {
    return tool_test::run_shell((fs::path(std::getenv("ZENTROVA_BUILD_DIR")) / "bin" / "zentrova").string() + " " +
                                arguments);
}

// Interleaved float samples in and out of WAV files.
void write_wav(const fs::path &path, int channels, int rate, const std::vector<float> &interleaved) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    sf_writef_float(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / channels));
    sf_close(f);
}

std::vector<float> read_wav(const fs::path &path) { return tool_test::read_audio(path); }

// A sustained tone (the input) and drum-like hits (the key), interleaved.
std::vector<float> tone(int channels, std::size_t frames) {
    std::vector<float> x(frames * channels);
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c)
            x[n * channels + c] = static_cast<float>(0.4 * std::sin(2 * M_PI * (110.0 + 30 * c) * n / 48000.0));
    return x;
}
std::vector<float> hits(int channels, std::size_t frames, double sign_right = 1.0) {
    std::vector<float> x(frames * channels);
    for (std::size_t n = 0; n < frames; ++n) {
        const double since = static_cast<double>(n % 12000) / 48000.0;
        const double v = 0.9 * std::exp(-since / 0.03) * std::sin(2 * M_PI * 70 * since);
        for (int c = 0; c < channels; ++c) x[n * channels + c] = static_cast<float>(c == 1 ? sign_right * v : v);
    }
    return x;
}

const char *sweep =
    "-q --set 'Envelope Type=Sweep Up' --set 'Formant Filter Type=Four Stage BP' "
    "--set 'Trigger Sensitivity=-30' --set 'Dry Output Level=-20' --set 'End Formant=A'";

class ZentrovaKeyCli : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("zentrova-key-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        input = folder / "in.wav";
        write_wav(input, 2, 48000, tone(2, 24000));
    }
    void TearDown() override { fs::remove_all(folder); }

    // Renders IN with `key_samples` as its key; the output's samples.
    std::vector<float> keyed(const std::vector<float> &key_samples, int key_channels, const std::string &extra = "",
                             std::string *messages = nullptr) {
        const fs::path key = folder / "key.wav", out = folder / "out.wav";
        write_wav(key, key_channels, 48000, key_samples);
        const result r = run("process " + quoted(input) + " " + quoted(out) + " --force --key " + quoted(key) + " " +
                             sweep + " " + extra);
        EXPECT_EQ(r.status, 0) << r.output;
        if (messages) *messages = r.output;
        return read_wav(out);
    }

    fs::path folder, input;
};

}  // namespace

TEST_F(ZentrovaKeyCli, TheInputAsItsOwnKeyIsTheUnkeyedRender) {
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(folder / "plain.wav") + " " + sweep).status, 0);
    EXPECT_EQ(keyed(tone(2, 24000), 2, "--block 64"), read_wav(folder / "plain.wav"));
    // And the key is heard: drum hits give another output.
    EXPECT_NE(keyed(hits(2, 24000), 2), read_wav(folder / "plain.wav"));
}

TEST_F(ZentrovaKeyCli, AKeyAtAnotherRateIsRefusedNamingBothRates) {
    const fs::path key = folder / "key.wav", out = folder / "out.wav";
    write_wav(key, 1, 44100, hits(1, 20000));
    const result r = run("process " + quoted(input) + " " + quoted(out) + " --key " + quoted(key) + " -q");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("44100 Hz"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("48000 Hz"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out));
}

// Whatever the key's length, the output is IN and its tail, keyed by the key padded with silence
// or cut to that length; only a key that ends before IN brings a note.
TEST_F(ZentrovaKeyCli, AShortKeyGoesOnAsSilenceAndALongOneIsCut) {
    struct {
        std::size_t key_frames;
        const char *tail;
        std::size_t rendered;
        bool note;
    } cases[] = {{9000, "0", 24000, true},
                 {40000, "0", 24000, false},
                 {40000, "0.25", 36000, false},
                 {30000, "0.25", 36000, false},
                 {24000, "0", 24000, false}};
    for (const auto &c : cases) {
        const auto key = hits(1, c.key_frames);
        std::vector<float> fitted(c.rendered, 0.0f);
        std::copy_n(key.begin(), std::min(c.key_frames, c.rendered), fitted.begin());
        std::string messages;
        const auto got = keyed(key, 1, std::string("--tail ") + c.tail, &messages);
        EXPECT_EQ(got.size(), c.rendered * 2) << c.key_frames;
        EXPECT_EQ(got, keyed(fitted, 1, std::string("--tail ") + c.tail)) << c.key_frames << " frames of key";
        EXPECT_EQ(messages.find("goes on as silence") != std::string::npos, c.note) << messages;
    }
}

// A stereo key is followed by the mean of its magnitudes, on a mono or a stereo input: (k, -k)
// keys exactly as the mono k.
TEST_F(ZentrovaKeyCli, MonoAndStereoKeysOnMonoAndStereoInputs) {
    for (int input_channels : {1, 2}) {
        write_wav(input, input_channels, 48000, tone(input_channels, 24000));
        const auto mono = keyed(hits(1, 24000), 1);
        EXPECT_EQ(mono.size(), 24000u * input_channels);
        EXPECT_EQ(mono, keyed(hits(2, 24000, -1.0), 2)) << input_channels << " input channel(s)";
    }
}

// --key keys every input with one file; --key-dir pairs each with its namesake, and an input
// without one fails, named, while the others are rendered as one-file runs render them.
TEST_F(ZentrovaKeyCli, BatchKeysOneForAllOrEachItsNamesake) {
    const fs::path keys = folder / "keys", outs = folder / "outs", single = folder / "single.wav";
    fs::create_directories(keys);
    const fs::path a = folder / "a.wav", b = folder / "b.wav", lonely = folder / "lonely.wav";
    for (const auto &p : {a, b, lonely}) write_wav(p, 2, 48000, tone(2, 12000));
    write_wav(keys / "a.wav", 1, 48000, hits(1, 12000));
    write_wav(keys / "b.wav", 2, 48000, hits(2, 12000, -0.5));

    result r = run("process -o " + quoted(outs) + " " + quoted(a) + " " + quoted(b) + " " + quoted(lonely) +
                   " --key-dir " + quoted(keys) + " " + sweep);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("lonely.wav"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(outs / "lonely.wav"));
    for (const char *name : {"a.wav", "b.wav"}) {
        ASSERT_EQ(run("process " + quoted(folder / name) + " " + quoted(single) + " --force --key " +
                      quoted(keys / name) + " " + sweep)
                      .status,
                  0);
        EXPECT_EQ(read_wav(outs / name), read_wav(single)) << name;
    }

    r = run("process -o " + quoted(outs) + " --force " + quoted(a) + " " + quoted(b) + " --key " +
            quoted(keys / "a.wav") + " " + sweep);
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(
        run("process " + quoted(b) + " " + quoted(single) + " --force --key " + quoted(keys / "a.wav") + " " + sweep)
            .status,
        0);
    EXPECT_EQ(read_wav(outs / "b.wav"), read_wav(single));
}

// The README's drum-keyed pad command renders what `zentrova demo --key` shows.
TEST_F(ZentrovaKeyCli, TheKeyedDemoIsTheReadmesCommand) {
    const fs::path demo = folder / "demo";
    const result made = run("demo --key -q " + quoted(demo));
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_GT(fs::file_size(demo / "spectrogram.png"), 10000u);
    const result r = run("process -q " + quoted(demo / "pad.wav") + " " + quoted(folder / "readme.wav") + " --key " +
                         quoted(demo / "drums.wav") +
                         " --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-20' --set 'Dry Output Level=-80'"
                         " --set 'Formant Filter Type=Four Stage BP' --set 'Start Formant=OO' --set 'Middle Formant=A'"
                         " --set 'End Formant=EE' --set 'Formant Resonance=0.8' --set 'Follower Attack Time=1'"
                         " --set 'Follwer Release Time=40' --set 'Envelope Attack=40' --set 'Envelope Release=220'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(read_wav(folder / "readme.wav"), read_wav(demo / "output.wav"));
}
