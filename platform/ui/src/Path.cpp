#include "ui/Path.h"

#include <cairo.h>
#include <cmath>

namespace ui {

namespace {

// The platform's arc-to-point: the circle of `radius` tangent to both lines current -> p1 and
// p1 -> p2; a line to the first tangent point, then the arc to the second. Collinear points (or
// no radius) degrade to a line to p1, as there is no circle to fit.
void arc_to_point(cairo_t *cr, double x1, double y1, double x2, double y2, double radius) {
    if (!cairo_has_current_point(cr)) cairo_move_to(cr, x1, y1);
    double x0, y0;
    cairo_get_current_point(cr, &x0, &y0);
    const double ax = x0 - x1, ay = y0 - y1, bx = x2 - x1, by = y2 - y1;
    const double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    const double cross = ax * by - ay * bx;
    if (radius <= 0 || la == 0 || lb == 0 || std::fabs(cross) < 1e-12 * la * lb) {
        cairo_line_to(cr, x1, y1);
        return;
    }
    const double cos_angle = (ax * bx + ay * by) / (la * lb);
    const double half = std::acos(std::clamp(cos_angle, -1.0, 1.0)) / 2;  // half the corner angle
    const double tangent = radius / std::tan(half);                       // corner to tangent points
    const double t1x = x1 + ax / la * tangent, t1y = y1 + ay / la * tangent;
    const double t2x = x1 + bx / lb * tangent, t2y = y1 + by / lb * tangent;
    // The centre lies on the bisector, radius / sin(half) from the corner.
    const double mx = ax / la + bx / lb, my = ay / la + by / lb, lm = std::hypot(mx, my);
    const double d = radius / std::sin(half);
    const double cx = x1 + mx / lm * d, cy = y1 + my / lm * d;
    const double a0 = std::atan2(t1y - cy, t1x - cx), a1 = std::atan2(t2y - cy, t2x - cx);
    cairo_line_to(cr, t1x, t1y);
    // Turning left (cross < 0 with these vectors) sweeps the arc counter-clockwise.
    if (cross < 0)
        cairo_arc(cr, cx, cy, radius, a0, a1 < a0 ? a1 + 2 * M_PI : a1);
    else
        cairo_arc_negative(cr, cx, cy, radius, a0, a1 > a0 ? a1 - 2 * M_PI : a1);
}

}  // namespace

void Path::move_to(Point p) { _ops.push_back({Op::move, {p.x, p.y}}); }
void Path::line_to(Point p) { _ops.push_back({Op::line, {p.x, p.y}}); }
void Path::add_arc(Point c, double r, double a0, double a1, bool clockwise) {
    _ops.push_back({clockwise ? Op::arc_negative : Op::arc, {c.x, c.y, r, a0, a1}});
}
void Path::add_arc_to_point(Point p1, Point p2, double r) { _ops.push_back({Op::arc_to, {p1.x, p1.y, p2.x, p2.y, r}}); }
void Path::add_rect(const Rect &r) { _ops.push_back({Op::rect, {r.x, r.y, r.width, r.height}}); }
void Path::add_ellipse_in_rect(const Rect &r) { _ops.push_back({Op::ellipse, {r.x, r.y, r.width, r.height}}); }
void Path::add_rounded_rect(const Rect &r, double ow, double oh) {
    _ops.push_back({Op::rounded_rect, {r.x, r.y, r.width, r.height, ow, oh}});
}
void Path::close() { _ops.push_back({Op::close, {}}); }

void Path::append_to(cairo_t *cr) const {
    for (const Op &op : _ops) {
        const double *v = op.v;
        switch (op.kind) {
        case Op::move: cairo_move_to(cr, v[0], v[1]); break;
        case Op::line:
            if (cairo_has_current_point(cr))
                cairo_line_to(cr, v[0], v[1]);
            else
                cairo_move_to(cr, v[0], v[1]);
            break;
        case Op::arc: cairo_arc(cr, v[0], v[1], v[2], v[3], v[4]); break;
        case Op::arc_negative: cairo_arc_negative(cr, v[0], v[1], v[2], v[3], v[4]); break;
        case Op::arc_to: arc_to_point(cr, v[0], v[1], v[2], v[3], v[4]); break;
        case Op::rect: cairo_rectangle(cr, v[0], v[1], v[2], v[3]); break;
        case Op::ellipse:
            if (v[2] > 0 && v[3] > 0) {
                cairo_save(cr);
                cairo_translate(cr, v[0] + v[2] / 2, v[1] + v[3] / 2);
                cairo_scale(cr, v[2] / 2, v[3] / 2);
                cairo_new_sub_path(cr);
                cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
                cairo_close_path(cr);
                cairo_restore(cr);
            }
            break;
        case Op::rounded_rect: {
            const double x = v[0], y = v[1], w = v[2], h = v[3], ow = v[4], oh = v[5];
            if (ow == 0 || oh == 0) {
                cairo_rectangle(cr, x, y, w, h);
                break;
            }
            // In units of the oval: corners become arcs of radius 0.5 tangent at the corners.
            const double fw = w / ow, fh = h / oh;
            cairo_save(cr);
            cairo_translate(cr, x, y);
            cairo_scale(cr, ow, oh);
            cairo_move_to(cr, fw, fh / 2);
            arc_to_point(cr, fw, fh, fw / 2, fh, 0.5);
            arc_to_point(cr, 0, fh, 0, fh / 2, 0.5);
            arc_to_point(cr, 0, 0, fw / 2, 0, 0.5);
            arc_to_point(cr, fw, 0, fw, fh / 2, 0.5);
            cairo_close_path(cr);
            cairo_restore(cr);
            break;
        }
        case Op::close: cairo_close_path(cr); break;
        }
    }
}

namespace {
// A scratch context for geometry questions (no pixels are drawn).
template <class F> auto with_scratch_context(F &&f) {
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t *cr = cairo_create(s);
    auto result = f(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return result;
}
}  // namespace

bool Path::contains(Point p) const {
    return with_scratch_context([&](cairo_t *cr) {
        append_to(cr);
        return cairo_in_fill(cr, p.x, p.y) != 0;
    });
}

Rect Path::bounding_box() const {
    return with_scratch_context([&](cairo_t *cr) {
        append_to(cr);
        double x0, y0, x1, y1;
        cairo_path_extents(cr, &x0, &y0, &x1, &y1);
        return Rect{x0, y0, x1 - x0, y1 - y0};
    });
}

}  // namespace ui
