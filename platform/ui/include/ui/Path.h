// A reusable path in view coordinates (y up): built once, filled, stroked, clipped to or
// hit-tested many times.
#pragma once

#include "ui/Geometry.h"

#include <vector>

typedef struct _cairo cairo_t;

namespace ui {

class Path {
public:
    void move_to(Point p);
    void line_to(Point p);
    // An arc around `center` from angle a0 to a1 (radians, counter-clockwise from +x, y up),
    // counter-clockwise when `clockwise` is false; joined to the current point by a line.
    void add_arc(Point center, double radius, double a0, double a1, bool clockwise = false);
    // The platform's arc-to-point: an arc of `radius` tangent to the line from the current point to
    // `p1` and to the line from `p1` to `p2`.
    void add_arc_to_point(Point p1, Point p2, double radius);
    void add_rect(const Rect &r);
    void add_ellipse_in_rect(const Rect &r);
    // Corners are quarter ellipses of radii oval_width / 2 and oval_height / 2; a zero oval
    // dimension gives the plain rectangle.
    void add_rounded_rect(const Rect &r, double oval_width, double oval_height);
    void close();

    bool empty() const { return _ops.empty(); }
    // Non-zero winding, as fills use it.
    bool contains(Point p) const;
    Rect bounding_box() const;

    // Replays the path into a Cairo context (in that context's user space).
    void append_to(cairo_t *cr) const;

private:
    struct Op {
        enum Kind { move, line, arc, arc_negative, arc_to, rect, ellipse, rounded_rect, close } kind;
        double v[6];
    };
    std::vector<Op> _ops;
};

}  // namespace ui
