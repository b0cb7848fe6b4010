#include "ui/PopUpButton.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "ui/TextField.h"

#include <algorithm>
#include <cmath>

namespace ui {

UI_REGISTER_CLASS_AS(View, "NSView");
UI_REGISTER_CLASS_AS(TextField, "NSTextField");
UI_REGISTER_CLASS_AS(PopUpButton, "NSPopUpButton");

void ItemList::set_items(std::vector<std::string> titles, int highlighted) {
    _items = std::move(titles);
    _highlighted = highlighted >= 0 && highlighted < int(_items.size()) ? highlighted : -1;
    setNeedsDisplay();
}

Rect ItemList::row_rect(int index) const {
    const Rect b = bounds();
    return {b.x, b.max_y() - padding - (index + 1) * row_height, b.width, row_height};
}

int ItemList::row_at(Point p) const {
    const Rect b = bounds();
    if (p.x < b.x || p.x >= b.max_x()) return -1;
    const double from_top = b.max_y() - padding - p.y;
    if (from_top < 0) return -1;
    const int row = int(std::floor(from_top / row_height));
    return row < int(_items.size()) ? row : -1;
}

void ItemList::drawRect(GraphicsContext &c, const Rect &) {
    c.set_fill_color({0.12, 0.12, 0.14, 0.96});
    c.begin_path();
    c.add_rounded_rect(bounds(), 8, 8);
    c.fill_path();
    for (int i = 0; i < int(_items.size()); ++i) {
        const Rect row = row_rect(i);
        if (i == _highlighted) {
            c.set_fill_color({0.25, 0.25, 0.93, 1});
            c.fill_rect(row.inset(2, 0));
        }
        const Rect text{row.x + 8, row.y + 2, row.width - 16, row.height - 3};
        c.draw_text_in_rect(_items[size_t(i)], text, attributes);
    }
}

void ItemList::mouseDown(const Event &e) { mouseMoved(e); }
void ItemList::mouseDragged(const Event &e) { mouseMoved(e); }

void ItemList::mouseMoved(const Event &e) {
    const int row = row_at(convert_point_from_view(e.location_in_window, nullptr));
    if (row >= 0 && row != _highlighted) {
        _highlighted = row;
        setNeedsDisplay();
    }
}

void ItemList::mouseUp(const Event &e) {
    const int row = row_at(convert_point_from_view(e.location_in_window, nullptr));
    if (row >= 0 && on_pick) {
        auto pick = on_pick;
        pick(row);
    }
}

void ItemList::keyDown(const Event &e) {
    const int n = int(_items.size());
    switch (e.key) {
    case Key::up:
        if (n) _highlighted = _highlighted <= 0 ? 0 : _highlighted - 1;
        break;
    case Key::down:
        if (n) _highlighted = std::min(n - 1, _highlighted + 1);
        break;
    case Key::return_key:
        if (_highlighted >= 0 && on_pick) {
            auto pick = on_pick;
            pick(_highlighted);
        }
        return;
    case Key::escape:
        if (on_dismiss) {
            auto dismiss = on_dismiss;
            dismiss();
        }
        return;
    default: return;
    }
    setNeedsDisplay();
}

PopUpButton::PopUpButton() = default;

PopUpButton::~PopUpButton() {
    // Closing on destruction tells nobody: the callback's owner is going away with us.
    _done = nullptr;
    _overlay.reset();
}

void PopUpButton::add_item(const std::string &title) { _items.push_back(title); }

void PopUpButton::insert_item(const std::string &title, size_t index) {
    _items.insert(_items.begin() + std::ptrdiff_t(std::min(index, _items.size())), title);
    if (_selected >= int(index)) ++_selected;
}

void PopUpButton::remove_all_items() {
    _items.clear();
    _selected = -1;
}

void PopUpButton::select_item(int index) { _selected = index >= 0 && index < int(_items.size()) ? index : -1; }

std::string PopUpButton::item_title(int index) const {
    return index >= 0 && index < int(_items.size()) ? _items[size_t(index)] : std::string();
}

void PopUpButton::pop_up_list(Window &window, const Rect &rect, std::function<void(bool)> done) {
    if (_overlay) close_list(false);
    const int n = int(_items.size());
    const double height = n * ItemList::row_height + 2 * ItemList::padding;
    const double width = std::max(rect.width, 60.0);
    // The selected row lies over the rectangle, as the platform places a pop-up menu; then the
    // whole list is moved inside the window.
    const int row = std::max(0, _selected);
    double top = rect.mid_y() + ItemList::row_height / 2 + ItemList::padding + row * ItemList::row_height;
    const Size ws = window.content_size();
    top = std::clamp(top, std::min(height, ws.height), ws.height);
    const double x = std::clamp(rect.x, 0.0, std::max(0.0, ws.width - width));
    const Rect frame{x, top - height, width, height};

    _done = std::move(done);
    _overlay = std::make_unique<Overlay>(frame);
    auto list = std::make_unique<ItemList>();
    list->initWithFrame({0, 0, frame.width, frame.height});
    list->set_items(_items, _selected);
    list->on_pick = [this](int index) {
        select_item(index);
        close_list(true);
    };
    list->on_dismiss = [this] { close_list(false); };
    _list = list.get();
    _overlay->set_content_view(std::move(list));
    _overlay->make_first_responder(_list);
    _overlay->on_resign_key = [this](Overlay &) { close_list(false); };
    window.add_child_overlay(*_overlay);
    _overlay->make_key();
}

void PopUpButton::close_list(bool picked) {
    if (!_overlay) return;
    // Take everything first: the callback may reopen the list or destroy this button.
    std::unique_ptr<Overlay> overlay = std::move(_overlay);
    _list = nullptr;
    auto done = std::move(_done);
    _done = nullptr;
    overlay->on_resign_key = nullptr;
    overlay.reset();
    if (done) done(picked);
}

}  // namespace ui
