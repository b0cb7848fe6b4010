#include "view/controls/knob_geometry.h"

#include <algorithm>
#include <cmath>

namespace view {

double knob_position_for_pointer(double dx, double dy, double p_min, double p_max,
                                 double scale) noexcept {
    double a = std::atan2(static_cast<float>(dy), static_cast<float>(dx));
    if (dx < 0.0 && a < 0.0) a += 2.0 * std::numbers::pi;
    const double p = (a - knob_theta_min) / scale + p_min;
    // A collapsed range (p_min == p_max) makes the scale infinite and p NaN: hold the minimum.
    if (std::isnan(p)) return p_min;
    return std::clamp(p, std::min(p_min, p_max), std::max(p_min, p_max));
}

}  // namespace view
