// The zentrova command-line tool, run as a user runs it: real files in a scratch folder, the
// exit status and the one-line messages checked, and no output left behind on any failure.
#include "tests/tools/tool_runs.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using tool_test::quoted;
using tool_test::read_audio;
using tool_test::result;
using tool_test::run_shell;

fs::path tool() { return fs::path(std::getenv("ZENTROVA_BUILD_DIR")) / "bin" / "zentrova"; }

result run(const std::string &arguments) { return run_shell(tool().string() + " " + arguments); }


std::vector<char> bytes_of(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `frames` frames of a burst pattern (interleaved) in the given libsndfile format.
void write_audio(const fs::path &path, int format, int channels, int rate, std::size_t frames, float amplitude = 0.5f) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);  // integer formats hold the 1.5 as full scale
    std::vector<float> data(frames * channels);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double pulse = std::exp(-std::fmod(t, 0.2) * 15.0);
        for (int c = 0; c < channels; ++c)
            data[n * channels + c] = static_cast<float>(amplitude * pulse * std::sin(2 * M_PI * (110.0 + 55 * c) * t));
    }
    if (frames > 7) data[7 * channels] = 1.5f;  // one sample beyond full scale
    sf_writef_float(f, data.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
}

// Runs `arguments` under a shell prefix (limits, umask, ignored signals), as a user's shell would.
result run_under(const std::string &prefix, const std::string &arguments) {
    return run_shell(prefix + " " + tool().string() + " " + arguments);
}

// A preset whose parameter data is `blob` (big-endian records, as the effect saves them), made from
// one the tool saved, so that everything else in it is genuine.
std::string base64(const std::vector<unsigned char> &bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const unsigned n = bytes[i] << 16 | (left > 1 ? bytes[i + 1] << 8 : 0) | (left > 2 ? bytes[i + 2] : 0);
        out += digits[n >> 18 & 63];
        out += digits[n >> 12 & 63];
        out += left > 1 ? digits[n >> 6 & 63] : '=';
        out += left > 2 ? digits[n & 63] : '=';
    }
    return out;
}
void put_word(std::vector<unsigned char> &blob, std::uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8) blob.push_back(static_cast<unsigned char>(word >> shift));
}
// The sixteen defaults of the global element, with `id` set to `value` (bits as given).
std::vector<unsigned char> global_values(std::uint32_t id, float value) {
    const float defaults[16] = {-80, 0, 0, 0, 1, 2, 0.6f, 0.333f, 0, 250, 250, 0.25f, -12, 250, 250, 0};
    std::vector<unsigned char> blob;
    for (std::uint32_t word : {0u, 0u, 16u}) put_word(blob, word);
    for (std::uint32_t p = 0; p < 16; ++p) {
        const float v = p == id ? value : defaults[p];
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        put_word(blob, p);
        put_word(blob, bits);
    }
    return blob;
}
void write_preset(const fs::path &saved, const fs::path &path, const std::vector<unsigned char> &blob,
                  const std::string &name = "") {
    std::string text(bytes_of(saved).data(), bytes_of(saved).size());
    const auto key = text.find("<key>data</key>");
    const auto open = text.find("<data>", key) + 6, close = text.find("</data>", open);
    text.replace(open, close - open, base64(blob));
    if (!name.empty()) {
        const auto at = text.find("<string>", text.find("<key>name</key>")) + 8;
        text.replace(at, text.find("</string>", at) - at, name);
    }
    std::ofstream(path) << text;
}

class ZentrovaCli : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("zentrova-cli-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        input = folder / "in.wav";
        write_audio(input, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 48000);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Nothing but the files the test made itself: no output, no temporary left behind.
    std::size_t files_in_folder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    fs::path folder, input;
};

const char *sweep = "--set 'Envelope Type=Sweep Up' --set 'Formant Filter Type=Four Stage BP' "
                    "--set 'Trigger Sensitivity=-30' --set 'Dry Output Level=-12' -q";

}  // namespace

