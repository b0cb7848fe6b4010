#include "ui/DrawingLayer.h"

#include "DeviceBox.h"

#include "ui/GraphicsContext.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>

namespace ui {

namespace {
// Far below anything a pixel shows, far above the rounding of adding whole pixels to a position.
constexpr double phase_tolerance = 1e-9;

bool whole(double v) { return std::fabs(v - std::round(v)) < phase_tolerance; }

bool power_of_two(double v) {
    int exponent;
    return std::isfinite(v) && std::fabs(std::frexp(v, &exponent)) == 0.5;
}
}  // namespace

bool DrawingLayer::is_exact(const GraphicsContext &context, const Rect &area) {
    cairo_matrix_t m;
    cairo_get_matrix(context.cairo(), &m);
    double x = area.x, y = area.y;
    cairo_user_to_device(context.cairo(), &x, &y);
    return m.xy == 0 && m.yx == 0 && power_of_two(m.xx) && power_of_two(m.yy) && whole(x) && whole(y);
}

DrawingLayer::DrawingLayer(const GraphicsContext &like, const Rect &area,
                           const std::function<void(GraphicsContext &)> &draw)
    : _anchor(area.origin()) {
    cairo_t *cr = like.cairo();
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    _matrix[0] = m.xx;
    _matrix[1] = m.yx;
    _matrix[2] = m.xy;
    _matrix[3] = m.yy;
    _anchor_x = area.x;
    _anchor_y = area.y;
    cairo_user_to_device(cr, &_anchor_x, &_anchor_y);

    int x1 = 0, y1 = 0;
    device_box(cr, area.x, area.y, area.max_x(), area.max_y(), _x0, _y0, x1, y1);
    const int width = std::max(1, x1 - _x0), height = std::max(1, y1 - _y0);
    _surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);

    // The same user space, with the layer's top-left pixel where the device's (_x0, _y0) was.
    cairo_t *layer_cr = cairo_create(_surface);
    m.x0 -= _x0;
    m.y0 -= _y0;
    cairo_set_matrix(layer_cr, &m);
    cairo_new_path(layer_cr);
    cairo_rectangle(layer_cr, area.x, area.y, area.width, area.height);
    cairo_clip(layer_cr);
    {
        GraphicsContext context(layer_cr, like.scale_factor());
        draw(context);
    }
    cairo_destroy(layer_cr);
    cairo_surface_flush(_surface);
}

DrawingLayer::~DrawingLayer() { cairo_surface_destroy(_surface); }

void DrawingLayer::device_origin_in(const GraphicsContext &context, int &x, int &y) const {
    double ax = _anchor.x, ay = _anchor.y;
    cairo_user_to_device(context.cairo(), &ax, &ay);
    x = _x0 + int(std::lround(ax - _anchor_x));
    y = _y0 + int(std::lround(ay - _anchor_y));
}

bool DrawingLayer::fits(const GraphicsContext &context) const {
    cairo_matrix_t m;
    cairo_get_matrix(context.cairo(), &m);
    if (m.xx != _matrix[0] || m.yx != _matrix[1] || m.xy != _matrix[2] || m.yy != _matrix[3]) return false;
    double ax = _anchor.x, ay = _anchor.y;
    cairo_user_to_device(context.cairo(), &ax, &ay);
    return whole(ax - _anchor_x) && whole(ay - _anchor_y);
}

}  // namespace ui
