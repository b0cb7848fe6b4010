// One continuous parameter of the editor: a strip with rounded end caps showing the parameter's
// name in its upper half and its value ("%1.4f") in its lower half. A click selects it (the big
// knob then edits it), a drag or the wheel changes it, a double click opens the typed-entry box.
// Values are held in parameter units; the scale type shapes only the drag and scroll steps.
// [UI thread]
#pragma once

#include "ui/Text.h"
#include "view/controls/HF_Zentrova_Pop_Up_View.h"
#include "view/controls/HF_Zentrova_Pop_Up_Window.h"
#include "view/controls/control_support.h"
#include "view/controls/strip_control.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class HF_Zentrova_Parameter_Control_View : public view::strip_control {
public:
    using callback = view::control_callback<HF_Zentrova_Parameter_Control_View>;
    // The band runs under the caps too; the highlight lies between them.
    HF_Zentrova_Parameter_Control_View()
        : strip_control({.body_panel = span::whole, .shine = span::between_caps}) {}
    ~HF_Zentrova_Parameter_Control_View() override;

    void set_values_minimum(double minimum, double maximum, double default_value,
                            int32_t scale_type);
    void set_current_value(double value);  // clamped; no callback
    double current_value() const { return _value; }
    double default_value() const { return _default_value; }
    double minimum_value() const { return _minimum_value; }
    double maximum_value() const { return _maximum_value; }
    int32_t scale_type() const { return _scale_type; }
    void set_parameter_number(uint32_t number);
    uint32_t parameter_number() const { return _parameter_number; }
    void set_description(std::optional<std::string> text);
    const std::string &description() const { return _description; }
    void set_selected(bool selected);
    bool is_selected() const { return _is_selected; }
    void set_colors_for_readout(std::optional<ui::Color> readout, std::optional<ui::Color> info);
    ui::Color readout_color() const { return _readout_color; }
    ui::Color info_color() const { return _info_color; }
    void set_callback(callback::selector selector, ui::Object *host) {
        _callback.set(std::move(selector), host);
    }
    void set_selection_callback(callback::selector selector, ui::Object *host) {
        _selection_callback.set(std::move(selector), host);
    }
    // The shared entry box; not owned (the editor holds it). Ignored when null.
    void set_pop_up_view(HF_Zentrova_Pop_Up_View *entry);

    // From the entry box: apply its value (clamped), call back, close the box.
    void pop_up_done_editing(HF_Zentrova_Pop_Up_View *sender);
    // The entry box lost the keyboard: close it, keeping the value.
    void windowDidResignKey();
    // The open entry box, or null.
    HF_Zentrova_Pop_Up_Window *pop_up_window() const { return _pop_up_window.get(); }

    void initWithFrame(const ui::Rect &frame) override;
    void mouseDown(const ui::Event &e) override;
    void mouseDragged(const ui::Event &e) override;
    void mouseUp(const ui::Event &e) override;
    void scrollWheel(const ui::Event &e) override;
    // Lit green at their inner edge while the control is selected.
    view::two_color_info cap_colors(view::strip_side side) const override;

    ui::Rect readout_rect() const { return _readout_rect; }
    ui::Rect info_rect() const { return _info_rect; }

protected:
    // The value in the lower half, the name in the upper half.
    void draw_content(ui::GraphicsContext &context) override;

private:
    void open_pop_up_window();
    void close_pop_up_window();

    bool _mouse_is_down = false;
    bool _is_selected = false;
    ui::Rect _readout_rect, _info_rect;
    ui::Color _readout_color = ui::Color::platform_yellow();
    ui::Color _info_color = ui::Color::platform_blue();
    callback _callback;
    callback _selection_callback;
    ui::TextAttributes _readout_string_attributes;
    ui::TextAttributes _info_string_attributes;
    double _value = 0, _default_value = 0, _minimum_value = 0, _maximum_value = 1;
    int32_t _scale_type = 0;
    std::string _description = "---";
    uint32_t _parameter_number = 0;
    HF_Zentrova_Pop_Up_View *_pop_up_view = nullptr;
    std::unique_ptr<HF_Zentrova_Pop_Up_Window> _pop_up_window;
};
