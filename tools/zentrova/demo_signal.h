// The built-in demonstration input: ten seconds of a rhythmic, harmonically rich stereo pattern,
// the kind of material that shows a triggered vowel sweep off.
#pragma once

#include <vector>

namespace zentrova_cli {

struct stereo_signal {
    double sample_rate = 48000;
    std::vector<float> left, right;
};

stereo_signal make_demo_signal(double seconds = 10.0, double sample_rate = 48000.0);

// The keyed demonstration: a held pad (a slow chord of detuned saws, no rhythm of its own) and a
// drum loop (kick and snare) at the same tempo, to key it with.
stereo_signal make_pad_signal(double seconds = 8.0, double sample_rate = 48000.0);
stereo_signal make_drum_signal(double seconds = 8.0, double sample_rate = 48000.0);

}  // namespace zentrova_cli
