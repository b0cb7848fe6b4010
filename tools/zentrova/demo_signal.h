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

}  // namespace zentrova_cli
