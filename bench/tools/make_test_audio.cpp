// Writes a long stereo test file (plucked saw notes with noise bursts) for the whole-program
// timing: make_test_audio OUT.wav SECONDS [RATE]
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_test_audio OUT.wav SECONDS [RATE]\n");
        return 1;
    }
    const double seconds = std::atof(argv[2]);
    const int rate = argc > 3 ? std::atoi(argv[3]) : 48000;
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(argv[1], SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "make_test_audio: %s\n", sf_strerror(nullptr));
        return 1;
    }
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const long total = static_cast<long>(seconds * rate);
    std::vector<float> block(2 * 4096);
    unsigned noise = 1;
    double phase = 0;
    for (long start = 0; start < total; start += 4096) {
        const long n = std::min<long>(4096, total - start);
        for (long i = 0; i < n; ++i) {
            const double t = static_cast<double>(start + i) / rate;
            const double note = 110.0 * std::pow(2.0, static_cast<int>(t * 4) % 12 / 12.0);
            phase += note / rate;
            phase -= std::floor(phase);
            const double env = std::exp(-std::fmod(t, 0.25) * 10.0);
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 0.05;
            block[2 * i] = static_cast<float>(0.4 * env * (2 * phase - 1) + hiss);
            block[2 * i + 1] = static_cast<float>(0.4 * env * (1 - 2 * phase) + hiss);
        }
        sf_writef_float(file, block.data(), n);
    }
    sf_close(file);
    return 0;
}
