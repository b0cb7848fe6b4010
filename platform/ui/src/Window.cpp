#include "ui/Window.h"

#include "ui/GraphicsContext.h"
#include "ui/Overlay.h"
#include "ui/View.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace ui {

namespace {
// The shadow every overlay casts, down from a light above (it must stay within shadow_margin).
constexpr double overlay_shadow_blur = 6;
constexpr double overlay_shadow_dy = -3;
constexpr double overlay_shadow_margin = Overlay::shadow_margin;
}  // namespace

Window::Window(Size size) : _size(size) {}

Window::~Window() {
    // Overlays outlive no parent: detach them (their owners still destroy them).
    for (Overlay *o : std::vector<Overlay *>(_overlays)) remove_child_overlay(*o);
    if (_content && !_owned_content && _content->window() == this) _content->set_root_window(nullptr);
    _owned_content.reset();
}

void Window::release_content(View &view) {
    if (_content != &view) return;
    forget_view(&view);
    _content = nullptr;
    // An owned view handed to another window by reference stays alive with its new window only
    // if someone owns it; this window gives up the pointer but keeps ownership until it goes.
    if (_owned_content) _orphans.push_back(std::move(_owned_content));
    view.set_root_window(nullptr);
    mark_all_needs_display();
}

View *Window::set_content_view(std::unique_ptr<View> view) {
    View *v = view.get();
    if (!v) return nullptr;
    set_content_view(*v);
    _owned_content = std::move(view);
    return v;
}

void Window::set_content_view(View &view) {
    if (&view == _content) return;
    // A view is in one window at a time (the shared entry view moves between overlays): take it
    // from its superview or from the window it is the content of.
    std::unique_ptr<View> taken;
    if (view.superview())
        taken = view.remove_from_superview();
    else if (Window *other = view.window(); other && other != this)
        other->release_content(view);
    if (View *old = _content) {
        forget_view(old);
        old->set_root_window(nullptr);
        _owned_content.reset();
    }
    _content = &view;
    if (taken) _owned_content = std::move(taken);
    view.set_root_window(this);
    view.set_frame({0, 0, _size.width, _size.height});
    mark_all_needs_display();
}

void Window::set_content_size(Size size) {
    _size = size;
    if (_content) _content->set_frame({0, 0, size.width, size.height});
    mark_all_needs_display();
}

bool Window::make_first_responder(View *view) {
    if (view == _first_responder) return true;
    if (view && (!view->acceptsFirstResponder() || view->window() != this)) return false;
    View *old = _first_responder;
    _first_responder = view;
    if (old) old->resignFirstResponder();
    if (view) view->becomeFirstResponder();
    return true;
}

void Window::add_child_overlay(Overlay &overlay) {
    if (overlay._parent == this) return;
    if (overlay._parent) overlay._parent->remove_child_overlay(overlay);
    overlay._parent = this;
    _overlays.push_back(&overlay);
    overlay.mark_all_needs_display();
}

void Window::remove_child_overlay(Overlay &overlay) {
    if (overlay._parent != this) return;
    mark_needs_display(overlay.frame().inset(-overlay_shadow_margin, -overlay_shadow_margin));
    _overlays.erase(std::remove(_overlays.begin(), _overlays.end(), &overlay), _overlays.end());
    overlay._parent = nullptr;
    if (_mouse_window == &overlay) _mouse_window = nullptr;
    // Removing the key overlay gives the keys back to this window without a resign callback: the
    // overlay is closing on its owner's word, not losing focus.
    if (_key_overlay == &overlay) _key_overlay = nullptr;
}

void Window::make_key_overlay(Overlay *overlay) {
    if (overlay && (overlay->_parent != this || !overlay->canBecomeKeyWindow())) return;
    Overlay *old = _key_overlay;
    if (old == overlay) return;
    _key_overlay = overlay;
    if (old && old->on_resign_key) {
        // The callback may destroy the overlay (and with it the callback): call a copy.
        auto resign = old->on_resign_key;
        resign(*old);
    }
}