TEST_F(ZentrovaCli, SameInputAndSettingsGiveIdenticalBytes) {
    const fs::path a = folder / "a.wav", b = folder / "b.wav";
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(a) + " " + sweep).status, 0);
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(b) + " " + sweep).status, 0);
    const auto first = bytes_of(a);
    EXPECT_GT(first.size(), 48000u * 2 * 4);
    EXPECT_EQ(first, bytes_of(b));
    SF_INFO info{};
    read_audio(a, &info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);  // WAV output defaults to 32-bit float
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
}

TEST_F(ZentrovaCli, DryOnlyReproducesTheInputExceptTheClip) {
    const fs::path out = folder / "dry.wav";
    // Options may come before the file names.
    const auto r = run("process --set 'Dry Output Level=0' --set 1=-80 " + quoted(input) + " " + quoted(out) +
                       " --block 333");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("clipped"), std::string::npos) << r.output;  // the summary
    const auto x = read_audio(input), y = read_audio(out);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i) ASSERT_EQ(y[i], std::fmax(-1.0f, std::fmin(1.0f, x[i]))) << i;
}

TEST_F(ZentrovaCli, UserErrorsExitWithOneAndNameTheProblem) {
    const fs::path out = folder / "out.wav";
    std::ofstream(folder / "garbage.wav") << "this is not audio at all, just text pretending to be a wave file";
    write_audio(folder / "empty.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 0);
    write_audio(folder / "six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 6, 48000, 1000);
    const fs::path pipe = folder / "pipe.wav";  // stands in for /dev/null and other special files
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    // Another plug-in's preset: the same file with a different subtype.
    ASSERT_EQ(run("preset save " + quoted(folder / "own.aupreset")).status, 0);
    std::string text(bytes_of(folder / "own.aupreset").data(), bytes_of(folder / "own.aupreset").size());
    const auto at = text.find("<key>subtype</key>");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(text.find("<integer>", at) + 9, 1, "2");
    std::ofstream(folder / "other.aupreset") << text;
    // A header claiming 2 GHz, and a real 1 MHz file whose hour of tail would be billions of frames.
    write_audio(folder / "absurd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 1000);
    {
        std::fstream f(folder / "absurd.wav", std::ios::in | std::ios::out | std::ios::binary);
        const std::uint32_t rate = 2000000000u;
        f.seekp(24);
        f.write(reinterpret_cast<const char *>(&rate), 4);
    }
    write_audio(folder / "fast.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1000000, 1000);
    const fs::path own = folder / "own.aupreset";
    write_preset(own, folder / "nan.aupreset", global_values(6, NAN));
    write_preset(own, folder / "wide.aupreset", global_values(13, 30000.0f));
    write_preset(own, folder / "half.aupreset", global_values(8, 2.5f));
    const auto input_bytes = bytes_of(input);
    struct bad_case {
        std::string arguments, message;
    } cases[] = {
        {"process " + quoted(input) + " " + quoted(out) + " --set 'Formant Levle=-3'", "unknown parameter"},
        {"process " + quoted(input) + " " + quoted(out) + " --set 'Formant Level=3'", "out of range -80 to 0"},
        {"process " + quoted(input) + " " + quoted(out) + " --set 'Envelope Type=Sideways'", "\"Sweep Up\""},
        {"process " + quoted(folder / "missing.wav") + " " + quoted(out), "no such file"},
        {"process " + quoted(folder / "garbage.wav") + " " + quoted(out), "cannot read"},
        {"process " + quoted(folder / "six.wav") + " " + quoted(out), "6 channels"},
        {"process " + quoted(folder / "empty.wav") + " " + quoted(out), "holds no audio samples"},
        {"process " + quoted(input) + " " + quoted(folder / "nowhere" / "out.wav"), "does not exist"},
        {"process " + quoted(input) + " " + quoted(folder / "out.xyz"), "cannot tell the audio format"},
        {"process " + quoted(input) + " " + quoted(out) + " --preset " + quoted(folder / "garbage.wav"),
         "cannot read preset"},
        {"process " + quoted(input) + " " + quoted(input) + " --force", "is the input file"},
        {"process " + quoted(input) + " " + quoted(folder / "." / "in.wav") + " --force", "is the input file"},
        {"process " + quoted(input) + " " + quoted(out) + " --bits 12", "--bits must be"},
        {"process " + quoted(input) + " " + quoted(out) + " --automate 'MIDI Control=1:0.5,0.5:1'", "increasing"},
        {"process " + quoted(input) + " " + quoted(out) + " --block 4294967295", "--block must be between 1 and"},
        {"process " + quoted(input) + " " + quoted(out) + " --set 'Envelope Type=1.5'", "is not one of its menu items"},
        {"process " + quoted(input) + " " + quoted(out) + " --preset " + quoted(folder / "other.aupreset"),
         "cannot use preset \"" + (folder / "other.aupreset").string() + "\": it is not a Zentrova preset"},
        // Special files and the run's own audio are never replaced, whatever --force says.
        {"process " + quoted(input) + " " + quoted(pipe) + " --force", "is not a regular file"},
        {"preset save " + quoted(pipe) + " --force", "is not a regular file"},
        {"process " + quoted(input) + " " + quoted(out) + " --force --save-preset " + quoted(input),
         "would replace an audio file"},
        // A preset that cannot be written stops the run before any output (/proc takes no new files,
        // even from root).
        {"process " + quoted(input) + " " + quoted(out) + " --save-preset /proc/zentrova.aupreset", "not writable"},
        // A run that fails after its checks leaves no preset behind either.
        {"process " + quoted(input) + " " + quoted(folder / "out.xyz") + " --save-preset " +
             quoted(folder / "p.aupreset"),
         "cannot tell the audio format"},
        {"process " + quoted(folder / "absurd.wav") + " " + quoted(out), "sample rate of 2000000000 Hz"},
        {"process " + quoted(folder / "fast.wav") + " " + quoted(out) + " --tail 3000", "frames of silence"},
        // A read error (this file is regular, and reading it fails) is the user's, naming the file.
        {"process " + quoted(input) + " " + quoted(out) + " --preset /proc/self/mem",
         "cannot read preset \"/proc/self/mem\""},
        {"process " + quoted(input) + " " + quoted(out) + " --preset " + quoted(folder / "nan.aupreset"),
         "\"Formant Resonance\" is nan"},
        {"preset show " + quoted(folder / "wide.aupreset"), "\"Envelope Attack\" is 30000, outside its range 0 .. 20000"},
        {"preset show " + quoted(folder / "half.aupreset"), "\"Envelope Type\" is 2.5, not one of its menu items"},
        {"preset save " + quoted(folder / "p.aupreset") + " --name \"$(printf 'a\\033]0;owned\\007')\"",
         "must not contain control characters"},
        {"process " + quoted(input) + " " + quoted(input) + " " + quoted(out), "several inputs need -o OUTDIR"},
        {"process -o " + quoted(folder) + " " + quoted(input) + " " + quoted(folder / "." / "in.wav"),
         "would both be written to"},
        {"process " + quoted(input) + " " + quoted(out) + " --jobs 2", "apply to -o OUTDIR"},
    };
    const std::size_t before = files_in_folder();
    for (const auto &c : cases) {
        const auto r = run(c.arguments);
        EXPECT_EQ(r.status, 1) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(files_in_folder(), before) << c.arguments;
    }
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(bytes_of(input), input_bytes);
    // The unknown-parameter message lists the names a user may use.
    const auto r = run("process " + quoted(input) + " " + quoted(out) + " --set 'Formant Levle=-3'");
    EXPECT_NE(r.output.find("\"Follwer Release Time\""), std::string::npos) << r.output;
}

TEST_F(ZentrovaCli, ExistingOutputNeedsForce) {
    const fs::path out = folder / "out.wav";
    std::ofstream(out) << "keep me";
    const auto r = run("process " + quoted(input) + " " + quoted(out) + " -q");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("--force"), std::string::npos);
    EXPECT_EQ(bytes_of(out), (std::vector<char>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    EXPECT_EQ(run("process " + quoted(input) + " " + quoted(out) + " -q --force").status, 0);
    EXPECT_GT(fs::file_size(out), 1000u);
}

TEST_F(ZentrovaCli, InterruptedRunLeavesNoOutput) {
    const fs::path out = folder / "long.wav";
    // An hour of tail keeps the job busy long enough to interrupt it. Ctrl-C, kill and a closed
    // terminal all stop it cleanly, with the shell's status for the signal.
    const std::string command = tool().string() + " process " + quoted(input) + " " + quoted(out) +
                                " --tail 3600 -q --save-preset " + quoted(folder / "p.aupreset") + " " + sweep;
    // Every signal that would end the job removes its temporary. One ignored when the job started
    // (nohup, a shell that ignores it for background jobs) stays ignored: the job carries on
    // until something else stops it.
    struct signal_case {
        int signal;
        bool ignored;
    } cases[] = {{SIGINT, false},  {SIGTERM, false}, {SIGHUP, false},  {SIGQUIT, false}, {SIGUSR1, false},
                 {SIGALRM, false}, {SIGPIPE, false}, {SIGHUP, true},   {SIGINT, true}};
    for (const auto [signal, ignored] : cases) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (ignored) std::signal(signal, SIG_IGN);
            execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // Wait until the job has created its temporary file, then interrupt it.
        for (int i = 0; i < 200 && files_in_folder() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(child, signal);
        if (ignored) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            int status = 0;
            EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "an ignored signal " << signal << " stopped the job";
            kill(child, SIGTERM);
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << signal;
            EXPECT_EQ(files_in_folder(), 1u) << signal;
            continue;
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << signal;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(files_in_folder(), 1u) << signal;  // only the input: no temporary, no preset
    }
}

TEST_F(ZentrovaCli, CompressedAndVeryShortAiffOutputsAreWhole) {
    SF_INFO info{};
    for (const auto &[name, container] : {std::pair{"out.ogg", SF_FORMAT_OGG}, std::pair{"out.mp3", SF_FORMAT_MPEG}}) {
        const fs::path out = folder / name;
        const auto r = run("process " + quoted(input) + " " + quoted(out) + " " + sweep);
        ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
        EXPECT_EQ(read_audio(out, &info).size(), 48000u * 2) << name;
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, container) << name;
    }

    // Three frames, fewer than the bytes of a PEAK chunk, through the dry path.
    const fs::path tiny = folder / "tiny.wav", aiff = folder / "tiny.aiff", tailed = folder / "tailed.wav";
    write_audio(tiny, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 3);
    const std::string dry = " --set 'Dry Output Level=0' --set 1=-80 -q";
    ASSERT_EQ(run("process " + quoted(tiny) + " " + quoted(aiff) + dry).status, 0);
    const auto x = read_audio(tiny), y = read_audio(aiff, &info);
    EXPECT_EQ(info.format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    EXPECT_EQ(y, x);

    // Numbers read with spaces around them, as --set values do: a 1 ms tail in 7-frame blocks.
    const auto t = run("process " + quoted(tiny) + " " + quoted(tailed) + dry + " --tail ' 0.001 ' --block ' 7 '");
    ASSERT_EQ(t.status, 0) << t.output;
    const auto z = read_audio(tailed);
    ASSERT_EQ(z.size(), (3u + 48u) * 2);
    for (std::size_t i = 0; i < z.size(); ++i) EXPECT_EQ(z[i], i < x.size() ? x[i] : 0.0f) << i;
}

TEST_F(ZentrovaCli, IntegerFlacAndLowRateMonoFilesProcess) {
    struct format_case {
        const char *name;
        int format, channels, rate;
        int expected_subtype;
    } cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, SF_FORMAT_FLOAT},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 96000, SF_FORMAT_FLOAT},
        {"lossless.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, SF_FORMAT_PCM_16},
        {"phone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, SF_FORMAT_FLOAT},
    };
    for (const auto &c : cases) {
        const fs::path in = folder / c.name, out = folder / ("out-" + std::string(c.name));
        write_audio(in, c.format, c.channels, c.rate, static_cast<std::size_t>(c.rate / 2));
        const auto r = run("process " + quoted(in) + " " + quoted(out) + " " + sweep);
        ASSERT_EQ(r.status, 0) << c.name << "\n" << r.output;
        SF_INFO info{};
        const auto y = read_audio(out, &info);
        EXPECT_EQ(info.channels, c.channels) << c.name;
        EXPECT_EQ(info.samplerate, c.rate) << c.name;
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, c.expected_subtype) << c.name;
        double energy = 0;
        for (float v : y) {
            ASSERT_TRUE(std::isfinite(v)) << c.name;
            energy += double(v) * v;
        }
        EXPECT_GT(energy, 1.0) << c.name;
    }
    const fs::path in24 = folder / "pcm24.wav";
    ASSERT_EQ(run("process " + quoted(in24) + " " + quoted(folder / "o24.wav") + " --bits 24 -q").status, 0);
    SF_INFO info{};
    read_audio(folder / "o24.wav", &info);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
}

TEST_F(ZentrovaCli, SavedPresetReproducesTheRender) {
    const fs::path preset = folder / "sweep.aupreset", a = folder / "a.wav", b = folder / "b.wav";
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(a) + " " + sweep + " --set 'Start Formant=A' "
                  "--save-preset " + quoted(preset)).status, 0);
    const auto shown = run("preset show " + quoted(preset));
    ASSERT_EQ(shown.status, 0) << shown.output;
    EXPECT_NE(shown.output.find("Sweep Up"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("Four Stage BP"), std::string::npos) << shown.output;
    const auto r = run("process " + quoted(input) + " " + quoted(b) + " -q --preset " + quoted(preset));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(bytes_of(a), bytes_of(b));

    // `preset save` writes the same kind of file.
    const fs::path saved = folder / "saved.aupreset";
    ASSERT_EQ(run("preset save " + quoted(saved) + " --set 'Formant Filter Type=Two Stage BP' --name Talkbox").status, 0);
    const auto shown_saved = run("preset show " + quoted(saved));
    EXPECT_NE(shown_saved.output.find("\"Talkbox\""), std::string::npos) << shown_saved.output;
    EXPECT_NE(shown_saved.output.find("Two Stage BP"), std::string::npos) << shown_saved.output;

    // A long name reads back whole.
    const std::string long_name(300, 'w');
    ASSERT_EQ(run("preset save " + quoted(saved) + " --force --name " + long_name).status, 0);
    EXPECT_NE(run("preset show " + quoted(saved)).output.find("\"" + long_name + "\""), std::string::npos);
}

TEST_F(ZentrovaCli, AutomationMovesTheMidiEnvelope) {
    const fs::path held = folder / "held.wav", moved = folder / "moved.wav";
    const std::string base = "--set 'Envelope Type=MIDI' --set 'End Formant=A' -q ";
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(held) + " " + base).status, 0);
    ASSERT_EQ(run("process " + quoted(input) + " " + quoted(moved) + " " + base + "--automate 'MIDI Control=0:0,1:1'").status, 0);
    const auto h = read_audio(held), m = read_audio(moved);
    ASSERT_EQ(h.size(), m.size());
    // The first block is identical (the automation starts at 0); later the vowel has moved.
    EXPECT_TRUE(std::equal(h.begin(), h.begin() + 2 * 512, m.begin()));
    EXPECT_NE(h, m);
}

