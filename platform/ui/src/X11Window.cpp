#include "ui/X11Window.h"

#include "WindowDrawing.h"
#include "X11ConnectionLoss.h"

#include <CoreFoundation/CFRunLoop.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace ui {

namespace {

// The platform's double-click interval and the distance a second press may stray.
constexpr Time double_click_ms = 400;
constexpr int double_click_slop_px = 4;

double parse_scale(const char *text) {
    if (!text || !*text) return 0;
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v)) return 0;
    return std::clamp(v, 0.5, 8.0);
}

Key key_for(KeySym sym) {
    switch (sym) {
    case XK_Return:
    case XK_KP_Enter: return Key::return_key;
    case XK_Escape: return Key::escape;
    case XK_BackSpace: return Key::backspace;
    case XK_Delete:
    case XK_KP_Delete: return Key::delete_forward;
    case XK_Tab: return Key::tab;
    case XK_Left:
    case XK_KP_Left: return Key::left;
    case XK_Right:
    case XK_KP_Right: return Key::right;
    case XK_Up:
    case XK_KP_Up: return Key::up;
    case XK_Down:
    case XK_KP_Down: return Key::down;
    case XK_Home:
    case XK_KP_Home: return Key::home;
    case XK_End:
    case XK_KP_End: return Key::end;
    default: return Key::none;
    }
}

unsigned modifiers_for(unsigned state) {
    unsigned m = 0;
    if (state & ShiftMask) m |= modifier_shift;
    if (state & ControlMask) m |= modifier_control;
    if (state & Mod1Mask) m |= modifier_alt;
    if (state & Mod4Mask) m |= modifier_super;
    return m;
}

}  // namespace

double scale_factor_from_environment(Display *display) {
    if (double s = parse_scale(std::getenv("ZENTROVA_SCALE"))) return s;
    if (display) {
        if (const char *resources = XResourceManagerString(display)) {
            XrmInitialize();
            XrmDatabase db = XrmGetStringDatabase(resources);
            char *type = nullptr;
            XrmValue value{};
            double dpi = 0;
            if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
                dpi = std::strtod(value.addr, nullptr);
            if (db) XrmDestroyDatabase(db);
            if (dpi > 0 && std::isfinite(dpi)) return std::clamp(dpi / 96.0, 0.5, 8.0);
        }
    }
    return 1.0;
}

X11Window::X11Window() : Window({}) {}

struct X11Window::Impl {
    Visual *visual = nullptr;
    Atom wm_delete = 0;
    Atom wm_protocols = 0;
    cairo_surface_t *buffer = nullptr;  // the back buffer, window pixels
    cairo_surface_t *target = nullptr;  // the window itself
    int width_px = 0, height_px = 0;
    // Click counting.
    Time last_press_time = 0;
    int last_press_x = -1000, last_press_y = -1000;
    int click_count = 0;
    bool button1_down = false;
    // Window moving by a press on the background.
    int last_root_x = 0, last_root_y = 0;
    int move_start_root_x = 0, move_start_root_y = 0;
    int move_start_win_x = 0, move_start_win_y = 0;
};

std::unique_ptr<X11Window> X11Window::create(Size size, const Options &options, std::string *error) {
    Display *display = XOpenDisplay(options.display_name);
    if (!display) {
        if (error)
            *error = "cannot open the X display" + std::string(options.display_name ? " " : "") +
                     (options.display_name ? options.display_name : "");
        return nullptr;
    }
    watch_connection(display);
    std::unique_ptr<X11Window> w(new X11Window());
    w->_impl = std::make_unique<Impl>();
    w->_display = display;
    w->_scale = options.scale > 0 && std::isfinite(options.scale) ? options.scale
                                                                  : scale_factor_from_environment(display);
    w->_embedded = options.parent != 0;
    const int screen = DefaultScreen(display);
    w->_impl->visual = DefaultVisual(display, screen);
    const ::Window parent = options.parent ? ::Window(options.parent) : RootWindow(display, screen);
    const int wpx = std::max(1, int(std::ceil(size.width * w->_scale)));
    const int hpx = std::max(1, int(std::ceil(size.height * w->_scale)));

    // A bad parent id is an X error, reported asynchronously: catch it here, synchronously.
    static bool x_error;
    x_error = false;
    XSync(display, False);
    auto previous = XSetErrorHandler([](Display *, XErrorEvent *) {
        x_error = true;
        return 0;
    });
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;  // no flash of background: every pixel comes from the buffer
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                            StructureNotifyMask | FocusChangeMask;
    w->_window = XCreateWindow(display, parent, 0, 0, unsigned(wpx), unsigned(hpx), 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    if (x_error || !w->_window) {
        if (error) *error = "cannot create a window in parent " + std::to_string(options.parent);
        w->_window = 0;
        return nullptr;
    }
    // The window inherits its parent's visual, which in a host's window need not be the screen's
    // default: draw with the one it has.
    XWindowAttributes created{};
    if (XGetWindowAttributes(display, w->_window, &created) && created.visual) w->_impl->visual = created.visual;
    if (!w->_embedded) {
        XStoreName(display, w->_window, options.title.c_str());
        w->_impl->wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
        w->_impl->wm_delete = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, w->_window, &w->_impl->wm_delete, 1);
        // Ask for the keyboard: typed entry needs it, and some window managers give none without.
        if (XWMHints *hints = XAllocWMHints()) {
            hints->flags = InputHint;
            hints->input = True;
            XSetWMHints(display, w->_window, hints);
            XFree(hints);
        }
    }
    w->set_content_size(size);
    return w;
}

