// zentrova-editor in a real X11 window (a private Xvfb server), driven by real pointer events
// from another process (xdotool): a menu item picked from the pop-up list and a turn of the knob
// must both show in the --record output.
//
// The input is a 240 Hz saw, exactly 200 samples a period, so the effect's output settles into a
// periodic steady state: one period of the recording is compared with the steady state the same
// settings give in a host of our own.
#include "../../effect/zentrova_host.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
constexpr int rate = 48000;
constexpr std::size_t period = 200;

std::vector<float> saw(std::size_t frames, std::size_t offset = 0) {
    std::vector<float> x(frames);
    for (std::size_t n = 0; n < frames; ++n) x[n] = 0.5f * (2.0f * float((n + offset) % period) / period - 1.0f);
    return x;
}

// zentrova-editor is not a test binary: under the address sanitizer it needs the suppressions of
// the font and JACK libraries' process-lifetime state from a file.
void quiet_font_caches_for_children() {
    setenv("LSAN_OPTIONS", "suppressions=" ZENTROVA_TEST_SOURCE_DIR "/tests/view/editor/lsan.supp", 0);
}

bool have(const char *program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The last period of one second of the saw through a fresh instance with these settings.
std::vector<float> steady_period(std::initializer_list<std::pair<AudioUnitParameterID, float>> settings) {
    zentrova_test::zentrova_host host(1, rate);
    host.initialize();
    for (auto [id, value] : settings) host.set(id, value);
    zentrova_test::deliver_events();
    zentrova_test::channels out;
    for (int block = 0; block < rate / 480; ++block) out = host.render({saw(480, 480 * block)});
    return {out[0].end() - period, out[0].end()};
}

// How far one period of `recorded` (ending at `end_second`) is from `reference` scaled by the
// best gain, at the best alignment: the largest difference relative to the reference's peak.
struct match {
    double gain = 0, error = 1;
};
match compare(const std::vector<float> &recorded, double end_second, const std::vector<float> &reference) {
    const std::size_t end = std::size_t(end_second * rate);
    const float *got = recorded.data() + end - period;
    double peak = 0;
    for (float r : reference) peak = std::max(peak, double(std::fabs(r)));
    match best;
    for (std::size_t lag = 0; lag < period; ++lag) {
        double dot = 0, energy = 0;
        for (std::size_t i = 0; i < period; ++i) {
            dot += double(got[i]) * reference[(i + lag) % period];
            energy += double(reference[(i + lag) % period]) * reference[(i + lag) % period];
        }
        const double gain = dot / energy;
        double worst = 0;
        for (std::size_t i = 0; i < period; ++i)
            worst = std::max(worst, std::fabs(got[i] - gain * reference[(i + lag) % period]));
        if (worst / (std::fabs(gain) * peak) < best.error) best = {gain, worst / (std::fabs(gain) * peak)};
    }
    return best;
}

TEST(EditorWindow, RealPointerEventsPickAMenuItemAndTurnTheKnobAndTheRecordingHearsBoth) {
    if (!have("xvfb-run") || !have("xdotool")) GTEST_SKIP() << "needs xvfb-run and xdotool";
    quiet_font_caches_for_children();
    const fs::path dir = fs::temp_directory_path() / ("zentrova-editor-window-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path input = dir / "saw.wav", output = dir / "out.wav", script = dir / "drive.sh";
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE *f = sf_open(input.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        const auto x = saw(rate);
        sf_writef_float(f, x.data(), rate);
        sf_close(f);
    }
    // The window (700 x 490 points at scale 1) sits at the screen's origin: no window manager.
    // Its y axis points down, the editor's up. "Formant Filter Type" is the top menu of the
    // Filters box (centre 130, 385); its list puts the selected item over the menu and the others
    // 18 points below each other. The knob is centred on (350, 327); straight up is mid-range.
    std::ofstream(script) << "set -e\n"
                          << "\"$1\" \"$2\" --scale 1 --seconds 6 --record \"$3\" &\n"
                          << "pid=$!\n"
                          << "xdotool search --sync --name '^Zentrova$' >/dev/null\n"
                          << "sleep 1.3\n"
                          << "xdotool mousemove 130 105 click 1\n"
                          << "sleep 0.3\n"
                          << "xdotool mousemove 130 " << 105 + 7 * 18 << " click 1\n"
                          << "sleep 2\n"
                          << "xdotool mousemove 350 103 click 1\n"
                          << "wait $pid\n";
    const fs::path editor = fs::path(ZENTROVA_TEST_BUILD_DIR) / "bin/zentrova-editor";
    const std::string command = "XDG_CONFIG_HOME='" + dir.string() + "' timeout 60 xvfb-run -a sh '" +
                                script.string() + "' '" + editor.string() + "' '" + input.string() + "' '" +
                                output.string() + "' > '" + (dir / "log").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir / "log").rdbuf();

    SF_INFO info{};
    SNDFILE *f = sf_open(output.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> recorded(std::size_t(info.frames));
    sf_readf_float(f, recorded.data(), info.frames);
    sf_close(f);
    ASSERT_GE(recorded.size(), std::size_t(5.9 * rate));

    const auto one_stage_lp = steady_period({});
    const auto four_stage_bp = steady_period({{2, 7}});
    // At full level the band-pass output is clipped; 40 dB down it is not, so the shape after the
    // knob turn is compared with the filter heard at that level.
    const auto four_stage_bp_quiet = steady_period({{2, 7}, {1, -40}});
    const struct {
        const char *when;
        double end_second;
        const std::vector<float> &sound;  // the filter heard then
        double gain_db;                   // its level then, relative to `sound`
        const std::vector<float> &not_sound;
    } cases[] = {
        {"before any click", 0.9, one_stage_lp, 0, four_stage_bp},
        {"after the menu pick", 3.2, four_stage_bp, 0, one_stage_lp},
        {"after the knob turn (straight up: -40 dB)", 5.9, four_stage_bp_quiet, 0, one_stage_lp},
    };
    for (const auto &c : cases) {
        const match heard = compare(recorded, c.end_second, c.sound);
        EXPECT_LT(heard.error, 1e-3) << c.when;
        EXPECT_NEAR(20 * std::log10(heard.gain), c.gain_db, 1.0) << c.when;
        EXPECT_GT(compare(recorded, c.end_second, c.not_sound).error, 0.05) << c.when;
    }
    fs::remove_all(dir);
}

}  // namespace

namespace {

// The picture in the README: the whole editor drawn offscreen after two seconds of the demo, no
// display needed. The meter must show the demo's level (its green bar), the knob its disc.
TEST(EditorSnapshot, DrawsTheWholeEditorWithALiveMeter) {
    const fs::path png = fs::path(ZENTROVA_TEST_BUILD_DIR) / "editor-snapshot.png";
    const fs::path config = fs::temp_directory_path() / ("zentrova-snapshot-" + std::to_string(::getpid()));
    fs::remove(png);
    quiet_font_caches_for_children();
    const std::string command = "XDG_CONFIG_HOME='" + config.string() + "' '" + ZENTROVA_TEST_BUILD_DIR +
                                "/bin/zentrova-editor' --snapshot '" + png.string() +
                                "' --seconds 2 --scale 1 --set 'Envelope Type=Sweep Up'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    fs::remove_all(config);
    cairo_surface_t *image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image), 700);
    EXPECT_EQ(cairo_image_surface_get_height(image), 490);
    const auto pixel = [&](int x, int y_up) {  // ARGB32, premultiplied; the editor is opaque
        const auto *row = cairo_image_surface_get_data(image) + (489 - y_up) * cairo_image_surface_get_stride(image);
        const uint32_t p = reinterpret_cast<const uint32_t *>(row)[x];
        return std::array<int, 3>{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
    };
    // The meter (envelope box at (20, 16), meter at (235, 124) in it, 190 x 22): just right of
    // its left end cap, at mid-height, the level bar is green over the below-threshold tint.
    const auto bar = pixel(20 + 235 + 12, 16 + 124 + 11);
    EXPECT_GT(bar[1], bar[0] + 40);
    EXPECT_GT(bar[1], bar[2]);
    // The knob's face near its centre is light grey metal.
    const auto face = pixel(350, 327);
    EXPECT_GT(std::min({face[0], face[1], face[2]}), 120);
    cairo_surface_destroy(image);
}

}  // namespace

