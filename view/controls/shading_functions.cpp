#include "view/controls/shading_functions.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace view {
namespace {

constexpr float pi_f = std::numbers::pi_v<float>;

// A * w + B * (1 - w), component by component.
rgba blend(const rgba &a, const rgba &b, double w) noexcept {
    return {a.red * w + b.red * (1.0 - w), a.green * w + b.green * (1.0 - w),
            a.blue * w + b.blue * (1.0 - w), a.alpha * w + b.alpha * (1.0 - w)};
}

rgba scaled(const rgba &a, double k) noexcept { return {a.red * k, a.green * k, a.blue * k, a.alpha}; }

double triangle(double t) noexcept { return 1.0 - std::fabs(1.0 - 2.0 * t); }

}  // namespace

rgba two_color_span_evaluate(const two_color_info &c, double t) noexcept {
    const double w = std::fabs(std::cos(8.0f * pi_f * static_cast<float>(t)));
    return blend(c.a, c.b, w);
}

rgba body_panel_evaluate(const two_color_info &c, double t) noexcept {
    return blend(c.a, c.b, std::fabs(1.0 - 2.0 * t));
}

rgba knob_shine_evaluate(const two_color_info &c, double t) noexcept {
    const double s = 1.0 - 4.0 * std::pow(static_cast<float>(std::fabs(t - 0.5)), 0.75f);
    const rgba m = blend(c.b, c.a, s);
    return {std::clamp(m.red, 0.0, 1.0), std::clamp(m.green, 0.0, 1.0),
            std::clamp(m.blue, 0.0, 1.0), std::clamp(m.alpha, 0.0, 1.0)};
}

rgba strip_body_evaluate(const rgba &a, double t) noexcept { return scaled(a, triangle(t)); }

rgba end_cap_evaluate(const two_color_info &c, double t) noexcept {
    const float cosine = std::cos(pi_f * static_cast<float>(t) / 2.0f);
    rgba m = blend(c.a, c.b, static_cast<double>(cosine) * cosine);
    m.alpha = 1.0;
    return m;
}

rgba strip_shine_evaluate(double t, double alpha_factor) noexcept {
    const double g = triangle(t);
    double alpha = 0.0;
    if (t >= 0.35 && t <= 0.65) {
        const double u = (t - 0.35) * 3.333333 - 0.5;
        alpha = (1.0 - u * u) * 0.15 * alpha_factor;
    }
    return {g, g, g, alpha};
}

rgba menu_cap_evaluate(const two_color_info &c, double t) noexcept {
    const double s = t < 0.15 ? t : t * t;
    rgba m = blend(c.b, c.a, s);
    m.alpha = 1.0;
    return m;
}

rgba panel_band_evaluate(const rgba &a, double t) noexcept {
    return scaled(a, (triangle(t) + 1.0) * 0.5);
}

rgba panel_sidebar_evaluate(const rgba &a, double t) noexcept {
    const double k = (1.0 - std::fabs(std::cos(pi_f * static_cast<float>(t)))) * 0.75 + 0.25;
    return scaled(a, k);
}

}  // namespace view
