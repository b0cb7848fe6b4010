#include "view/editor/HF_Zentrova_Color_Well.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"

namespace {

constexpr double caption_height = 14;

}  // namespace

void HF_Zentrova_Color_Well::set_color(const ui::Color &color) {
    _color = color;
    setNeedsDisplay();
}

void HF_Zentrova_Color_Well::set_active(bool active) {
    _active = active;
    setNeedsDisplay();
}

void HF_Zentrova_Color_Well::set_described_string(const std::string &key, const std::string &value) {
    if (key == "caption") _caption = value;
}

void HF_Zentrova_Color_Well::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    const ui::Rect b = bounds();
    const ui::Rect swatch{b.x + 2, b.y + caption_height + 2, b.width - 4, b.height - caption_height - 4};
    context.save_state();
    context.add_rounded_rect(swatch, 8, 8);
    context.set_fill_color(_color);
    context.set_stroke_color(_active ? ui::Color{1, 1, 1, 0.95} : ui::Color{0, 0, 0, 0.6});
    context.set_line_width(_active ? 2.5 : 1);
    context.fill_then_stroke_path();
    context.restore_state();
    context.draw_text_in_rect(_caption, {b.x, b.y, b.width, caption_height},
                              {ui::Font::system(10), ui::TextAlignment::center, ui::Color{0.9, 0.9, 0.9, 1}});
}

void HF_Zentrova_Color_Well::mouseDown(const ui::Event &) {
    if (on_activate) on_activate(*this);
}

UI_REGISTER_CLASS(HF_Zentrova_Color_Well);
