#include "view/controls/HF_Zentrova_Parameter_Control_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "ui/Window.h"
#include "view/controls/scale_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

UI_REGISTER_CLASS(HF_Zentrova_Parameter_Control_View);

namespace {

// An entry window closed from inside its own event handling (Return in its field, or its loss of
// focus) waits here until the next one opens, so it is never destroyed while the toolkit is still
// delivering that event.
std::unique_ptr<HF_Zentrova_Pop_Up_Window> &closed_pop_up_window() {
    static std::unique_ptr<HF_Zentrova_Pop_Up_Window> window;
    return window;
}

}  // namespace

HF_Zentrova_Parameter_Control_View::~HF_Zentrova_Parameter_Control_View() {
    close_pop_up_window();
}

void HF_Zentrova_Parameter_Control_View::initWithFrame(const ui::Rect &frame) {
    strip_control::initWithFrame(frame);
    const ui::Rect b = bounds();
    _readout_rect = {b.x + 5, b.y, b.width - 10, b.height / 2};
    _info_rect = {b.x + 5, b.y + b.height / 2, b.width - 10, b.height / 2};
    _readout_string_attributes = {ui::Font::system(9), ui::TextAlignment::center, _readout_color};
    _info_string_attributes = {ui::Font::system(9), ui::TextAlignment::center, _info_color};
}

void HF_Zentrova_Parameter_Control_View::set_values_minimum(double minimum, double maximum,
                                                            double default_value,
                                                            int32_t scale_type) {
    if (maximum < minimum) minimum = maximum;
    _minimum_value = minimum;
    _maximum_value = maximum;
    _default_value = std::clamp(default_value, minimum, maximum);
    _value = std::clamp(_value, minimum, maximum);
    _scale_type = scale_type;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_current_value(double value) {
    // A value that is not a number would stick (every clamp keeps it) and be written on to the
    // effect at the next step: keep the last real value instead.
    if (std::isnan(value)) return;
    _value = std::clamp(value, _minimum_value, _maximum_value);
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_parameter_number(uint32_t number) {
    _parameter_number = number;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_description(std::optional<std::string> text) {
    if (text) _description = std::move(*text);
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_selected(bool selected) {
    _is_selected = selected;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_colors_for_readout(std::optional<ui::Color> readout,
                                                                std::optional<ui::Color> info) {
    if (readout) _readout_string_attributes.color = _readout_color = *readout;
    if (info) _info_string_attributes.color = _info_color = *info;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::set_pop_up_view(HF_Zentrova_Pop_Up_View *entry) {
    if (entry) _pop_up_view = entry;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::mouseDown(const ui::Event &e) {
    if (e.click_count == 2) {
        if (_pop_up_view) open_pop_up_window();
        return;
    }
    _mouse_is_down = true;
    if (_is_selected) return;
    _is_selected = true;
    _selection_callback.send(*this);
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::mouseDragged(const ui::Event &e) {
    set_current_value(view::drag_value(_value, _minimum_value, _maximum_value, _scale_type,
                                       e.delta_x, e.delta_y));
    _callback.send(*this);
}

void HF_Zentrova_Parameter_Control_View::mouseUp(const ui::Event &) {
    _mouse_is_down = false;
    setNeedsDisplay();
}

void HF_Zentrova_Parameter_Control_View::scrollWheel(const ui::Event &e) {
    set_current_value(view::scroll_value(_value, _minimum_value, _maximum_value, _scale_type,
                                         e.delta_x, e.delta_y));
    _callback.send(*this);
}

void HF_Zentrova_Parameter_Control_View::open_pop_up_window() {
    ui::Window *editor = window();
    if (!editor) return;
    close_pop_up_window();
    closed_pop_up_window().reset();

    // The box's lower-left corner sits on the control's.
    const ui::Rect in_window = convert_rect_to_view(bounds(), nullptr);
    const ui::Size size = _pop_up_view->bounds().size();
    _pop_up_view->set_current_value(_value);
    _pop_up_view->set_format_minimum(static_cast<float>(_minimum_value),
                                     static_cast<float>(_maximum_value));
    _pop_up_view->set_callback(view::selector(&HF_Zentrova_Parameter_Control_View::pop_up_done_editing),
                               this);

    _pop_up_window = std::make_unique<HF_Zentrova_Pop_Up_Window>(
        ui::Rect{in_window.x, in_window.y, size.width, size.height});
    _pop_up_window->set_content_view(*_pop_up_view);
    _pop_up_window->on_resign_key = [this](ui::Overlay &) { windowDidResignKey(); };
    editor->add_child_overlay(*_pop_up_window);
    if (ui::TextField *field = _pop_up_view->entry_field()) {
        // Escape gives up the entry as a click elsewhere does.
        field->cancel_action = [this](ui::TextField &) { windowDidResignKey(); };
        _pop_up_window->make_first_responder(field);
    }
    _pop_up_window->make_key();
}

void HF_Zentrova_Parameter_Control_View::close_pop_up_window() {
    if (!_pop_up_window) return;
    // Detach without hearing our own resignation and hand the shared entry view back (an empty
    // view takes its place), then keep the window until it is safe to free.
    _pop_up_window->on_resign_key = nullptr;
    if (ui::Window *parent = _pop_up_window->parent_window())
        parent->remove_child_overlay(*_pop_up_window);
    _pop_up_window->set_content_view(std::make_unique<ui::View>());
    closed_pop_up_window() = std::move(_pop_up_window);
}

void HF_Zentrova_Parameter_Control_View::pop_up_done_editing(HF_Zentrova_Pop_Up_View *sender) {
    set_current_value(sender->current_value());
    _callback.send(*this);
    close_pop_up_window();
}

void HF_Zentrova_Parameter_Control_View::windowDidResignKey() {
    close_pop_up_window();
}

view::two_color_info HF_Zentrova_Parameter_Control_View::cap_colors(view::strip_side side) const {
    if (_is_selected) return {{0.15, 0.75, 0.15, 1}, {0, 0, 0, 1}};
    return strip_control::cap_colors(side);
}

void HF_Zentrova_Parameter_Control_View::draw_content(ui::GraphicsContext &context) {
    char text[64];
    std::snprintf(text, sizeof text, "%1.4f", _value);
    context.draw_text_in_rect(text, _readout_rect, _readout_string_attributes);
    context.draw_text_in_rect(_description, _info_rect, _info_string_attributes);
}
