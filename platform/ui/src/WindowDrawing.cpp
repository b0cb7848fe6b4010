#include "WindowDrawing.h"

#include "ui/GraphicsContext.h"
#include "ui/Overlay.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>

namespace ui {

namespace {

struct PixelBox {
    int x0, y0, x1, y1;
    int width() const { return x1 - x0; }
    int height() const { return y1 - y0; }
};

// Draws the window's points covering `box` (device pixels of the window image) into `target`,
// whose pixel (0, 0) is the box's top-left corner.
void render(Window &window, cairo_surface_t *target, const PixelBox &box, int image_height, double scale) {
    cairo_t *cr = cairo_create(target);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_rectangle(cr, 0, 0, box.width(), box.height());
    cairo_clip(cr);
    // View space: points, y up from the window's bottom edge.
    cairo_translate(cr, -box.x0, image_height - box.y0);
    cairo_scale(cr, scale, -scale);
    const Rect points{box.x0 / scale, (image_height - box.y1) / scale, box.width() / scale, box.height() / scale};
    {
        GraphicsContext context(cr, scale);
        window.draw(context, points);
    }
    cairo_destroy(cr);
    cairo_surface_flush(target);
}

}  // namespace

void draw_window_into(Window &window, cairo_surface_t *image, const Rect &dirty, double scale) {
    const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    // Whole device pixels, so that a partial redraw never leaves a seam of half-covered pixels.
    const PixelBox d{
        std::max(0, int(std::floor(dirty.x * scale))), std::max(0, int(std::floor(h - dirty.max_y() * scale))),
        std::min(w, int(std::ceil(dirty.max_x() * scale))), std::min(h, int(std::ceil(h - dirty.y * scale)))};
    if (d.width() <= 0 || d.height() <= 0) return;
    // A shadow's pixels depend on shapes up to its reach away: drawn only within the region, a
    // shape cut by the region's edge would cast a lighter shadow there than a full redraw does.
    // So a margin around the region is drawn too (aside), and only the region is kept.
    const int margin = int(std::ceil(Overlay::shadow_margin * scale));
    const PixelBox e{std::max(0, d.x0 - margin), std::max(0, d.y0 - margin), std::min(w, d.x1 + margin),
                     std::min(h, d.y1 + margin)};
    cairo_surface_t *aside = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, e.width(), e.height());
    render(window, aside, e, h, scale);
    cairo_t *cr = cairo_create(image);
    cairo_rectangle(cr, d.x0, d.y0, d.width(), d.height());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, aside, e.x0, e.y0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(aside);
    cairo_surface_flush(image);
}

}  // namespace ui