X11Window::~X11Window() {
    if (_impl) {
        if (_impl->target) cairo_surface_destroy(_impl->target);
        if (_impl->buffer) cairo_surface_destroy(_impl->buffer);
    }
    if (_display) {
        if (_window) XDestroyWindow(_display, _window);
        XCloseDisplay(_display);
        forget_connection(_display);
    }
}

int X11Window::connection_fd() const { return ConnectionNumber(_display); }

void X11Window::set_content_size(Size size) {
    Window::set_content_size(size);
    if (_impl && _display) resize_buffer();
}

void X11Window::resize_buffer() {
    const Size s = content_size();
    const int wpx = std::max(1, int(std::ceil(s.width * _scale)));
    const int hpx = std::max(1, int(std::ceil(s.height * _scale)));
    if (wpx == _impl->width_px && hpx == _impl->height_px && _impl->buffer) return;
    _impl->width_px = wpx;
    _impl->height_px = hpx;
    if (_impl->buffer) cairo_surface_destroy(_impl->buffer);
    _impl->buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, wpx, hpx);
    if (!_impl->target)
        _impl->target = cairo_xlib_surface_create(_display, _window, _impl->visual, wpx, hpx);
    else
        cairo_xlib_surface_set_size(_impl->target, wpx, hpx);
    XResizeWindow(_display, _window, unsigned(wpx), unsigned(hpx));
    mark_all_needs_display();
}

void X11Window::show() {
    XMapRaised(_display, _window);
    XFlush(_display);
}

void X11Window::request_close() {
    if (_closed) return;
    _closed = true;
    XUnmapWindow(_display, _window);
    XFlush(_display);
    if (on_close) on_close();
}

void X11Window::needs_display_changed() {
    // Drawn by the event loop after the events at hand, so a burst of marks draws once.
}

void X11Window::display_if_needed() {
    if (!needs_display() || _closed) return;
    const Rect dirty = dirty_rect();
    clear_dirty();
    draw_window_into(*this, _impl->buffer, dirty, _scale);
    present(dirty);
}

void X11Window::present(const Rect &dirty) {
    cairo_t *cr = cairo_create(_impl->target);
    const double h = _impl->height_px;
    const double x0 = std::floor(dirty.x * _scale), x1 = std::ceil(dirty.max_x() * _scale);
    const double y0 = std::floor(h - dirty.max_y() * _scale), y1 = std::ceil(h - dirty.y * _scale);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, _impl->buffer, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(_impl->target);
    XFlush(_display);
}

bool X11Window::begin_window_move(const Event &) {
    if (_embedded) return false;
    ::Window child;
    XTranslateCoordinates(_display, _window, DefaultRootWindow(_display), 0, 0, &_impl->move_start_win_x,
                          &_impl->move_start_win_y, &child);
    _impl->move_start_root_x = _impl->last_root_x;
    _impl->move_start_root_y = _impl->last_root_y;
    return true;
}

void X11Window::continue_window_move(const Event &) {
    XMoveWindow(_display, _window, _impl->move_start_win_x + _impl->last_root_x - _impl->move_start_root_x,
                _impl->move_start_win_y + _impl->last_root_y - _impl->move_start_root_y);
}

