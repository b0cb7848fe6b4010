#include "view/controls/HF_Zentrova_Label_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"

UI_REGISTER_CLASS(HF_Zentrova_Label_View);
UI_REGISTER_CLASS(HF_Zentrova_Button_View);

void HF_Zentrova_Label_View::initWithFrame(const ui::Rect &frame) {
    strip_control::initWithFrame(frame);
    _info_string_attributes = {_font, ui::TextAlignment::center, _info_color};
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

void HF_Zentrova_Label_View::draw_content(ui::GraphicsContext &context) {
    context.draw_text_in_rect(_description, _between_caps_rect, _info_string_attributes);
}

void HF_Zentrova_Button_View::mouseDown(const ui::Event &) { _callback.send(*this); }
