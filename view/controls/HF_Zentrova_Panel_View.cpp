#include "view/controls/HF_Zentrova_Panel_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "view/controls/HF_Zentrova_Pop_Up_View.h"
#include "view/controls/shading_functions.h"

UI_REGISTER_CLASS(HF_Zentrova_Panel_View);
UI_REGISTER_CLASS(HF_Zentrova_Box);

void HF_Zentrova_Panel_View::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    const ui::Rect b = bounds();
    do_2d_bg(context, {0, 0, b.width, b.height});
}

void HF_Zentrova_Panel_View::do_2d_bg(ui::GraphicsContext &context, const ui::Rect &area) {
    const ui::Color grey{0.5, 0.5, 0.5, 1};
    auto band = [grey](double t) { return view::panel_band_evaluate(grey, t); };
    auto bar = [grey](double t) { return view::panel_sidebar_evaluate(grey, t); };
    const double x = area.x, y = area.y, w = area.width;
    context.save_state();
    context.clip_to_rect(area);
    // A failure stops the drawing at that step.
    view::draw_axial_shading(context, {x, y}, {x + w, y}, band) &&
        view::draw_axial_shading(context, {x, y}, {x + 20, y}, bar) &&
        view::draw_axial_shading(context, {x + w - 20, y}, {x + w, y}, bar);
    context.restore_state();
}

const ui::Color &HF_Zentrova_Box::get_edge_color() {
    static const ui::Color edge{0, 0, 0, 0.25};
    return edge;
}

const ui::Color &HF_Zentrova_Box::get_shadow_color() {
    static const ui::Color highlight{1, 1, 1, 1};
    return highlight;
}

void HF_Zentrova_Box::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    const ui::Rect b = bounds();
    context.save_state();
    // A white shadow below and left of a faint dark line reads as an engraved edge.
    context.set_shadow(-0.75, -1.5, 1.5, get_shadow_color());
    context.begin_transparency_layer();
    draw_edge(context, {b.x + 4.5, b.y + 4.5, b.width - 9, b.height - 9});
    context.end_transparency_layer();
    context.restore_state();
}

void HF_Zentrova_Box::draw_edge(ui::GraphicsContext &context, const ui::Rect &r) {
    context.begin_path();
    add_rounded_rect_to_path(context, r, 20, 20);
    context.set_line_width(1.5);
    context.set_stroke_color(get_edge_color());
    context.stroke_path();
}

void HF_Zentrova_Box::add_rounded_rect_to_path(ui::GraphicsContext &context, const ui::Rect &r,
                                               float oval_width, float oval_height) {
    HF_Zentrova_Pop_Up_View::add_rounded_rect_to_path(context, r, oval_width, oval_height);
}
