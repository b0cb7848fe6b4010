#include "ui/Overlay.h"

namespace ui {

Overlay::Overlay(const Rect &frame) : Window(frame.size()), _frame(frame) { set_background_color(Color::clear()); }

Overlay::~Overlay() {
    if (_parent) _parent->remove_child_overlay(*this);
}

void Overlay::set_frame(const Rect &frame) {
    if (_parent) _parent->mark_needs_display(_frame.inset(-shadow_margin, -shadow_margin));
    _frame = frame;
    set_content_size(frame.size());
}

bool Overlay::is_key() const { return _parent && _parent->key_overlay() == this; }

void Overlay::make_key() {
    if (_parent) _parent->make_key_overlay(this);
}

double Overlay::scale_factor() const { return _parent ? _parent->scale_factor() : 1.0; }

Point Overlay::origin_in_top_level() const {
    Point o = _parent ? _parent->origin_in_top_level() : Point{};
    return {o.x + _frame.x, o.y + _frame.y};
}

Window *Overlay::top_level() { return _parent ? _parent->top_level() : this; }

void Overlay::needs_display_changed() {
    // An overlay has no pixels of its own: its parent redraws the region, shadow included.
    if (_parent)
        _parent->mark_needs_display(dirty_rect().offset(_frame.x, _frame.y).inset(-shadow_margin, -shadow_margin));
}

}  // namespace ui