void Window::mark_needs_display(const Rect &r) {
    assert(std::this_thread::get_id() == _thread && "views are marked on the UI thread only");
    Rect clipped = r.intersection({0, 0, _size.width, _size.height});
    if (clipped.is_empty()) return;
    _dirty = _dirty.union_with(clipped);
    needs_display_changed();
}

void Window::mark_all_needs_display() { mark_needs_display({0, 0, _size.width, _size.height}); }

namespace {
void draw_tree(View &v, GraphicsContext &c, const Rect &dirty_in_superview) {
    if (v.is_hidden()) return;
    const Rect frame = v.frame();
    const Rect visible = frame.intersection(dirty_in_superview);
    if (visible.is_empty()) return;
    const Rect bounds = v.bounds();
    const Rect dirty{visible.x - frame.x + bounds.x, visible.y - frame.y + bounds.y, visible.width, visible.height};
    c.save_state();
    c.translate(frame.x - bounds.x, frame.y - bounds.y);
    c.clip_to_rect(dirty);
    c.save_state();
    v.drawRect(c, dirty);
    c.restore_state();
    for (View *sub : v.subviews()) draw_tree(*sub, c, dirty);
    c.restore_state();
}
}  // namespace

void Window::draw(GraphicsContext &c, const Rect &dirty) {
    if (_background.alpha > 0) {
        c.set_fill_color(_background);
        c.fill_rect(dirty);
    }
    if (_content) draw_tree(*_content, c, dirty);
    for (Overlay *o : _overlays) {
        const Rect f = o->frame();
        if (f.inset(-overlay_shadow_margin, -overlay_shadow_margin).intersection(dirty).is_empty()) continue;
        c.save_state();
        c.translate(f.x, f.y);
        if (o->has_shadow()) c.set_shadow(0, overlay_shadow_dy, overlay_shadow_blur, {0, 0, 0, 0.5});
        c.begin_transparency_layer();
        c.clip_to_rect({0, 0, f.width, f.height});
        o->draw(c, {0, 0, f.width, f.height});
        c.end_transparency_layer();
        c.restore_state();
        o->clear_dirty();
    }
}

Overlay *Window::overlay_at(Point p) {
    for (auto it = _overlays.rbegin(); it != _overlays.rend(); ++it)
        if ((*it)->frame().contains(p)) return *it;
    return nullptr;
}

void Window::forget_view(View *view) {
    // An unowned content view destroyed before its window leaves it empty, not dangling.
    if (view == _content && !_owned_content) _content = nullptr;
    if (_mouse_view && _mouse_view->is_descendant_of(view)) _mouse_view = nullptr;
    if (_first_responder && _first_responder->is_descendant_of(view)) _first_responder = nullptr;
}

