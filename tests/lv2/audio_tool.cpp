// What the real-host tests need to handle audio files:
//   audio_tool channel IN OUT N     write channel N (from 1) of IN as a mono float file
//   audio_tool compare A B TOL      exit 0 when A and B have the same shape and every sample
//                                   differs by at most TOL; prints the largest difference
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

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "channel") == 0) return channel(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "compare") == 0) return compare(argv[2], argv[3], std::atof(argv[4]));
    std::fprintf(stderr, "usage: audio_tool channel IN OUT N | compare A B TOLERANCE\n");
    return 2;
}
