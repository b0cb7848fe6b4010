#include "ui/Shading.h"

#include <algorithm>
#include <atomic>
#include <cairo.h>
#include <cmath>

namespace ui {

namespace {
std::atomic<bool> fail_functions{false};
std::atomic<bool> fail_shadings{false};

double unit(double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; }
bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Cairo has one extend mode for both ends: both extended pads, anything else paints nothing past
// either end (the editor never extends only one end).
cairo_pattern_t *fill_stops(cairo_pattern_t *pattern, const ShadingFunction &function, bool extend_start,
                            bool extend_end) {
    for (int i = 0; i < Shading::sample_count; ++i) {
        const double t = double(i) / (Shading::sample_count - 1);
        const Color c = function.evaluate(t);
        cairo_pattern_add_color_stop_rgba(pattern, t, unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha));
    }
    cairo_pattern_set_extend(pattern, extend_start && extend_end ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    return pattern;
}
}  // namespace

void ShadingFailureInjection::set(bool functions, bool shadings) {
    fail_functions = functions;
    fail_shadings = shadings;
}

std::shared_ptr<ShadingFunction> ShadingFunction::create(Evaluate evaluate, std::function<void()> release) {
    if (!evaluate || fail_functions) {
        if (release) release();
        return nullptr;
    }
    return std::shared_ptr<ShadingFunction>(new ShadingFunction(std::move(evaluate), std::move(release)));
}

ShadingFunction::~ShadingFunction() {
    if (_release) _release();
}

std::shared_ptr<Shading> Shading::create_axial(const std::shared_ptr<const ColorSpace> &space, Point start, Point end,
                                               const std::shared_ptr<ShadingFunction> &function, bool extend_start,
                                               bool extend_end) {
    if (!space || !function || fail_shadings || !finite(start) || !finite(end)) return nullptr;
    cairo_pattern_t *p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    return std::shared_ptr<Shading>(new Shading(fill_stops(p, *function, extend_start, extend_end)));
}

std::shared_ptr<Shading> Shading::create_radial(const std::shared_ptr<const ColorSpace> &space, Point start_center,
                                                double start_radius, Point end_center, double end_radius,
                                                const std::shared_ptr<ShadingFunction> &function, bool extend_start,
                                                bool extend_end) {
    if (!space || !function || fail_shadings || !finite(start_center) || !finite(end_center) || !(start_radius >= 0) ||
        !(end_radius >= 0) || !std::isfinite(start_radius) || !std::isfinite(end_radius))
        return nullptr;
    cairo_pattern_t *p = cairo_pattern_create_radial(start_center.x, start_center.y, start_radius, end_center.x,
                                                     end_center.y, end_radius);
    return std::shared_ptr<Shading>(new Shading(fill_stops(p, *function, extend_start, extend_end)));
}

Shading::~Shading() { cairo_pattern_destroy(_pattern); }

}  // namespace ui
