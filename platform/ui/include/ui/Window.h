// Windows: a content view, a first responder, marked regions, event routing and child overlays.
//
// Window is the common base of the real X11 window, the offscreen window and the overlays that
// float inside either. Synthetic events (tests, snapshots) and events from the X server take the
// same path: send_event().
//
// [UI thread] Every call, on the window and on its views, comes from the thread that made the
// window; debug builds check it where views reach the window (marking, events).
#pragma once

#include "ui/Color.h"
#include "ui/Event.h"
#include "ui/Geometry.h"

#include <memory>
#include <thread>
#include <vector>

namespace ui {

class GraphicsContext;
class Overlay;
class View;

class Window {
public:
    explicit Window(Size content_size);
    virtual ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    // The content view fills the window: its frame becomes (0, 0, width, height).
    View *set_content_view(std::unique_ptr<View> view);
    // By reference: a view shared between windows (the entry view). A view is in one window at a
    // time: it is taken from the window it was the content of, or from its superview (with the
    // ownership the superview had).
    void set_content_view(View &view);
    View *content_view() const { return _content; }
    Size content_size() const { return _size; }
    virtual void set_content_size(Size size);

    // Pixels per point (HiDPI); the views' coordinates never change with it.
    virtual double scale_factor() const { return 1.0; }
    void set_background_color(const Color &c) { _background = c; }
    Color background_color() const { return _background; }
    // Whether a press on a view that answers yes to mouseDownCanMoveWindow drags the window (a
    // stand-alone editor window); off by default, as a host's window is not ours to move.
    void set_movable_by_background(bool on) { _movable_by_background = on; }
    bool is_movable_by_background() const { return _movable_by_background; }

    // Keyboard focus within this window.
    bool make_first_responder(View *view);  // false when the view does not accept it
    View *first_responder() const { return _first_responder; }

    // Child overlays, ordered above this window's views, newest on top. Not owned.
    void add_child_overlay(Overlay &overlay);
    void remove_child_overlay(Overlay &overlay);
    const std::vector<Overlay *> &child_overlays() const { return _overlays; }
    // The overlay that takes the keys (null: this window itself). Giving it to another overlay, or
    // to none, makes the previous one resign (its on_resign_key runs).
    void make_key_overlay(Overlay *overlay);
    Overlay *key_overlay() const { return _key_overlay; }

    // Redrawing: a marked region (window coordinates) is drawn at the next display_if_needed().
    void mark_needs_display(const Rect &r);
    void mark_all_needs_display();
    bool needs_display() const { return !_dirty.is_empty(); }
    Rect dirty_rect() const { return _dirty; }
    virtual void display_if_needed() {}
    // Draws the view tree and the overlays into `context` (set up in window points, y up).
    void draw(GraphicsContext &context, const Rect &dirty);

    // Event routing: a press goes to the view under the pointer (or to the overlay there) and the
    // drags and the release that follow go to the same view; a scroll to the view under the
    // pointer; a key to the key overlay's first responder, else this window's.
    void send_event(const Event &e);

    // Synthetic input, in window coordinates (y up). Drag deltas follow the platform's
    // convention (delta_y grows downward). Timestamps advance on their own.
    void mouse_down(Point p, int click_count = 1, unsigned modifiers = 0);
    void mouse_dragged(Point p, unsigned modifiers = 0);
    void mouse_up(Point p, unsigned modifiers = 0);
    void mouse_moved(Point p);
    void click(Point p, int click_count = 1);  // down then up
    void double_click(Point p);                // two clicks, counts 1 and 2
    void drag(Point from, Point to, int steps = 1);
    void scroll_wheel(Point p, double delta_x, double delta_y);
    void key_down(Key key, const std::string &characters = {}, unsigned modifiers = 0);
    void type_text(const std::string &utf8);  // one key_down per character

    // For views: the overlay this window is, or null.
    virtual Overlay *as_overlay() { return nullptr; }
    // Where this window's origin lies in the top-level window (overlays are offset).
    virtual Point origin_in_top_level() const { return {}; }
    virtual Window *top_level() { return this; }

protected:
    // A press on a view that can move the window: true when this window moves with the drags
    // that follow (they then do not reach the view). Only real top-level windows do.
    virtual bool begin_window_move(const Event &) { return false; }
    virtual void continue_window_move(const Event &) {}
    // Lets subclasses know a region became dirty (an X11 window schedules a redraw).
    virtual void needs_display_changed() {}
    void clear_dirty() { _dirty = {}; }
    // A synthetic event of the given type at p, stamped after the one before.
    Event synthetic_event(EventType type, Point p, unsigned modifiers = 0);

private:
    friend class Overlay;
    friend class View;  // views tell the window when they leave it
    Overlay *overlay_at(Point p);
    void forget_view(View *view);
    void release_content(View &view);

    Size _size;
    View *_content = nullptr;
    std::unique_ptr<View> _owned_content;
    std::vector<std::unique_ptr<View>> _orphans;  // owned content views moved to another window
    View *_first_responder = nullptr;
    View *_mouse_view = nullptr;      // receives the drags and the release of a press
    Window *_mouse_window = nullptr;  // the window (this or an overlay) of that press
    std::vector<Overlay *> _overlays;
    Overlay *_key_overlay = nullptr;
    Rect _dirty;
    Color _background{0.93, 0.93, 0.93, 1};
    Point _last_pointer{};
    bool _moving_window = false;
    bool _movable_by_background = false;
    double _clock = 0;
    std::thread::id _thread = std::this_thread::get_id();
};

}  // namespace ui
