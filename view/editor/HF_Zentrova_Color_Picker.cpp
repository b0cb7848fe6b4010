#include "view/editor/HF_Zentrova_Color_Picker.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>

ui::Color picker_color_at(double u, double v) {
    u = std::clamp(u, 0.0, 1.0);
    v = std::clamp(v, 0.0, 1.0);
    // The fully saturated hue: six linear segments around the colour circle.
    const double h = u * 6;
    const double r = std::clamp(std::fabs(h - 3) - 1, 0.0, 1.0);
    const double g = std::clamp(2 - std::fabs(h - 2), 0.0, 1.0);
    const double b = std::clamp(2 - std::fabs(h - 4), 0.0, 1.0);
    if (v <= 0.5) {
        const double k = v * 2;  // black to the full colour
        return {r * k, g * k, b * k, 1};
    }
    const double w = (v - 0.5) * 2;  // the full colour to white
    return {r + (1 - r) * w, g + (1 - g) * w, b + (1 - b) * w, 1};
}

void HF_Zentrova_Color_Picker::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    const ui::Rect b = bounds();
    constexpr double cell = 2;  // points; finer than the eye needs at this size
    for (double y = 0; y < b.height; y += cell)
        for (double x = 0; x < b.width; x += cell) {
            context.set_fill_color(picker_color_at((x + cell / 2) / b.width, (y + cell / 2) / b.height));
            context.fill_rect({b.x + x, b.y + y, std::min(cell, b.width - x), std::min(cell, b.height - y)});
        }
    context.set_stroke_color({0, 0, 0, 0.6});
    context.set_line_width(1);
    context.stroke_rect(b.inset(0.5, 0.5));
}

void HF_Zentrova_Color_Picker::pick(const ui::Event &e) {
    const ui::Point p = convert_point_from_view(e.location_in_window, nullptr);
    const ui::Rect b = bounds();
    if (on_pick && b.width > 0 && b.height > 0) on_pick(picker_color_at((p.x - b.x) / b.width, (p.y - b.y) / b.height));
}

void HF_Zentrova_Color_Picker::mouseDown(const ui::Event &e) { pick(e); }
void HF_Zentrova_Color_Picker::mouseDragged(const ui::Event &e) { pick(e); }

UI_REGISTER_CLASS(HF_Zentrova_Color_Picker);