namespace {

// With a JACK server running, its process thread drives the audio at the server's rate (here
// 32 kHz, not the demo's 48 kHz), and the recording is made at that rate.
TEST(EditorWindow, PlaysThroughJackWhenAServerRuns) {
    if (!have("xvfb-run") || !have("jackd")) GTEST_SKIP() << "needs xvfb-run and jackd";
    quiet_font_caches_for_children();
    const std::string name = "zentrova-test-" + std::to_string(::getpid());
    const fs::path dir = fs::temp_directory_path() / name;
    fs::create_directories(dir);
    const fs::path output = dir / "jack.wav";
    const std::string command =
        "cd '" + dir.string() + "' && (jackd --no-realtime -n " + name + " -d dummy -r 32000 -p 512 >jackd.log 2>&1 &" +
        " echo $! >jackd.pid) && sleep 1 && JACK_DEFAULT_SERVER=" + name + " XDG_CONFIG_HOME='" + dir.string() +
        "' timeout 60 xvfb-run -a '" + ZENTROVA_TEST_BUILD_DIR + "/bin/zentrova-editor' --seconds 1 --record '" +
        output.string() + "' 2>editor.log; status=$?; kill $(cat jackd.pid); exit $status";
    ASSERT_EQ(std::system(command.c_str()), 0) << std::ifstream(dir / "editor.log").rdbuf();
    std::ostringstream log;
    log << std::ifstream(dir / "editor.log").rdbuf();
    EXPECT_NE(log.str().find("playing through JACK at 32000 Hz"), std::string::npos) << log.str();
    SF_INFO info{};
    SNDFILE *f = sf_open(output.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_close(f);
    EXPECT_EQ(info.samplerate, 32000);
    EXPECT_NEAR(double(info.frames), 32000, 1024);  // whole periods of 512 frames
    fs::remove_all(dir);
}

}  // namespace

namespace {

void write_mono(const fs::path &path, const std::vector<float> &x) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, x.data(), sf_count_t(x.size()));
    sf_close(f);
}

