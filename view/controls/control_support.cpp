#include "view/controls/control_support.h"

#include "ui/Log.h"
#include "view/controls/shading_functions.h"

namespace view {
namespace {

std::shared_ptr<ui::ShadingFunction> make_function(ui::ShadingFunction::Evaluate evaluate) {
    auto function = ui::ShadingFunction::create(std::move(evaluate));
    if (!function) ui::log_message("Error: couldn't create function for shading.");
    return function;
}

bool paint(ui::GraphicsContext &context, const std::shared_ptr<ui::Shading> &shading) {
    if (!shading) {
        ui::log_message("Error: couldn't create shading.");
        return false;
    }
    context.draw_shading(*shading);
    return true;
}

}  // namespace

const std::shared_ptr<const ui::ColorSpace> &device_rgb_space() {
    static const auto space = ui::ColorSpace::create_device_rgb();
    return space;
}

bool draw_axial_shading(ui::GraphicsContext &context, ui::Point start, ui::Point end,
                        ui::ShadingFunction::Evaluate evaluate) {
    auto function = make_function(std::move(evaluate));
    if (!function) return false;
    return paint(context, ui::Shading::create_axial(device_rgb_space(), start, end, function));
}

bool draw_radial_shading(ui::GraphicsContext &context, ui::Point start_center, double start_radius,
                         ui::Point end_center, double end_radius,
                         ui::ShadingFunction::Evaluate evaluate) {
    auto function = make_function(std::move(evaluate));
    if (!function) return false;
    return paint(context, ui::Shading::create_radial(device_rgb_space(), start_center, start_radius,
                                                     end_center, end_radius, function));
}

void draw_left_end_cap(ui::GraphicsContext &context, const ui::Rect &cap,
                       ui::ShadingFunction::Evaluate evaluate) {
    context.save_state();
    context.clip_to_rect(cap);
    context.begin_path();
    context.add_ellipse_in_rect({cap.x, cap.y, 2 * cap.width, cap.height});
    context.clip();
    draw_axial_shading(context, {cap.max_x(), cap.y}, {cap.x, cap.y}, std::move(evaluate));
    context.restore_state();
}

void draw_right_end_cap(ui::GraphicsContext &context, const ui::Rect &cap,
                        ui::ShadingFunction::Evaluate evaluate) {
    context.save_state();
    context.clip_to_rect(cap);
    context.begin_path();
    context.add_ellipse_in_rect({cap.x - cap.width, cap.y, 2 * cap.width, cap.height});
    context.clip();
    draw_axial_shading(context, {cap.x, cap.y}, {cap.max_x(), cap.y}, std::move(evaluate));
    context.restore_state();
}

void draw_strip_body(ui::GraphicsContext &context, const ui::Rect &r) {
    context.save_state();
    context.clip_to_rect(r);
    draw_axial_shading(context, {r.x, r.y}, {r.x, r.max_y()}, [](double t) {
        return strip_body_evaluate({0.1, 0.1, 0.1, 1}, t);
    });
    context.restore_state();
}

void draw_strip_shine(ui::GraphicsContext &context, const ui::Rect &r, double alpha_factor) {
    context.save_state();
    context.clip_to_rect(r);
    draw_axial_shading(context, {r.x, r.y}, {r.x, r.max_y()}, [alpha_factor](double t) {
        return strip_shine_evaluate(t, alpha_factor);
    });
    context.restore_state();
}

}  // namespace view
