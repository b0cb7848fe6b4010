// The drawing context handed to drawRect: Cairo underneath, in view coordinates with y up.
//
// It keeps the platform's model where Cairo has none: a shadow is part of the graphics state and
// falls from every fill, stroke, shading and transparency layer drawn while it is set; a
// transparency layer composites its contents as one group (with the shadow that was set when it
// began).
#pragma once

#include "ui/Color.h"
#include "ui/Geometry.h"
#include "ui/Path.h"
#include "ui/Shading.h"
#include "ui/Text.h"

#include <memory>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;

namespace ui {

class DrawingLayer;

class GraphicsContext {
public:
    // Draws into `cr`, whose user space must already map view coordinates (y up, in points) to
    // device pixels; `scale` is the pixels per point of that mapping (shadow blur and offsets are
    // scaled by it).
    GraphicsContext(cairo_t *cr, double scale);
    ~GraphicsContext();
    GraphicsContext(const GraphicsContext &) = delete;
    GraphicsContext &operator=(const GraphicsContext &) = delete;

    cairo_t *cairo() const { return _cr; }
    double scale_factor() const { return _scale; }

    // State: line width, colours, clip, transformation and shadow are saved and restored together.
    void save_state();
    void restore_state();
    void translate(double dx, double dy);
    void scale(double sx, double sy);

    // The current path.
    void begin_path();
    void move_to(Point p);
    void line_to(Point p);
    void add_arc(Point center, double radius, double a0, double a1, bool clockwise = false);
    void add_arc_to_point(Point p1, Point p2, double radius);
    void add_rect(const Rect &r);
    void add_ellipse_in_rect(const Rect &r);
    void add_rounded_rect(const Rect &r, double oval_width, double oval_height);
    void add_path(const Path &path);
    void close_path();

    // Painting consumes the current path.
    void set_line_width(double w);
    void set_fill_color(const Color &c);
    void set_stroke_color(const Color &c);
    void fill_path();
    void stroke_path();
    void fill_then_stroke_path();  // the same path, filled and then stroked
    void fill_rect(const Rect &r);
    void stroke_rect(const Rect &r);
    void fill_ellipse_in_rect(const Rect &r);
    // Intersects the clip with the current path (non-zero winding) and consumes it.
    void clip();
    void clip_to_rect(const Rect &r);

    // Shadow of everything drawn after this: offset in points (y up), blur radius in points.
    void set_shadow(double offset_x, double offset_y, double blur, const Color &color);
    void clear_shadow();

    // Group drawing: everything until the matching end is composited at once with `alpha` (and
    // with the shadow in effect at the begin). Inside, the shadow starts cleared.
    void begin_transparency_layer(double alpha = 1.0);
    void end_transparency_layer();

    // Paints the shading inside the current clip.
    void draw_shading(const Shading &shading);
    // Composites the layer where its area lies in this user space, inside the current clip, to
    // the nearest whole device pixel (exact when the layer fits this context).
    void draw_layer(const DrawingLayer &layer);

    // Text wrapped to the rectangle's width, from its top edge down, clipped to the rectangle.
    void draw_text_in_rect(const std::string &utf8, const Rect &r, const TextAttributes &attrs);
    // Width and height of one line of text with those attributes.
    Size measure_text(const std::string &utf8, const TextAttributes &attrs);

    // Non-zero when a Cairo call failed (for tests of robustness).
    int status() const;

private:
    struct Shadow {
        bool on = false;
        double dx = 0, dy = 0, blur = 0;
        Color color;
    };
    struct State {
        Color fill = Color::black();
        Color stroke = Color::black();
        Shadow shadow;
    };
    struct Layer {
        Shadow shadow;
        double alpha;
        size_t state_depth;
    };
    // Runs `paint` into a group and composites it with the current shadow (if any).
    template <class F> void with_shadow(F &&paint);
    void composite_group_with_shadow(cairo_pattern_t *group, const Shadow &shadow, double alpha);

    cairo_t *_cr;
    double _scale;
    State _state;
    std::vector<State> _saved;
    std::vector<Layer> _layers;
};

}  // namespace ui