void Window::send_event(const Event &event) {
    assert(std::this_thread::get_id() == _thread && "events are delivered on the UI thread only");
    Event e = event;
    const Point p = e.location_in_window;
    if (e.type == EventType::mouse_dragged || e.type == EventType::mouse_moved) {
        // The platform's drag deltas: x to the right, y DOWNWARD.
        e.delta_x = p.x - _last_pointer.x;
        e.delta_y = -(p.y - _last_pointer.y);
    }
    if (e.type != EventType::key_down) _last_pointer = p;

    auto forward = [&](Window &to) {
        Event inner = e;
        const Rect f = static_cast<Overlay &>(to).frame();
        inner.location_in_window = {p.x - f.x, p.y - f.y};
        to._last_pointer = inner.location_in_window;
        to.send_event(inner);
    };
    auto hit = [&]() -> View * { return _content ? _content->hit_test(p) : nullptr; };

    switch (e.type) {
    case EventType::mouse_down: {
        _mouse_view = nullptr;
        _mouse_window = nullptr;
        _moving_window = false;
        if (Overlay *o = overlay_at(p)) {
            if (_key_overlay != o) make_key_overlay(o->canBecomeKeyWindow() ? o : nullptr);
            // The resign callback of another overlay must not have closed this one; check.
            if (std::find(_overlays.begin(), _overlays.end(), o) == _overlays.end()) return;
            _mouse_window = o;
            forward(*o);
            return;
        }
        // A press outside every overlay takes the keys back (the key overlay resigns, and usually
        // closes), and then reaches the view under it as any press would.
        if (_key_overlay) make_key_overlay(nullptr);
        if (View *v = hit()) {
            _mouse_window = this;
            _mouse_view = v;
            if (v->acceptsFirstResponder()) make_first_responder(v);
            const size_t overlays = _overlays.size();
            v->mouseDown(e);
            // The view may have gone (forget_view clears _mouse_view) or opened an overlay, whose
            // list then wants the drags: only an untouched background press moves the window.
            if (_movable_by_background && _mouse_view == v && _overlays.size() == overlays &&
                v->mouseDownCanMoveWindow() && begin_window_move(e))
                _moving_window = true;
        }
        return;
    }
    case EventType::mouse_dragged:
    case EventType::mouse_up:
        if (_mouse_window && _mouse_window != this) {
            Window *w = _mouse_window;
            if (e.type == EventType::mouse_up) _mouse_window = nullptr;
            forward(*w);
            return;
        }
        if (_moving_window) {
            if (e.type == EventType::mouse_dragged) {
                continue_window_move(e);
                return;
            }
            _moving_window = false;
        }
        if (View *v = _mouse_view) {
            if (e.type == EventType::mouse_up) _mouse_view = nullptr;
            if (e.type == EventType::mouse_up)
                v->mouseUp(e);
            else
                v->mouseDragged(e);
        }
        return;
    case EventType::mouse_moved:
    case EventType::scroll_wheel:
        if (Overlay *o = overlay_at(p)) {
            forward(*o);
            return;
        }
        if (View *v = hit()) {
            if (e.type == EventType::scroll_wheel)
                v->scrollWheel(e);
            else
                v->mouseMoved(e);
        }
        return;
    case EventType::key_down:
        if (_key_overlay) {
            _key_overlay->send_event(e);
            return;
        }
        if (_first_responder) _first_responder->keyDown(e);
        return;
    }
}

Event Window::synthetic_event(EventType type, Point p, unsigned modifiers) {
    Event e;
    e.type = type;
    e.location_in_window = p;
    e.modifiers = modifiers;
    // Synthetic events are spaced well apart, so a click's count is what the caller says.
    _clock += 1.0;
    e.timestamp = _clock;
    return e;
}

void Window::mouse_down(Point p, int clicks, unsigned modifiers) {
    Event e = synthetic_event(EventType::mouse_down, p, modifiers);
    e.click_count = clicks;
    send_event(e);
}

void Window::mouse_dragged(Point p, unsigned modifiers) {
    send_event(synthetic_event(EventType::mouse_dragged, p, modifiers));
}

void Window::mouse_up(Point p, unsigned modifiers) { send_event(synthetic_event(EventType::mouse_up, p, modifiers)); }

void Window::mouse_moved(Point p) { send_event(synthetic_event(EventType::mouse_moved, p)); }

void Window::click(Point p, int clicks) {
    mouse_down(p, clicks);
    mouse_up(p);
}

void Window::double_click(Point p) {
    click(p, 1);
    click(p, 2);
}

void Window::drag(Point from, Point to, int steps) {
    mouse_down(from);
    steps = std::max(1, steps);
    for (int i = 1; i <= steps; ++i)
        mouse_dragged({from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps});
    mouse_up(to);
}

void Window::scroll_wheel(Point p, double dx, double dy) {
    Event e = synthetic_event(EventType::scroll_wheel, p);
    e.delta_x = dx;
    e.delta_y = dy;
    send_event(e);
}

void Window::key_down(Key key, const std::string &characters, unsigned modifiers) {
    Event e = synthetic_event(EventType::key_down, {}, modifiers);
    e.key = key;
    e.characters = characters;
    send_event(e);
}

void Window::type_text(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        // One UTF-8 sequence per key.
        size_t n = 1;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xF0)
            n = 4;
        else if (c >= 0xE0)
            n = 3;
        else if (c >= 0xC0)
            n = 2;
        key_down(Key::character, text.substr(i, n));
        i += n;
    }
}

}  // namespace ui
