#include "view/controls/scale_mapping.h"

#include <cfloat>
#include <cmath>

namespace view {

double position_from_value(double value, int32_t scale_type) noexcept {
    switch (scale_type) {
    case scale_logarithmic:
        return std::log10(value > 0.0 ? value : DBL_MIN);
    case scale_square_law:
        return value >= 0.0 ? std::sqrt(value) : -std::sqrt(-value);
    default:
        return value;
    }
}

double value_from_position(double position, int32_t scale_type) noexcept {
    switch (scale_type) {
    case scale_logarithmic:
        return std::pow(10.0, position);
    case scale_square_law:
        return position * std::fabs(position);
    default:
        return position;
    }
}

double step_value(double value, double minimum, double maximum, int32_t scale_type,
                  double fraction) noexcept {
    const double span =
        position_from_value(maximum, scale_type) - position_from_value(minimum, scale_type);
    return value_from_position(position_from_value(value, scale_type) + span * fraction,
                               scale_type);
}

double drag_value(double value, double minimum, double maximum, int32_t scale_type,
                  double delta_x, double delta_y) noexcept {
    return step_value(value, minimum, maximum, scale_type, 0.005 * (0.1 * delta_x - delta_y));
}

double scroll_value(double value, double minimum, double maximum, int32_t scale_type,
                    double delta_x, double delta_y) noexcept {
    return step_value(value, minimum, maximum, scale_type, 0.002 * (delta_y - 0.1 * delta_x));
}

}  // namespace view
