// The editor's value scales: how a parameter value maps to a control position and back, and the
// steps a drag or a scroll wheel makes along that position. Pure functions, so the knob and the
// parameter controls share one definition and tests can round-trip them.
#pragma once

#include <cstdint>

namespace view {

enum scale_type : int32_t {
    scale_linear = 0,
    scale_logarithmic = 1,
    scale_square_law = 2,
};

// p = v, log10(v) or sqrt(v). An unknown scale type is treated as linear. A logarithmic scale
// needs positive values: zero or less maps to the position of the smallest positive double, so
// the result stays finite. A square-law scale mirrors negative values (p = -sqrt(-v)), which
// keeps the mapping monotonic and invertible instead of producing NaN.
double position_from_value(double value, int32_t scale_type) noexcept;

// v = p, 10^p or p * |p| (p^2 for the positive half).
double value_from_position(double position, int32_t scale_type) noexcept;

// New value after a step of `fraction` of the range's span in position units; not clamped.
double step_value(double value, double minimum, double maximum, int32_t scale_type,
                  double fraction) noexcept;

// A drag moves 0.5 % of the span per point up (the platform's deltaY grows downward) and
// 0.05 % per point to the right.
double drag_value(double value, double minimum, double maximum, int32_t scale_type,
                  double delta_x, double delta_y) noexcept;

// One wheel unit up (positive deltaY) moves 0.2 % of the span; sideways a tenth of that,
// to the left.
double scroll_value(double value, double minimum, double maximum, int32_t scale_type,
                    double delta_x, double delta_y) noexcept;

}  // namespace view
