// The floating window of the typed-entry box: borderless, clear, not opaque, shadowed, and able
// to take the keyboard although it has no title bar. Here it floats inside the editor window
// (an overlay) rather than as a window of its own. [UI thread]
#pragma once

#include "ui/Overlay.h"

class HF_Zentrova_Pop_Up_Window : public ui::Overlay {
public:
    // The platform's style mask, backing and defer flag make no difference here: the window is
    // always borderless and buffered, so the constructor takes only the content rectangle.
    explicit HF_Zentrova_Pop_Up_Window(const ui::Rect &content_rect_in_parent)
        : Overlay(content_rect_in_parent) {
        set_background_color(ui::Color::clear());
        set_has_shadow(true);
    }
    bool canBecomeKeyWindow() const override { return true; }
};
