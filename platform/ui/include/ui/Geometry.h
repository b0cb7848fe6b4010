// Points, sizes and rectangles of the editor toolkit, in points (1/72 inch before scaling), with
// y growing upward: a view's origin is its lower-left corner.
#pragma once

#include <algorithm>

namespace ui {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point &, const Point &) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size &, const Size &) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    double min_x() const { return x; }
    double min_y() const { return y; }
    double max_x() const { return x + width; }
    double max_y() const { return y + height; }
    double mid_x() const { return x + width / 2; }
    double mid_y() const { return y + height / 2; }
    bool is_empty() const { return !(width > 0) || !(height > 0); }
    // Half-open on the right and top edges, so adjacent rectangles never both contain a point.
    bool contains(Point p) const { return p.x >= x && p.x < x + width && p.y >= y && p.y < y + height; }
    Rect offset(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    Rect inset(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    Rect intersection(const Rect &o) const {
        double x0 = std::max(x, o.x), y0 = std::max(y, o.y);
        double x1 = std::min(max_x(), o.max_x()), y1 = std::min(max_y(), o.max_y());
        if (x1 <= x0 || y1 <= y0) return {};
        return {x0, y0, x1 - x0, y1 - y0};
    }
    Rect union_with(const Rect &o) const {
        if (is_empty()) return o;
        if (o.is_empty()) return *this;
        double x0 = std::min(x, o.x), y0 = std::min(y, o.y);
        return {x0, y0, std::max(max_x(), o.max_x()) - x0, std::max(max_y(), o.max_y()) - y0};
    }
    friend bool operator==(const Rect &, const Rect &) = default;
};

}  // namespace ui
