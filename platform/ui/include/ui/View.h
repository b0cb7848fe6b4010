// The view: a rectangle of a window that draws itself and takes events.
//
// Coordinates are the platform's, unflipped: y grows upward, a view's frame is its rectangle in
// its superview's coordinates and its bounds are the same rectangle in its own (origin (0, 0)
// unless moved). All of it lives on the UI thread.
#pragma once

#include "ui/Event.h"
#include "ui/Geometry.h"
#include "ui/Object.h"

#include <memory>
#include <vector>

namespace ui {

class GraphicsContext;
class Window;

class View : public Object {
public:
    View();
    ~View() override;  // removes itself from its superview and destroys the subviews it owns
    View(const View &) = delete;
    View &operator=(const View &) = delete;

    // Creation hook with the platform's name: sets the frame (bounds (0, 0, w, h)). Subclasses
    // override it to compute their geometry, calling the base first. create_view() and the
    // interface loader call it once, right after construction.
    virtual void initWithFrame(const Rect &frame);
    // Called once after everything of an interface description is created and connected.
    virtual void awakeFromNib() {}

    Rect frame() const { return _frame; }
    Rect bounds() const { return _bounds; }
    void set_frame(const Rect &frame);  // keeps the bounds origin, takes the size
    void set_frame_origin(Point origin);
    void set_bounds_origin(Point origin);

    // Tree. An owned subview is destroyed with its superview; an unowned one (a view shared
    // between windows, held elsewhere) is only detached.
    View *add_subview(std::unique_ptr<View> view);
    void add_subview(View &view);
    // Detaches; returns ownership if this view owned it (null otherwise).
    std::unique_ptr<View> remove_from_superview();
    View *superview() const { return _superview; }
    const std::vector<View *> &subviews() const { return _subviews; }
    bool is_descendant_of(const View *other) const;
    bool is_hidden() const { return _hidden; }
    void set_hidden(bool hidden);

    // The window (or overlay) whose view tree this view is in; null while detached.
    Window *window() const;

    // Coordinate conversion. A null view means the window's coordinates.
    Point convert_point_from_view(Point p, const View *from) const;
    Point convert_point_to_view(Point p, const View *to) const;
    Rect convert_rect_from_view(const Rect &r, const View *from) const;
    Rect convert_rect_to_view(const Rect &r, const View *to) const;

    // The deepest visible view containing `p`, given in the SUPERVIEW's coordinates (as the
    // platform's hitTest: takes it); null when `p` is outside this view.
    virtual View *hit_test(Point p_in_superview);

    // Drawing. drawRect draws this view only (subviews are drawn after it, on top); the context
    // is set up in this view's bounds coordinates and clipped to `dirty` within the bounds.
    virtual void drawRect(GraphicsContext &context, const Rect &dirty);
    virtual bool isOpaque() const { return false; }
    void setNeedsDisplay(bool needs = true);
    void setNeedsDisplayInRect(const Rect &r);

    // Events; the defaults pass mouse and key events on to the superview, as the platform does.
    virtual void mouseDown(const Event &e);
    virtual void mouseDragged(const Event &e);
    virtual void mouseUp(const Event &e);
    virtual void mouseMoved(const Event &e);
    virtual void scrollWheel(const Event &e);
    virtual void keyDown(const Event &e);
    // A press on a view that answers yes drags the (top-level, unembedded) window.
    virtual bool mouseDownCanMoveWindow() const;
    virtual bool acceptsFirstResponder() const { return false; }
    // Focus notifications from the window.
    virtual void becomeFirstResponder() {}
    virtual void resignFirstResponder() {}

    // For Window and Overlay: the root view of a window points back at it.
    void set_root_window(Window *window) { _root_window = window; }

private:
    View *_superview = nullptr;
    Window *_root_window = nullptr;
    std::vector<View *> _subviews;
    std::vector<std::unique_ptr<View>> _owned;
    Rect _frame;
    Rect _bounds;
    bool _hidden = false;
};

// Constructs a view and runs its initWithFrame, as code that creates views by hand must.
template <class T, class... Args> std::unique_ptr<T> create_view(const Rect &frame, Args &&...args) {
    auto view = std::make_unique<T>(std::forward<Args>(args)...);
    view->initWithFrame(frame);
    return view;
}

}  // namespace ui
