// Device-space extents, shared by the graphics context and its layers.
#pragma once

typedef struct _cairo cairo_t;

namespace ui {

// The device-space bounding box of the user-space box (ux0, uy0)-(ux1, uy1) under `cr`'s current
// transformation, rounded out to whole pixels. False when it is empty.
bool device_box(cairo_t *cr, double ux0, double uy0, double ux1, double uy1, int &x0, int &y0, int &x1, int &y1);

}  // namespace ui
