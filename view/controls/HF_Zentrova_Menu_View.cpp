#include "view/controls/HF_Zentrova_Menu_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "ui/Window.h"
#include "view/controls/menu_steps.h"
#include "view/controls/shading_functions.h"

UI_REGISTER_CLASS(HF_Zentrova_Menu_View);

HF_Zentrova_Menu_View::~HF_Zentrova_Menu_View() {
    if (_alive) *_alive = nullptr;
}

void HF_Zentrova_Menu_View::initWithFrame(const ui::Rect &frame) {
    strip_control::initWithFrame(frame);
    title_string_attributes = {ui::Font::system(9), ui::TextAlignment::center, line_color};
    _alive = std::make_shared<HF_Zentrova_Menu_View *>(this);
}

void HF_Zentrova_Menu_View::set_menu_button(ui::PopUpButton *button) {
    if (button) menu_button = button;
}

void HF_Zentrova_Menu_View::append_item(const std::string &title) {
    if (menu_button) menu_button->add_item(title);
}

void HF_Zentrova_Menu_View::insert_item(const std::string &title, uint32_t index) {
    if (menu_button) menu_button->insert_item(title, index);
}

void HF_Zentrova_Menu_View::remove_all_items() {
    if (menu_button) menu_button->remove_all_items();
}

void HF_Zentrova_Menu_View::select_index(int32_t index) {
    if (menu_button) menu_button->select_item(index);
    setNeedsDisplay();
}

int32_t HF_Zentrova_Menu_View::indexOfSelectedItem() const {
    return menu_button ? menu_button->index_of_selected_item() : -1;
}

int32_t HF_Zentrova_Menu_View::numberOfItems() const {
    return menu_button ? menu_button->number_of_items() : 0;
}

void HF_Zentrova_Menu_View::set_colors_for_line(std::optional<ui::Color> color) {
    if (!color) return;
    title_string_attributes.color = line_color = *color;
    setNeedsDisplay();
}

void HF_Zentrova_Menu_View::send_callback() {
    if (menu_button) _callback.send(*this);
}

void HF_Zentrova_Menu_View::mouseDown(const ui::Event &e) {
    if (e.click_count == 2) {
        setNeedsDisplay();
        return;
    }
    mouse_is_down = true;
    const ui::Point p = convert_point_from_view(e.location_in_window, nullptr);
    if (_left_rect.contains(p)) {
        mouse_is_down_in_left = true;
        if (menu_button)
            menu_button->select_item(view::previous_item(indexOfSelectedItem(), numberOfItems()));
    } else if (_right_rect.contains(p)) {
        mouse_is_down_in_right = true;
        if (menu_button)
            menu_button->select_item(view::next_item(indexOfSelectedItem(), numberOfItems()));
    } else if (menu_button && window()) {
        // The list is not modal here: it stays open while events flow, and the callback goes out
        // when it closes, picked or dismissed, as it would after the platform's modal list.
        menu_button->pop_up_list(*window(), convert_rect_to_view(bounds(), nullptr),
                                 [alive = _alive](bool) {
                                     if (HF_Zentrova_Menu_View *menu = *alive) {
                                         menu->send_callback();
                                         menu->setNeedsDisplay();
                                     }
                                 });
        setNeedsDisplay();
        return;
    }
    send_callback();
    setNeedsDisplay();
}

void HF_Zentrova_Menu_View::mouseUp(const ui::Event &) {
    mouse_is_down = mouse_is_down_in_left = mouse_is_down_in_right = false;
    setNeedsDisplay();
}

void HF_Zentrova_Menu_View::draw_content(ui::GraphicsContext &context) {
    // Engraved dividers between the caps and the title: a dark line with a light one beside it.
    const double bottom = _left_rect.y, top = _left_rect.max_y();
    auto divider = [&](double x, const ui::Color &color) {
        context.begin_path();
        context.move_to({x, bottom});
        context.line_to({x, top});
        context.set_line_width(0.5);
        context.set_stroke_color(color);
        context.stroke_path();
    };
    divider(_left_rect.max_x() + 0.5, {0, 0, 0, 0.25});
    divider(_right_rect.x - 0.5, {0, 0, 0, 0.25});
    divider(_left_rect.max_x() + 1, {1, 1, 1, 0.25});
    divider(_right_rect.x - 1, {1, 1, 1, 0.25});

    if (menu_button)
        context.draw_text_in_rect(menu_button->title_of_selected_item(), _between_caps_rect,
                                  title_string_attributes);
}

view::two_color_info HF_Zentrova_Menu_View::cap_colors(view::strip_side side) const {
    const bool pressed =
        side == view::strip_side::left ? mouse_is_down_in_left : mouse_is_down_in_right;
    if (pressed) return {{0.0425, 0.0125, 0.0125, 1}, {0.93, 0.25, 0.25, 1}};
    return {{0.0125, 0.0125, 0.0425, 1}, {0.25, 0.25, 0.93, 1}};
}

// From the circle on the cap's inner edge, of the cap's width, to a point near its outer tip.
void HF_Zentrova_Menu_View::draw_cap(ui::GraphicsContext &context, view::strip_side side,
                                     ui::Point centre, ui::Point tip) {
    context.save_state();
    clip_to_cap(context, side);
    const double radius = (side == view::strip_side::left ? _left_rect : _right_rect).width;
    view::draw_radial_shading(context, centre, radius, tip, 0,
        [c = cap_colors(side)](double t) { return view::menu_cap_evaluate(c, t); });
    context.restore_state();
}

void HF_Zentrova_Menu_View::do_left_end_cap(ui::GraphicsContext &context) {
    const ui::Rect l = _left_rect;
    draw_cap(context, view::strip_side::left, {l.max_x(), l.mid_y()},
             {l.x + 0.05 * l.width, l.mid_y()});
}

void HF_Zentrova_Menu_View::do_right_end_cap(ui::GraphicsContext &context) {
    const ui::Rect r = _right_rect;
    draw_cap(context, view::strip_side::right, {r.x, r.mid_y()},
             {r.x + 0.95 * r.width, r.mid_y()});
}
