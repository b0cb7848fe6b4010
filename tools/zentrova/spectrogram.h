// Spectrogram pictures: a time-frequency image of each signal, side by side, saved as PNG.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zentrova_cli {

struct labelled_signal {
    std::string title;
    const std::vector<float> *samples;  // mono
};

// Replaces an existing `png` only with `force`.
void write_spectrograms(const std::filesystem::path &png, const std::vector<labelled_signal> &signals,
                        double sample_rate, bool force);

}  // namespace zentrova_cli
