#include "view/controls/control_support.h"

#include "ui/Log.h"

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

}  // namespace view