// --key loops the key in step with IN: a key shorter than IN goes on as silence until IN starts
// again, and then starts again with it. Two loops of a half-second IN, recorded offscreen, are
// what a host of our own renders from IN twice and the key, padded, twice, in the same blocks.
TEST(EditorKey, TheKeyLoopsInStepWithTheInput) {
    const fs::path folder = fs::temp_directory_path() / ("zentrova-editor-key-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::size_t in_frames = rate / 2, key_frames = rate * 3 / 10;
    const std::vector<float> input = saw(in_frames);
    std::vector<float> key(key_frames);
    for (std::size_t n = 0; n < key_frames; ++n)
        key[n] = float(0.9 * std::exp(-double(n % 4800) / 400.0) * std::sin(2 * M_PI * 70.0 * double(n) / rate));
    write_mono(folder / "in.wav", input);
    write_mono(folder / "key.wav", key);
    quiet_font_caches_for_children();
    const std::string command = "XDG_CONFIG_HOME='" + folder.string() + "' '" + ZENTROVA_TEST_BUILD_DIR +
                                "/bin/zentrova-editor' '" + (folder / "in.wav").string() + "' --key '" +
                                (folder / "key.wav").string() + "' --snapshot '" + (folder / "x.png").string() +
                                "' --record '" + (folder / "rec.wav").string() +
                                "' --seconds 1 --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-30'"
                                " --set 'Dry Output Level=-80' --set 'End Formant=A'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    SF_INFO info{};
    SNDFILE *f = sf_open((folder / "rec.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> recorded(std::size_t(info.frames));
    sf_readf_float(f, recorded.data(), info.frames);
    sf_close(f);
    fs::remove_all(folder);
    ASSERT_GE(recorded.size(), 2 * in_frames);

    zentrova_test::zentrova_host host(1, rate, zentrova_test::find_zentrova_keyed());
    host.attach_key(rate, 1);
    host.initialize();
    for (auto [id, value] : {std::pair<AudioUnitParameterID, float>{8, 1}, {12, -30}, {0, -80}, {5, 9}})
        host.set(id, value);
    zentrova_test::deliver_events();
    std::vector<float> looped, looped_key;
    for (int loop = 0; loop < 3; ++loop) {
        looped.insert(looped.end(), input.begin(), input.end());
        looped_key.insert(looped_key.end(), key.begin(), key.end());
        looped_key.resize(looped.size(), 0.0f);
    }
    std::vector<float> expected;
    for (std::size_t at = 0; at + 512 <= looped.size() && expected.size() < recorded.size(); at += 512) {
        const zentrova_test::channels in{{looped.begin() + at, looped.begin() + at + 512}};
        const zentrova_test::channels k{{looped_key.begin() + at, looped_key.begin() + at + 512}};
        const auto out = host.render(in, k);
        expected.insert(expected.end(), out[0].begin(), out[0].end());
    }
    expected.resize(recorded.size());
    EXPECT_EQ(recorded, expected);
}

}  // namespace
