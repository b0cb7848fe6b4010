// The whole effect on every instruction set the processor runs, through the command-line tool
// (the set is chosen once per process, so each run is a process of its own): mono and stereo,
// several ladders, render blocks of 1, 7, 64 and 512 frames, each output byte for byte the
// scalar path's.
#include "dsp/simd_path.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path scratch() {
    const fs::path dir = fs::temp_directory_path() / ("zentrova_simd_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

// Drum-like bursts under a sawtooth, so Sweep Up triggers and the sweep moves inside blocks.
void write_input(const fs::path &path, int channels) {
    const int rate = 44100, frames = 6000;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(static_cast<std::size_t>(frames) * channels);
    for (int n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double burst = std::exp(-std::fmod(t, 0.07) * 40.0);
        for (int c = 0; c < channels; ++c) {
            const double saw = 2.0 * (t * (110.0 + 30 * c) - std::floor(t * (110.0 + 30 * c) + 0.5));
            data[static_cast<std::size_t>(n) * channels + c] = static_cast<float>(0.9 * burst * saw);
        }
    }
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

std::vector<char> render(const fs::path &in, const fs::path &out, const std::string &path, const std::string &type,
                         int block) {
    const fs::path tool = fs::path(std::getenv("ZENTROVA_BUILD_DIR")) / "bin" / "zentrova";
    const std::string command = "ZENTROVA_SIMD=" + path + " '" + tool.string() + "' process '" + in.string() + "' '" +
                                out.string() + "' -q --force --block " + std::to_string(block) +
                                " --set 'Formant Filter Type=" + type +
                                "' --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-20'"
                                " --set 'Envelope Attack=15' --set 'Envelope Release=40' --set 'Formant Resonance=0.9'"
                                " --set 'Dry Output Level=-12' --set 'Start Formant=OO' --set 'End Formant=A'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream file(out, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(EffectSimdPaths, EveryPathAndBlockSizeRendersTheScalarPathsBytes) {
    const fs::path dir = scratch();
    for (int channels : {1, 2}) {
        const fs::path in = dir / ("in" + std::to_string(channels) + ".wav");
        write_input(in, channels);
        for (const char *type : {"Four Stage BP", "Three Stage LP", "Two Stage BP", "One Stage LP"}) {
            const std::vector<char> want = render(in, dir / "scalar.wav", "scalar", type, 512);
            ASSERT_GT(want.size(), 6000u * channels * 4);
            for (dsp::simd_path path : dsp::all_simd_paths) {
                if (!dsp::simd_path_supported(path)) continue;
                const std::string name(dsp::simd_path_name(path));
                for (int block : {1, 7, 64, 512})
                    EXPECT_TRUE(render(in, dir / "out.wav", name, type, block) == want)
                        << channels << " channels, " << type << ", " << name << ", block " << block;
            }
        }
    }
    fs::remove_all(dir);
}

}  // namespace
