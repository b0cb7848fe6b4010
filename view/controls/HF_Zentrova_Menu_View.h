// A choice among named items, for the editor's indexed parameters. Its end caps step to the
// previous or next item with wrap-around; its middle pops up the whole list. The items and the
// selection live in a hidden pop-up button (the item store) that the menu drives; the menu's value
// is the store's selected index. [UI thread]
#pragma once

#include "ui/PopUpButton.h"
#include "ui/Text.h"
#include "view/controls/control_support.h"
#include "view/controls/strip_control.h"

#include <cstdint>
#include <optional>
#include <string>

class HF_Zentrova_Menu_View : public view::strip_control {
public:
    using callback = view::control_callback<HF_Zentrova_Menu_View>;
    // Wide caps (they are buttons), the band between them.
    HF_Zentrova_Menu_View() : strip_control({.cap_width = 15, .left_cap_first = true}) {}
    ~HF_Zentrova_Menu_View() override;

    // The item store; not owned (the interface description places it, hidden). Ignored when null.
    void set_menu_button(ui::PopUpButton *button);
    ui::PopUpButton *menu_button_store() const { return menu_button; }
    // Forwarded to the store; nothing without one.
    void append_item(const std::string &title);
    void insert_item(const std::string &title, uint32_t index);
    void remove_all_items();
    void select_index(int32_t index);
    int32_t indexOfSelectedItem() const;  // -1 without a store
    int32_t numberOfItems() const;        // 0 without a store
    void set_colors_for_line(std::optional<ui::Color> color);
    // The title's colour (named apart from the field `line_color` it reads).
    ui::Color color_for_line() const { return line_color; }
    void set_callback(callback::selector selector, ui::Object *host) {
        _callback.set(std::move(selector), host);
    }

    void initWithFrame(const ui::Rect &frame) override;
    void mouseDown(const ui::Event &e) override;
    void mouseUp(const ui::Event &e) override;
    // Radial caps that glow blue at their outer tip, red while pressed.
    void do_left_end_cap(ui::GraphicsContext &context) override;
    void do_right_end_cap(ui::GraphicsContext &context) override;
    view::two_color_info cap_colors(view::strip_side side) const override;

    bool is_left_pressed() const { return mouse_is_down_in_left; }
    bool is_right_pressed() const { return mouse_is_down_in_right; }

protected:
    // Engraved dividers beside the caps and the selected item's title between them.
    void draw_content(ui::GraphicsContext &context) override;

private:
    void send_callback();
    void draw_cap(ui::GraphicsContext &context, view::strip_side side, ui::Point centre,
                  ui::Point tip);

    bool mouse_is_down = false;
    bool mouse_is_down_in_left = false;
    bool mouse_is_down_in_right = false;
    ui::PopUpButton *menu_button = nullptr;
    ui::Color line_color = ui::Color::black();
    callback _callback;
    ui::TextAttributes title_string_attributes;
    // Cleared when the menu goes away, so an item list still open cannot call back into it.
    std::shared_ptr<HF_Zentrova_Menu_View *> _alive;
};
