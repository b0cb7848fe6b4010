// Drawing kept for reuse, as the platform's CGLayer: pixels at the scale of the context it was made
// for. Made where is_exact holds and composited where it was drawn (or moved by whole device
// pixels), it gives back exactly the pixels that drawing there directly would have given, so a
// view can draw what never changes once and only its moving parts every frame.
//
// Why only there: Cairo hands a gradient to pixman in 16.16 fixed point, measured from the origin
// of the surface drawn into. Unless the scale is a power of two and the area starts on a whole
// pixel, that rounding depends on where the surface begins, and a layer (which begins at the area)
// differs from drawing in place by 1/255 in a few pixels. Elsewhere callers draw in place.
#pragma once

#include "ui/Geometry.h"

#include <functional>

typedef struct _cairo_surface cairo_surface_t;

namespace ui {

class GraphicsContext;

class DrawingLayer {
public:
    // Runs `draw` once into a transparent layer covering `area` of `like`'s user space (clipped to
    // it), with the user space, scale and pixel alignment `like` has now.
    DrawingLayer(const GraphicsContext &like, const Rect &area, const std::function<void(GraphicsContext &)> &draw);
    ~DrawingLayer();
    DrawingLayer(const DrawingLayer &) = delete;
    DrawingLayer &operator=(const DrawingLayer &) = delete;

    // Whether a layer of `area` made in `context` now would composite exactly: the user space is
    // scaled by a power of two, not rotated, and the area's corner lies on a whole device pixel.
    static bool is_exact(const GraphicsContext &context, const Rect &area);
    // Whether compositing into `context` is exact: the same scale and orientation, and the area
    // still on whole device pixels. A layer that does not fit should be made again (or, where
    // is_exact says no, the drawing done directly).
    bool fits(const GraphicsContext &context) const;

private:
    friend class GraphicsContext;
    // Where the layer's top-left pixel lies in `context`'s device space, to the nearest pixel.
    void device_origin_in(const GraphicsContext &context, int &x, int &y) const;

    cairo_surface_t *_surface = nullptr;
    double _matrix[4] = {};               // the user-to-device scale and orientation it was made with
    Point _anchor;                        // the area's origin in user space
    double _anchor_x = 0, _anchor_y = 0;  // ... and in device space when made
    int _x0 = 0, _y0 = 0;                 // device pixel of the surface's top-left corner when made
};

}  // namespace ui
