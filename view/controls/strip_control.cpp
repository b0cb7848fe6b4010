#include "view/controls/strip_control.h"

#include "ui/GraphicsContext.h"

namespace view {
namespace {

// A vertical shading of `evaluate` clipped to `r`.
void draw_vertical_band(ui::GraphicsContext &context, const ui::Rect &r,
                        ui::ShadingFunction::Evaluate evaluate) {
    context.save_state();
    context.clip_to_rect(r);
    draw_axial_shading(context, {r.x, r.y}, {r.x, r.max_y()}, std::move(evaluate));
    context.restore_state();
}

}  // namespace

void strip_control::initWithFrame(const ui::Rect &frame) {
    View::initWithFrame(frame);
    const ui::Rect b = bounds();
    const double c = _style.cap_width;
    _body_rect = b;
    _left_rect = {b.x, b.y, c, b.height};
    _right_rect = {b.x + b.width - c, b.y, c, b.height};
    _between_caps_rect = {b.x + c, b.y, b.width - 2 * c, b.height};
    setNeedsDisplay();
}

void strip_control::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    do_body_panel(context);
    if (_style.left_cap_first) {
        do_left_end_cap(context);
        do_right_end_cap(context);
    } else {
        do_right_end_cap(context);
        do_left_end_cap(context);
    }
    draw_content(context);
    do_shine(context);
}

void strip_control::do_body_panel(ui::GraphicsContext &context) {
    draw_vertical_band(context, covered(_style.body_panel),
                       [](double t) { return strip_body_evaluate({0.1, 0.1, 0.1, 1}, t); });
}

void strip_control::clip_to_cap(ui::GraphicsContext &context, strip_side side) const {
    const ui::Rect cap = side == strip_side::left ? _left_rect : _right_rect;
    const double round_x = side == strip_side::left ? cap.x : cap.x - cap.width;
    context.clip_to_rect(cap);
    context.begin_path();
    context.add_ellipse_in_rect({round_x, cap.y, 2 * cap.width, cap.height});
    context.clip();
}

void strip_control::do_left_end_cap(ui::GraphicsContext &context) {
    const ui::Rect l = _left_rect;
    context.save_state();
    clip_to_cap(context, strip_side::left);
    draw_axial_shading(context, {l.max_x(), l.y}, {l.x, l.y},
                       [c = cap_colors(strip_side::left)](double t) { return end_cap_evaluate(c, t); });
    context.restore_state();
}

void strip_control::do_right_end_cap(ui::GraphicsContext &context) {
    const ui::Rect r = _right_rect;
    context.save_state();
    clip_to_cap(context, strip_side::right);
    draw_axial_shading(context, {r.x, r.y}, {r.max_x(), r.y},
                       [c = cap_colors(strip_side::right)](double t) { return end_cap_evaluate(c, t); });
    context.restore_state();
}

void strip_control::do_shine(ui::GraphicsContext &context) {
    draw_vertical_band(context, covered(_style.shine),
                       [alpha = _style.shine_alpha](double t) { return strip_shine_evaluate(t, alpha); });
}

two_color_info strip_control::cap_colors(strip_side) const {
    return {{0, 0, 0, 1}, {0.25, 0.25, 0.25, 1}};
}

}  // namespace view
