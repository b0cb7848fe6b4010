// A real window on an X server: Xlib with a Cairo surface, double-buffered (drawn into an image,
// copied to the window), redrawn on Expose and on marked regions. Its event loop also runs the
// thread's CoreFoundation run loop, so listener callbacks reach the editor while it waits.
//
// It can stand alone (a top-level window) or be embedded in a foreign window (an LV2 host's
// parent XID); an embedded window is driven by process_pending_events() from the host's idle
// callback instead of run().
#pragma once

#include "ui/Window.h"

#include <functional>
#include <memory>
#include <string>

typedef struct _XDisplay Display;

namespace ui {

class X11Window : public Window {
public:
    struct Options {
        std::string title = "Zentrova";
        unsigned long parent = 0;            // a foreign window to embed in; 0: a top-level window
        double scale = 0;                    // pixels per point; 0: ZENTROVA_SCALE, else Xft.dpi / 96, else 1
        const char *display_name = nullptr;  // null: $DISPLAY
    };

    // Null when the display cannot be opened or the window not made; *error says why.
    static std::unique_ptr<X11Window> create(Size content_size, const Options &options, std::string *error = nullptr);
    ~X11Window() override;

    double scale_factor() const override { return _scale; }
    void set_content_size(Size size) override;
    unsigned long native_window() const { return _window; }
    Display *display() const { return _display; }
    int connection_fd() const;

    void show();
    // Blocks, handling X events and the run loop, until the window is closed (the window
    // manager's close button or request_close()).
    void run();
    // Handles what is pending, then returns at once. False once the window has been closed.
    bool process_pending_events();
    void request_close();
    bool is_closed() const { return _closed; }
    // The X server went away (the window then counts as closed). Xlib's default would have ended
    // the process; this window's owner decides what to do instead.
    bool connection_lost() const;
    std::function<void()> on_close;

    void display_if_needed() override;

private:
    X11Window();
    struct Impl;
    void handle_event(void *xevent);
    bool begin_window_move(const Event &e) override;
    void continue_window_move(const Event &e) override;
    void needs_display_changed() override;
    void resize_buffer();
    void present(const Rect &dirty_points);

    Display *_display = nullptr;
    unsigned long _window = 0;
    bool _embedded = false;
    bool _closed = false;
    double _scale = 1;
    std::unique_ptr<Impl> _impl;
};

// Pixels per point of a new window: ZENTROVA_SCALE when set (0.5 to 8), else the display's
// Xft.dpi / 96 when `display` is given and has it, else 1.
double scale_factor_from_environment(Display *display);

}  // namespace ui
