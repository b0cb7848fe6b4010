// The item store of a menu (a hidden pop-up button) and the item list it pops up.
#pragma once

#include "ui/Overlay.h"
#include "ui/Text.h"
#include "ui/View.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// The list inside the pop-up overlay: one row per item, the row under the pointer highlighted,
// a click or Return picks it, Escape dismisses. Up/Down move the highlight.
class ItemList : public View {
public:
    static constexpr double row_height = 18;
    static constexpr double padding = 4;

    void set_items(std::vector<std::string> titles, int highlighted);
    const std::vector<std::string> &items() const { return _items; }
    int highlighted() const { return _highlighted; }
    // The row's rectangle in this view's coordinates (row 0 at the top).
    Rect row_rect(int index) const;
    int row_at(Point p) const;  // -1 outside the rows

    std::function<void(int index)> on_pick;
    std::function<void()> on_dismiss;

    TextAttributes attributes{Font::system(11), TextAlignment::left, Color::white()};

    void drawRect(GraphicsContext &context, const Rect &dirty) override;
    void mouseDown(const Event &e) override;
    void mouseDragged(const Event &e) override;
    void mouseUp(const Event &e) override;
    void mouseMoved(const Event &e) override;
    void keyDown(const Event &e) override;
    bool acceptsFirstResponder() const override { return true; }
    bool mouseDownCanMoveWindow() const override { return false; }

private:
    std::vector<std::string> _items;
    int _highlighted = -1;
};

class PopUpButton : public View {
public:
    PopUpButton();
    ~PopUpButton() override;

    void add_item(const std::string &title);
    void insert_item(const std::string &title, size_t index);  // index past the end appends
    void remove_all_items();
    void select_item(int index);  // out of range selects nothing (-1)
    int index_of_selected_item() const { return _selected; }
    int number_of_items() const { return int(_items.size()); }
    std::string item_title(int index) const;
    std::string title_of_selected_item() const { return item_title(_selected); }

    // Pops the item list up in `window` over `rect` (window coordinates), the selected row on the
    // rectangle, kept inside the window. `done` runs once: with true after a pick (the pick is
    // already the selection), with false after a dismissal (click outside, Escape, focus lost).
    void pop_up_list(Window &window, const Rect &rect, std::function<void(bool picked)> done);
    bool is_list_open() const { return _overlay != nullptr; }
    // The open list (for tests and for drawing options); null when closed.
    ItemList *open_list() const { return _list; }
    Overlay *open_overlay() const { return _overlay.get(); }

    void drawRect(GraphicsContext &, const Rect &) override {}  // hidden: draws nothing

private:
    void close_list(bool picked);
    std::vector<std::string> _items;
    int _selected = -1;
    std::unique_ptr<Overlay> _overlay;
    ItemList *_list = nullptr;
    std::function<void(bool)> _done;
};

}  // namespace ui
