// What the real-host tests need to handle audio files:
//   audio_tool channel IN OUT N     write channel N (from 1) of IN as a mono float file
//   audio_tool compare A B TOL      exit 0 when A and B have the same shape and every sample
//                                   differs by at most TOL; prints the largest difference
//   audio_tool drums IN KEY FOUR    write a stereo drum-like key as long as IN (stereo) at its
//                                   rate to KEY, and IN's two channels then KEY's to FOUR
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct audio {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};

bool read(const char *path, audio &out) {
    SNDFILE *file = sf_open(path, SFM_READ, &out.info);
    if (!file) {
        std::fprintf(stderr, "audio_tool: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    out.samples.resize(static_cast<size_t>(out.info.frames) * out.info.channels);
    const sf_count_t got = sf_readf_float(file, out.samples.data(), out.info.frames);
    sf_close(file);
    return got == out.info.frames;
}

int channel(const char *in_path, const char *out_path, int n) {
    audio in;
    if (!read(in_path, in) || n < 1 || n > in.info.channels) return 1;
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = in.info.samplerate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(out_path, SFM_WRITE, &info);
    if (!file) return 1;
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    std::vector<float> mono(static_cast<size_t>(in.info.frames));
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = in.samples[i * in.info.channels + (n - 1)];
    const bool ok = sf_writef_float(file, mono.data(), in.info.frames) == in.info.frames;
    sf_close(file);
    return ok ? 0 : 1;
}

int compare(const char *a_path, const char *b_path, double tolerance) {
    audio a, b;
    if (!read(a_path, a) || !read(b_path, b)) return 1;
    if (a.info.channels != b.info.channels || a.info.frames != b.info.frames) {
        std::fprintf(stderr, "audio_tool: shapes differ: %d x %lld against %d x %lld\n", a.info.channels,
                     static_cast<long long>(a.info.frames), b.info.channels, static_cast<long long>(b.info.frames));
        return 1;
    }
    double largest = 0, peak = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        largest = std::fmax(largest, std::fabs(static_cast<double>(a.samples[i]) - b.samples[i]));
        peak = std::fmax(peak, std::fabs(static_cast<double>(a.samples[i])));
    }
    std::printf("largest difference %g (peak %g) over %zu samples\n", largest, peak, a.samples.size());
    // A silent result would match a silent reference whatever the plug-in did.
    if (peak < 1e-3) {
        std::fprintf(stderr, "audio_tool: %s is (nearly) silent\n", a_path);
        return 1;
    }
    return largest <= tolerance ? 0 : 1;
}

bool write(const char *path, int channels, int rate, const std::vector<float> &interleaved) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(path, SFM_WRITE, &info);
    if (!file) return false;
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const auto frames = static_cast<sf_count_t>(interleaved.size() / channels);
    const bool ok = sf_writef_float(file, interleaved.data(), frames) == frames;
    sf_close(file);
    return ok;
}

int drums(const char *in_path, const char *key_path, const char *four_path) {
    audio in;
    if (!read(in_path, in) || in.info.channels != 2) return 1;
    const auto frames = static_cast<size_t>(in.info.frames);
    const double rate = in.info.samplerate;
    std::vector<float> key(2 * frames), four(4 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const double since = std::fmod(static_cast<double>(i) / rate, 0.3);
        const double hit = 0.9 * std::exp(-since / 0.035) * std::sin(2 * M_PI * 65 * since);
        key[2 * i] = static_cast<float>(hit);
        key[2 * i + 1] = static_cast<float>(0.7 * hit);
        for (int c = 0; c < 2; ++c) {
            four[4 * i + c] = in.samples[2 * i + c];
            four[4 * i + 2 + c] = key[2 * i + c];
        }
    }
    return write(key_path, 2, in.info.samplerate, key) && write(four_path, 4, in.info.samplerate, four) ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "channel") == 0) return channel(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2], argv[3], std::atof(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "drums") == 0) return drums(argv[2], argv[3], argv[4]);
    std::fprintf(stderr, "usage: audio_tool channel IN OUT N | compare A B TOLERANCE | drums IN KEY FOUR\n");
    return 2;
}
