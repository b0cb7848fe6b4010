#include "view/controls/HF_Zentrova_Label_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "view/controls/shading_functions.h"

UI_REGISTER_CLASS(HF_Zentrova_Label_View);
UI_REGISTER_CLASS(HF_Zentrova_Button_View);

namespace {
const view::two_color_info cap_colors{{0, 0, 0, 1}, {0.25, 0.25, 0.25, 1}};
}

void HF_Zentrova_Label_View::initWithFrame(const ui::Rect &frame) {
    View::initWithFrame(frame);
    const ui::Rect b = bounds();
    _body_rect = b;
    _left_rect = {b.x, b.y, 5, b.height};
    _right_rect = {b.x + b.width - 5, b.y, 5, b.height};
    _info_rect = {b.x + 5, b.y, b.width - 10, b.height};
    _info_string_attributes = {_font, ui::TextAlignment::center, _info_color};
    setNeedsDisplay();
}

void HF_Zentrova_Label_View::set_description(std::optional<std::string> text) {
    if (!text) return;
    _description = std::move(*text);
    setNeedsDisplay();
}

void HF_Zentrova_Label_View::set_colors_for_info(std::optional<ui::Color> info) {
    if (info) _info_string_attributes.color = _info_color = *info;
    setNeedsDisplay();
}

void HF_Zentrova_Label_View::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    do_body_panel(context);
    do_right_end_cap(context);
    do_left_end_cap(context);
    context.draw_text_in_rect(_description, _info_rect, _info_string_attributes);
    do_shine(context);
}

void HF_Zentrova_Label_View::do_body_panel(ui::GraphicsContext &context) {
    view::draw_strip_body(context, _info_rect);
}

void HF_Zentrova_Label_View::do_left_end_cap(ui::GraphicsContext &context) {
    view::draw_left_end_cap(context, _left_rect,
                            [](double t) { return view::end_cap_evaluate(cap_colors, t); });
}

void HF_Zentrova_Label_View::do_right_end_cap(ui::GraphicsContext &context) {
    view::draw_right_end_cap(context, _right_rect,
                             [](double t) { return view::end_cap_evaluate(cap_colors, t); });
}

void HF_Zentrova_Label_View::do_shine(ui::GraphicsContext &context) {
    view::draw_strip_shine(context, _body_rect, _shine_alpha);
}

void HF_Zentrova_Button_View::mouseDown(const ui::Event &) { _callback.send(*this); }
