#include "ui/View.h"

#include "ui/GraphicsContext.h"
#include "ui/Window.h"

#include <algorithm>

namespace ui {

View::View() = default;

View::~View() {
    if (Window *w = window()) w->forget_view(this);
    // Unowned subviews outlive us: detach them. Owned ones die with _owned.
    for (View *v : _subviews) v->_superview = nullptr;
    _subviews.clear();
    _owned.clear();
    if (_superview) {
        auto &siblings = _superview->_subviews;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        // An owning superview never destroys us from outside its own destructor; if it owns us we
        // are being destroyed by it and its list entry goes with it.
    }
}

void View::initWithFrame(const Rect &frame) {
    _frame = frame;
    _bounds = {0, 0, frame.width, frame.height};
    setNeedsDisplay();
}

void View::set_frame(const Rect &frame) {
    setNeedsDisplay();
    _frame = frame;
    _bounds.width = frame.width;
    _bounds.height = frame.height;
    setNeedsDisplay();
}

void View::set_frame_origin(Point origin) { set_frame({origin.x, origin.y, _frame.width, _frame.height}); }

void View::set_bounds_origin(Point origin) {
    _bounds.x = origin.x;
    _bounds.y = origin.y;
    setNeedsDisplay();
}

View *View::add_subview(std::unique_ptr<View> view) {
    View *v = view.get();
    if (!v || v == this) return nullptr;
    add_subview(*v);
    _owned.push_back(std::move(view));
    return v;
}

void View::add_subview(View &view) {
    if (&view == this || is_descendant_of(&view)) return;  // no cycles
    if (view._superview) {
        if (view._superview == this) return;
        std::unique_ptr<View> owned = view.remove_from_superview();
        if (owned) {
            _subviews.push_back(&view);
            view._superview = this;
            _owned.push_back(std::move(owned));
            view.setNeedsDisplay();
            return;
        }
    }
    _subviews.push_back(&view);
    view._superview = this;
    view.setNeedsDisplay();
}

std::unique_ptr<View> View::remove_from_superview() {
    View *parent = _superview;
    if (!parent) return nullptr;
    setNeedsDisplay();
    if (Window *w = window()) w->forget_view(this);
    auto &siblings = parent->_subviews;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    _superview = nullptr;
    std::unique_ptr<View> result;
    auto &owned = parent->_owned;
    auto it = std::find_if(owned.begin(), owned.end(), [&](const auto &p) { return p.get() == this; });
    if (it != owned.end()) {
        result = std::move(*it);
        owned.erase(it);
    }
    return result;
}

bool View::is_descendant_of(const View *other) const {
    for (const View *v = this; v; v = v->_superview)
        if (v == other) return true;
    return false;
}

void View::set_hidden(bool hidden) {
    if (hidden == _hidden) return;
    if (hidden) setNeedsDisplay();
    _hidden = hidden;
    if (!hidden) setNeedsDisplay();
}

Window *View::window() const {
    const View *v = this;
    while (v->_superview) v = v->_superview;
    return v->_root_window;
}

namespace {
// This view's bounds coordinates -> its root's frame coordinates (the window's, for a content view).
Point to_root(const View *v, Point p) {
    for (; v; v = v->superview()) {
        p.x += v->frame().x - v->bounds().x;
        p.y += v->frame().y - v->bounds().y;
    }
    return p;
}
Point from_root(const View *v, Point p) {
    Point o = to_root(v, {0, 0});
    return {p.x - o.x, p.y - o.y};
}
}  // namespace

Point View::convert_point_from_view(Point p, const View *from) const {
    return from_root(this, from ? to_root(from, p) : p);
}

Point View::convert_point_to_view(Point p, const View *to) const {
    Point r = to_root(this, p);
    return to ? from_root(to, r) : r;
}

Rect View::convert_rect_from_view(const Rect &r, const View *from) const {
    Point o = convert_point_from_view(r.origin(), from);
    return {o.x, o.y, r.width, r.height};
}

Rect View::convert_rect_to_view(const Rect &r, const View *to) const {
    Point o = convert_point_to_view(r.origin(), to);
    return {o.x, o.y, r.width, r.height};
}

View *View::hit_test(Point p) {
    if (_hidden || !_frame.contains(p)) return nullptr;
    const Point local{p.x - _frame.x + _bounds.x, p.y - _frame.y + _bounds.y};
    // Later subviews are drawn on top, so they are asked first.
    for (auto it = _subviews.rbegin(); it != _subviews.rend(); ++it)
        if (View *hit = (*it)->hit_test(local)) return hit;
    return this;
}

void View::drawRect(GraphicsContext &, const Rect &) {}

void View::setNeedsDisplay(bool needs) {
    if (needs) setNeedsDisplayInRect(_bounds);
}

void View::setNeedsDisplayInRect(const Rect &r) {
    Window *w = window();
    if (!w || _hidden) return;
    // Clipped by every ancestor: a view draws nothing outside them.
    Rect in_root = convert_rect_to_view(r.intersection(_bounds), nullptr);
    w->mark_needs_display(in_root);
}

void View::mouseDown(const Event &e) {
    if (_superview) _superview->mouseDown(e);
}
void View::mouseDragged(const Event &e) {
    if (_superview) _superview->mouseDragged(e);
}
void View::mouseUp(const Event &e) {
    if (_superview) _superview->mouseUp(e);
}
void View::mouseMoved(const Event &e) {
    if (_superview) _superview->mouseMoved(e);
}
void View::scrollWheel(const Event &e) {
    if (_superview) _superview->scrollWheel(e);
}
void View::keyDown(const Event &e) {
    if (_superview) _superview->keyDown(e);
}

// As the platform has it: a view that does not fill its rectangle lets a press through to the
// window's background, which moves the window.
bool View::mouseDownCanMoveWindow() const { return !isOpaque(); }

}  // namespace ui
