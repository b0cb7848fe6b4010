// Static captions ("Mix", "Filters", ...) and the title button: a dark strip with rounded end
// caps, centred text and a glass highlight, the same look as the parameter controls. The button
// is a label that also calls back on every press (each press of a double click too).
// [UI thread]
#pragma once

#include "ui/Text.h"
#include "view/controls/control_support.h"
#include "view/controls/strip_control.h"

#include <optional>
#include <string>

class HF_Zentrova_Label_View : public view::strip_control {
public:
    HF_Zentrova_Label_View() : HF_Zentrova_Label_View(ui::Font::system(9), 1.0) {}

    void set_description(std::optional<std::string> text);  // none leaves the caption
    const std::string &description() const { return _description; }
    // A colour replaces the text colour; none leaves it. Redraws either way.
    void set_colors_for_info(std::optional<ui::Color> info);
    ui::Color info_color() const { return _info_color; }

    void initWithFrame(const ui::Rect &frame) override;
    ui::Rect info_rect() const { return _between_caps_rect; }

protected:
    HF_Zentrova_Label_View(ui::Font font, double shine_alpha)
        : strip_control({.shine_alpha = shine_alpha}), _font(std::move(font)) {}
    // The caption, centred between the caps.
    void draw_content(ui::GraphicsContext &context) override;

private:
    ui::Color _info_color = ui::Color::platform_blue();
    ui::TextAttributes _info_string_attributes;
    std::string _description = "---";
    ui::Font _font;
};

class HF_Zentrova_Button_View : public HF_Zentrova_Label_View {
public:
    using callback = view::control_callback<HF_Zentrova_Button_View>;

    // The platform's title-bar font, and a highlight a touch fainter than the label's.
    HF_Zentrova_Button_View() : HF_Zentrova_Label_View(ui::Font::bold_system(12), 0.99) {}

    void set_callback(callback::selector selector, ui::Object *host) {
        _callback.set(std::move(selector), host);
    }
    void mouseDown(const ui::Event &e) override;

private:
    callback _callback;
};