TEST_F(ZentrovaCli, CommandsAreNamedAndExplained) {
    const auto help = run("");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("process"), std::string::npos) << help.output;
    const auto unknown = run("proces in.wav out.wav");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.output.find("unknown command \"proces\""), std::string::npos) << unknown.output;
    // Output that cannot be written is a failure, not a silent success.
    EXPECT_EQ(run("params >/dev/full").status, 1);
    const auto missing = run("process " + quoted(input));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("OUT is required"), std::string::npos) << missing.output;
}

TEST_F(ZentrovaCli, ParamsListsTheTable) {
    const auto r = run("params");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char *text : {"Dry Output Level", "Follwer Release Time", "MIDI Control", "Four Stage BP", "Sweep Down",
                             "-80 .. 0", "0.333"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
}

// Every output is whole or absent, with the mode a user expects, and what a user should know about
// the input is said. A full disk is simulated by a file-size limit, under which writes fail as
// on a full disk (SIGXFSZ ignored, as shells and CI runners often have it).
TEST_F(ZentrovaCli, OutputsAreWholeOrAbsentAndProblemsAreSaid) {
    const std::string full_disk = "ulimit -f 8; trap '' XFSZ;";
    const std::string long_name = std::string(250, 'n') + ".wav";
    std::ofstream(folder / "kept.wav") << "read-only";
    fs::permissions(folder / "kept.wav", fs::perms::owner_read);
    ASSERT_EQ(run("preset save " + quoted(folder / "own.aupreset")).status, 0);
    write_preset(folder / "own.aupreset", folder / "short.aupreset", {0, 0, 0, 0, 0, 0, 0});
    // A name that would retitle the terminal's window if printed raw.
    write_preset(folder / "own.aupreset", folder / "named.aupreset", global_values(16, 0), "a\033]0;owned\007");
    // Two samples that are not numbers, and a file cut off far before its header's length.
    write_audio(folder / "nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 1000);
    {
        std::fstream f(folder / "nan.wav", std::ios::in | std::ios::out | std::ios::binary);
        const float nan = NAN;
        f.seekp(-8, std::ios::end);
        f.write(reinterpret_cast<const char *>(&nan), 4);
        f.write(reinterpret_cast<const char *>(&nan), 4);
    }
    fs::copy_file(input, folder / "cut.wav");
    fs::resize_file(folder / "cut.wav", 10000);
    // A link where the demo writes its picture, pointing at a file of the user's.
    fs::create_directories(folder / "linked");
    std::ofstream(folder / "victim.txt") << "mine";
    fs::create_symlink(folder / "victim.txt", folder / "linked" / "spectrogram.png");

    auto mode_of = [&](const std::string &name) {
        return fs::status(folder / name).permissions() & fs::perms::all;
    };
    struct output_case {
        std::string prefix, arguments;
        int status;
        std::string message;
        std::function<void()> check;
    } cases[] = {
        {full_disk, "process " + quoted(input) + " " + quoted(folder / "full.mp3") + " -q", 1, "File too large", {}},
        {full_disk, "process " + quoted(input) + " " + quoted(folder / "full.wav") + " -q", 1, "File too large", {}},
        {full_disk, "process " + quoted(input) + " " + quoted(folder / "full.flac") + " -q", 1, "File too large", {}},
        {"ulimit -f 1; trap '' XFSZ;", "preset save " + quoted(folder / "full.aupreset"), 1, "File too large", {}},
        {"", "process " + quoted(input) + " " + quoted(folder / long_name) + " -q", 0, "",
         [&] { EXPECT_GT(fs::file_size(folder / long_name), 48000u * 8); }},
        {"umask 027;", "process " + quoted(input) + " " + quoted(folder / "private.wav") + " -q", 0, "",
         [&] { EXPECT_EQ(mode_of("private.wav"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read); }},
        {"", "process " + quoted(input) + " " + quoted(folder / "kept.wav") + " -q --force", 0, "",
         [&] {
             EXPECT_EQ(mode_of("kept.wav"), fs::perms::owner_read);
             EXPECT_GT(fs::file_size(folder / "kept.wav"), 48000u * 8);
         }},
        {"", "preset show " + quoted(folder / "short.aupreset"), 0, "holds 0 of 16 parameter values", {}},
        {"", "preset show " + quoted(folder / "named.aupreset"), 0, "preset \"a\\x1b]0;owned\\x07\"", {}},
        {"", "process " + quoted(folder / "nan.wav") + " " + quoted(folder / "nan-out.wav"), 0,
         "2 input samples were not a number or infinite", {}},
        {"", "process " + quoted(folder / "cut.wav") + " " + quoted(folder / "cut-out.wav") + " -q", 0,
         "shorter than its header says", {}},
        // The demo is a showcase: it must not clip. Run again, it replaces nothing without --force.
        {"", "demo " + quoted(folder / "demo"), 0, " 0 clipped samples", {}},
        {"", "demo -q " + quoted(folder / "demo"), 1, "exists; use --force", {}},
        {"", "demo -q --force " + quoted(folder / "linked"), 0, "",
         [&] {
             EXPECT_EQ(bytes_of(folder / "victim.txt"), (std::vector<char>{'m', 'i', 'n', 'e'}));
             EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "linked" / "spectrogram.png")));
         }},
    };
    for (const auto &c : cases) {
        const std::size_t before = files_in_folder();
        const auto r = run_under(c.prefix, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
        if (c.status != 0) {
            EXPECT_EQ(files_in_folder(), before) << c.arguments;  // nothing left behind
        }
        if (c.check) c.check();
    }
    // The input's NaN is not reported as an infinite peak.
    EXPECT_EQ(run("process " + quoted(folder / "nan.wav") + " " + quoted(folder / "nan2.wav")).output.find("inf dBFS"),
              std::string::npos);
}

// A file that appears at the output while the job renders is not replaced without --force.
TEST_F(ZentrovaCli, AnOutputThatAppearsMeanwhileIsKept) {
    const fs::path out = folder / "late.wav";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string command = "exec " + tool().string() + " process " + quoted(input) + " " + quoted(out) +
                                    " --tail 60 -q " + sweep;
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 2000 && files_in_folder() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::ofstream(out) << "theirs";
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(bytes_of(out), (std::vector<char>{'t', 'h', 'e', 'i', 'r', 's'}));
    EXPECT_EQ(files_in_folder(), 2u);  // the input and theirs: no temporary
}

// Reading and writing in whole chunks changes nothing: across chunk boundaries and whatever the
// block size, the dry path gives back the input sample for sample.
TEST_F(ZentrovaCli, ChunkedFileAccessKeepsEverySample) {
    const fs::path in = folder / "long.wav";
    write_audio(in, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 150001, 0.25f);
    const auto x = read_audio(in);
    for (const char *block : {"1", "1000", "70000"}) {
        const fs::path out = folder / (std::string("dry-") + block + ".wav");
        const auto r = run("process " + quoted(in) + " " + quoted(out) +
                           " --set 'Dry Output Level=0' --set 1=-80 -q --block " + block);
        ASSERT_EQ(r.status, 0) << r.output;
        auto y = read_audio(out);
        ASSERT_EQ(y.size(), x.size()) << block;
        y[7 * 2] = x[7 * 2];  // the one sample beyond full scale comes back clipped
        EXPECT_EQ(y, x) << block;
    }
}

// Many files, one instance each in parallel workers: the outputs are what single runs give, and a
// file that fails is named while the others are done.
TEST_F(ZentrovaCli, BatchRendersEveryFileAndNamesTheFailedOne) {
    write_audio(folder / "second.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 30000);
    std::ofstream(folder / "broken.wav") << "not audio";
    const std::string settings = "--set 'Envelope Type=Sweep Up' --set 'Formant Filter Type=Four Stage BP'";
    const fs::path out = folder / "out";
    const auto r = run("process -o " + quoted(out) + " --jobs 2 --format flac " + settings + " " + quoted(input) + " " +
                       quoted(folder / "broken.wav") + " " + quoted(folder / "second.wav"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find((folder / "broken.wav").string() + ": cannot read"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("2 of 3 files done, 1 failed"), std::string::npos) << r.output;
    std::vector<std::string> written;
    for (const auto &entry : fs::directory_iterator(out)) written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"in.flac", "second.flac"}));
    for (const char *name : {"in", "second"}) {
        const fs::path single = folder / (std::string(name) + "-single.flac");
        ASSERT_EQ(run("process " + quoted(folder / (std::string(name) + ".wav")) + " " + quoted(single) + " -q " + settings)
                      .status,
                  0);
        EXPECT_EQ(bytes_of(out / (std::string(name) + ".flac")), bytes_of(single)) << name;
    }
}

// Batch mode at its limits: more workers than descriptors allow, a worker killed outright, an
// input whose name reads as an option, a preset cut short. Whatever happens, the batch accounts
// for every file and leaves nothing hidden in the output folder.
TEST_F(ZentrovaCli, BatchKeepsItsAccountAtTheLimits) {
    const fs::path out = folder / "out";
    std::string inputs;
    for (int i = 0; i < 40; ++i) {
        const fs::path file = folder / ("f" + std::to_string(i) + ".wav");
        write_audio(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 800);
        inputs += " " + quoted(file);
    }
    fs::copy_file(input, folder / "-dash.wav");
    ASSERT_EQ(run("preset save " + quoted(folder / "own.aupreset")).status, 0);
    // A record claiming sixteen values that holds three.
    std::vector<unsigned char> cut = global_values(16, 0);
    cut.resize(12 + 3 * 8);
    write_preset(folder / "own.aupreset", folder / "cut.aupreset", cut);
    auto hidden_in = [](const fs::path &dir) {
        std::size_t n = 0;
        std::error_code ec;
        for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); ++it)
            n += it->path().filename().string()[0] == '.';
        return n;
    };
    struct limit_case {
        std::string prefix, arguments;
        int status;
        std::string message;
    } cases[] = {
        // 10: 60 workers asked for, 24 descriptors allowed: fewer at once, every file done.
        {"ulimit -n 24;", "process -o " + quoted(out) + " --jobs 60" + inputs, 0, "40 of 40 files done, 0 failed"},
        // 12: the dash-leading name, with and without --.
        {"", "process -o " + quoted(out) + " --force " + quoted(folder / "f0.wav") + " -dash.wav", 1,
         "\"-dash.wav\" reads as an option; put -- before the files"},
        {"", "process -o " + quoted(out) + " --force -- -dash.wav", 0, "1 of 1 files done"},
        {"", "preset show " + quoted(folder / "cut.aupreset"), 0, "claims 16 parameter values and holds 3"},
    };
    for (const auto &c : cases) {
        const auto r = run_shell("cd " + quoted(folder) + " && " + c.prefix + " " + tool().string() + " " + c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
        EXPECT_EQ(hidden_in(out), 0u) << c.arguments;
    }

    // 11: a worker killed outright (as the OOM killer does) leaves no temporary file behind.
    const pid_t batch = fork();
    ASSERT_GE(batch, 0);
    if (batch == 0) {
        const std::string command = "exec " + tool().string() + " process -q -o " + quoted(folder / "killed") +
                                    " --tail 3600 " + quoted(input);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && hidden_in(folder / "killed") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(hidden_in(folder / "killed"), 1u) << "the worker never started writing";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the parent has been told its name
    EXPECT_EQ(std::system(("pkill -KILL -P " + std::to_string(batch)).c_str()), 0);
    int status = 0;
    waitpid(batch, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(hidden_in(folder / "killed"), 0u);
}
