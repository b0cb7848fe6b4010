// A floating, borderless, shadowed panel inside a window: the entry box and the item list.
// It has its own content view and coordinates (origin at its lower-left corner), takes keyboard
// focus when made key, and closes on loss of focus when its owner says so in on_resign_key.
#pragma once

#include "ui/Window.h"

#include <functional>

namespace ui {

class Overlay : public Window {
public:
    // How far the shadow reaches beyond the frame, in points (offset plus blur, with room to spare);
    // what is redrawn around an overlay that opens, moves or closes.
    static constexpr double shadow_margin = 16;

    explicit Overlay(const Rect &frame_in_parent);
    ~Overlay() override;  // detaches from its parent window

    Rect frame() const { return _frame; }  // in the parent window's coordinates
    void set_frame(const Rect &frame_in_parent);
    void set_has_shadow(bool on) { _has_shadow = on; }
    bool has_shadow() const { return _has_shadow; }
    Window *parent_window() const { return _parent; }

    // The platform's question for borderless windows; the parent asks it before making this key.
    virtual bool canBecomeKeyWindow() const { return true; }
    bool is_key() const;
    // Shorthand for parent_window()->make_key_overlay(this).
    void make_key();

    // The delegate's windowDidResignKey: runs when the parent gives the keys elsewhere: a press
    // outside the overlay, another overlay made key, or the top-level window losing focus. It may
    // close (and destroy) this overlay.
    std::function<void(Overlay &)> on_resign_key;

    double scale_factor() const override;
    Overlay *as_overlay() override { return this; }
    Point origin_in_top_level() const override;
    Window *top_level() override;

private:
    friend class Window;
    void needs_display_changed() override;
    Rect _frame;
    Window *_parent = nullptr;
    bool _has_shadow = true;
};

}  // namespace ui
