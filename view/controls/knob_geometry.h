// The big knob's angles. The knob turns clockwise through 270 degrees: the minimum at lower left
// (225 degrees), the middle of the range straight up, the maximum at lower right (-45 degrees).
// Angles are counter-clockwise from the positive x axis with y up; positions are the scale's
// position units (see scale_mapping.h).
#pragma once

#include <numbers>

namespace view {

inline constexpr double knob_theta_min = 5.0 * std::numbers::pi / 4.0;
inline constexpr double knob_theta_max = -std::numbers::pi / 4.0;

// Radians per position unit; negative, so the angle falls as the value grows.
inline double knob_scale(double p_min, double p_max) noexcept {
    return (knob_theta_max - knob_theta_min) / (p_max - p_min);
}

inline double knob_angle(double p, double p_min, double scale) noexcept {
    return (p - p_min) * scale + knob_theta_min;
}

// Position the knob jumps to when pointed at from (dx, dy) off its centre, clamped to the range.
// The angle is taken in single precision and unwrapped to [-pi/2, 3pi/2), so the dead zone at the
// bottom gives the minimum on its left half and the maximum on its right half.
double knob_position_for_pointer(double dx, double dy, double p_min, double p_max,
                                 double scale) noexcept;

}  // namespace view
