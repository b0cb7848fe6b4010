#include "WindowDrawing.h"

#include "ui/GraphicsContext.h"

#include <cairo.h>
#include <cmath>

namespace ui {

void draw_window_into(Window& window, cairo_surface_t* image, const Rect& dirty, double scale)
{
    cairo_t* cr = cairo_create(image);
    const double height_px = cairo_image_surface_get_height(image);
    // Whole device pixels, so that a partial redraw never leaves a seam of half-covered pixels.
    const double x0 = std::floor(dirty.x * scale), x1 = std::ceil(dirty.max_x() * scale);
    const double y0 = std::floor(height_px - dirty.max_y() * scale), y1 = std::ceil(height_px - dirty.y * scale);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // View space: points, y up from the bottom edge.
    cairo_translate(cr, 0, height_px);
    cairo_scale(cr, scale, -scale);
    const Rect widened{x0 / scale, (height_px - y1) / scale, (x1 - x0) / scale, (y1 - y0) / scale};
    {
        GraphicsContext context(cr, scale);
        window.draw(context, widened);
    }
    cairo_destroy(cr);
    cairo_surface_flush(image);
}

} // namespace ui
