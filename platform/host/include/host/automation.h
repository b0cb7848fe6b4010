// Parameter automation as the hosts here play it: breakpoints in seconds, and a value taken at the
// start of every rendered block. Every host that offers automation steps it the same way, so the
// same breakpoints give the same output whichever host renders them. [control thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <vector>

namespace host {

struct automation_point {
    double seconds;
    float value;
};

struct automation {
    AudioUnitParameterID id;
    std::vector<automation_point> points;  // ascending in time, at least one

    // Linear between points; held before the first and after the last.
    float value_at(double seconds) const;

    // The value for the block whose first frame is `frames_done` frames into the stream.
    float value_at_frame(long long frames_done, double sample_rate) const {
        return value_at(static_cast<double>(frames_done) / sample_rate);
    }
};

}  // namespace host
