#include "host/automation.h"

namespace host {

float automation::value_at(double seconds) const {
    if (seconds <= points.front().seconds) return points.front().value;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const auto &a = points[i - 1], &b = points[i];
        if (seconds < b.seconds) {
            const double t = (seconds - a.seconds) / (b.seconds - a.seconds);
            return static_cast<float>(a.value + (b.value - a.value) * t);
        }
    }
    return points.back().value;
}

}  // namespace host