void X11Window::handle_event(void *event_pointer) {
    XEvent &xe = *static_cast<XEvent *>(event_pointer);
    const double h_points = content_size().height;
    auto point = [&](int x, int y) { return Point{x / _scale, h_points - y / _scale}; };
    Event e;
    switch (xe.type) {
    case Expose: {
        const XExposeEvent &x = xe.xexpose;
        mark_needs_display({x.x / _scale, h_points - (x.y + x.height) / _scale, x.width / _scale, x.height / _scale});
        return;
    }
    case ConfigureNotify: {
        const int w = xe.xconfigure.width, h = xe.xconfigure.height;
        if (w != _impl->width_px || h != _impl->height_px) {
            _impl->width_px = w;
            _impl->height_px = h;
            if (_impl->buffer) cairo_surface_destroy(_impl->buffer);
            _impl->buffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
            cairo_xlib_surface_set_size(_impl->target, w, h);
            Window::set_content_size({w / _scale, h / _scale});
        }
        return;
    }
    case ClientMessage:
        if (Atom(xe.xclient.message_type) == _impl->wm_protocols && Atom(xe.xclient.data.l[0]) == _impl->wm_delete)
            request_close();
        return;
    case FocusOut:
        // The window lost the keyboard: an open entry box or list loses it with it. Focus moving
        // into a child of ours is no loss, nor the pointer-root bookkeeping (NotifyPointer) that
        // comes when focus is set onto this very window.
        if (xe.xfocus.mode == NotifyNormal && xe.xfocus.detail != NotifyInferior && xe.xfocus.detail != NotifyPointer)
            make_key_overlay(nullptr);
        return;
    case ButtonPress: {
        const XButtonEvent &b = xe.xbutton;
        _impl->last_root_x = b.x_root;
        _impl->last_root_y = b.y_root;
        e.location_in_window = point(b.x, b.y);
        e.modifiers = modifiers_for(b.state);
        e.timestamp = b.time / 1000.0;
        if (b.button >= 4 && b.button <= 7) {
            // Wheel clicks: 4 up, 5 down, 6 left, 7 right, one unit each.
            e.type = EventType::scroll_wheel;
            e.delta_y = b.button == 4 ? 1 : b.button == 5 ? -1 : 0;
            e.delta_x = b.button == 6 ? 1 : b.button == 7 ? -1 : 0;
            send_event(e);
            return;
        }
        if (b.button != Button1) return;
        // Embedded, no window manager hands us the keyboard: take it on a press, so typed entry
        // works inside a host's window (and closes when the user clicks back into the host).
        if (_embedded) XSetInputFocus(_display, _window, RevertToParent, b.time);
        const bool again = _impl->click_count > 0 && b.time - _impl->last_press_time <= double_click_ms &&
                           std::abs(b.x - _impl->last_press_x) <= double_click_slop_px &&
                           std::abs(b.y - _impl->last_press_y) <= double_click_slop_px;
        _impl->click_count = again ? _impl->click_count + 1 : 1;
        _impl->last_press_time = b.time;
        _impl->last_press_x = b.x;
        _impl->last_press_y = b.y;
        _impl->button1_down = true;
        e.type = EventType::mouse_down;
        e.click_count = _impl->click_count;
        send_event(e);
        return;
    }
    case ButtonRelease: {
        const XButtonEvent &b = xe.xbutton;
        if (b.button != Button1) return;
        _impl->button1_down = false;
        e.type = EventType::mouse_up;
        e.location_in_window = point(b.x, b.y);
        e.modifiers = modifiers_for(b.state);
        e.click_count = _impl->click_count;
        e.timestamp = b.time / 1000.0;
        send_event(e);
        return;
    }
    case MotionNotify: {
        const XMotionEvent &m = xe.xmotion;
        _impl->last_root_x = m.x_root;
        _impl->last_root_y = m.y_root;
        e.type = (m.state & Button1Mask) && _impl->button1_down ? EventType::mouse_dragged : EventType::mouse_moved;
        e.location_in_window = point(m.x, m.y);
        e.modifiers = modifiers_for(m.state);
        e.timestamp = m.time / 1000.0;
        send_event(e);
        return;
    }
    case KeyPress: {
        char text[32] = {};
        KeySym sym = NoSymbol;
        const int n = XLookupString(&xe.xkey, text, sizeof text - 1, &sym, nullptr);
        e.type = EventType::key_down;
        e.modifiers = modifiers_for(xe.xkey.state);
        e.timestamp = xe.xkey.time / 1000.0;
        e.key = key_for(sym);
        if (e.key == Key::none) {
            if (n <= 0 || static_cast<unsigned char>(text[0]) < 0x20) return;
            e.key = Key::character;
            e.characters.assign(text, size_t(n));
        }
        send_event(e);
        return;
    }
    default: return;
    }
}

bool X11Window::connection_lost() const { return ui::connection_lost(_display); }

bool X11Window::process_pending_events() {
    // A lost server: nothing more to handle or draw, and the window counts as closed.
    if (connection_lost()) _closed = true;
    while (!_closed && XPending(_display)) {
        XEvent xe;
        XNextEvent(_display, &xe);
        if (xe.xany.window == _window) handle_event(&xe);
    }
    // The thread's run loop: parameter and property listeners of the editor fire here.
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    if (connection_lost()) _closed = true;
    if (!_closed) display_if_needed();
    return !_closed;
}

void X11Window::run() {
    const int run_loop_fd = CFRunLoopGetWakeUpFileDescriptor(CFRunLoopGetCurrent());
    const int poll_ms = std::max(1, int(CFRunLoopGetPollInterval() * 1000));
    while (process_pending_events()) {
        // Drawing may have made round trips that read events into Xlib's queue: the descriptor
        // would not show those, so handle them before sleeping.
        if (XEventsQueued(_display, QueuedAlready) > 0) continue;
        pollfd fds[2] = {{connection_fd(), POLLIN, 0}, {run_loop_fd, POLLIN, 0}};
        // Signals from real-time threads do not wake the descriptor: poll at the run loop's
        // interval so they are still delivered.
        poll(fds, run_loop_fd >= 0 ? 2 : 1, poll_ms);
    }
}

}  // namespace ui
