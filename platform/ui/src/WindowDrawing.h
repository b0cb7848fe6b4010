// Drawing a window's tree into a Cairo image, shared by the offscreen and the X11 window.
#pragma once

#include "ui/Window.h"

typedef struct _cairo_surface cairo_surface_t;

namespace ui {

// Redraws the region `dirty` (window points) into `image`, whose pixels are points x scale with
// row 0 at the top of the window.
void draw_window_into(Window &window, cairo_surface_t *image, const Rect &dirty, double scale);

}  // namespace ui
