// The colour functions of the controls' shadings: each maps t in [0, 1] along a shading's axis
// (or from its start circle to its end circle) to a device RGB colour. Pure, so the drawing
// code and the tests share one definition.
#pragma once

#include "ui/Color.h"

namespace view {

using rgba = ui::Color;

// The two colours a shading blends, colour A at one end of its function and B at the other.
struct two_color_info {
    rgba a, b;
};

// Knob rings: w = |cos(8 pi t)|; A * w + B * (1 - w). Dark rings at t = 0, 1/8, ..., 1.
rgba two_color_span_evaluate(const two_color_info &c, double t) noexcept;

// Knob face: d = |1 - 2t|; A * d + B * (1 - d), dark at both ends of the diagonal.
rgba body_panel_evaluate(const two_color_info &c, double t) noexcept;

// Knob highlight: s = 1 - 4 |t - 0.5|^0.75; A * (1 - s) + B * s, each component in [0, 1].
rgba knob_shine_evaluate(const two_color_info &c, double t) noexcept;

// Dark band of the strip controls: A * (1 - |1 - 2t|) in red, green and blue, A's alpha.
rgba strip_body_evaluate(const rgba &a, double t) noexcept;

// Rounded end caps of the strips: k = cos(pi t / 2)^2; A * k + B * (1 - k), alpha 1.
rgba end_cap_evaluate(const two_color_info &c, double t) noexcept;

// Glass highlight of the strips: grey 1 - |1 - 2t|, visible only in the middle third
// (0.35 <= t <= 0.65) with alpha (1 - u^2) * 0.15 * alpha_factor, u running -0.5 .. 0.5.
rgba strip_shine_evaluate(double t, double alpha_factor) noexcept;

// Menu end caps: s = t below 0.15, t^2 above; A * (1 - s) + B * s, alpha 1.
rgba menu_cap_evaluate(const two_color_info &c, double t) noexcept;

// Background panel band: A * ((1 - |1 - 2t|) + 1) / 2, A's alpha.
rgba panel_band_evaluate(const rgba &a, double t) noexcept;

// Background panel side bars: A * ((1 - |cos(pi t)|) * 0.75 + 0.25), A's alpha.
rgba panel_sidebar_evaluate(const rgba &a, double t) noexcept;

}  // namespace view
