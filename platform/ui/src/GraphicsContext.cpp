#include "ui/GraphicsContext.h"

#include "DeviceBox.h"
#include "ui/DrawingLayer.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdint>
#include <pango/pangocairo.h>
#include <vector>

namespace ui {

namespace {

void set_source(cairo_t *cr, const Color &c) { cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha); }

// One pass of a box blur of width 2r + 1 over `count` values `step` bytes apart; outside is zero.
void box_blur_line(uint8_t *data, int count, int step, int r, std::vector<int> &scratch) {
    scratch.assign(size_t(count), 0);
    for (int i = 0; i < count; ++i) scratch[size_t(i)] = data[i * step];
    const int width = 2 * r + 1;
    int sum = 0;
    for (int i = 0; i <= std::min(r, count - 1); ++i) sum += scratch[size_t(i)];
    for (int i = 0; i < count; ++i) {
        data[i * step] = uint8_t((sum + width / 2) / width);
        const int add = i + r + 1, drop = i - r;
        if (add < count) sum += scratch[size_t(add)];
        if (drop >= 0) sum -= scratch[size_t(drop)];
    }
}

// Three box passes each way approximate a Gaussian (Cairo has no blur of its own).
void blur_alpha(cairo_surface_t *mask, int r) {
    if (r <= 0) return;
    cairo_surface_flush(mask);
    uint8_t *data = cairo_image_surface_get_data(mask);
    const int w = cairo_image_surface_get_width(mask), h = cairo_image_surface_get_height(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    std::vector<int> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) box_blur_line(data + y * stride, w, 1, r, scratch);
        for (int x = 0; x < w; ++x) box_blur_line(data + x, h, stride, r, scratch);
    }
    cairo_surface_mark_dirty(mask);
}

// The box radius whose three passes spread like a Gaussian of sigma = blur / 2 device pixels: the
// platform's blur value reads as the distance over which the shadow fades out.
int box_radius_for_blur(double blur_pixels) {
    const double sigma = blur_pixels / 2;
    const double width = std::sqrt(4 * sigma * sigma + 1);
    return std::max(0, int(std::lround((width - 1) / 2)));
}

// Device-space bounding box of the current clip, rounded out.
bool device_clip_box(cairo_t *cr, int &x0, int &y0, int &x1, int &y1) {
    double ux0, uy0, ux1, uy1;
    cairo_clip_extents(cr, &ux0, &uy0, &ux1, &uy1);
    if (!device_box(cr, ux0, uy0, ux1, uy1, x0, y0, x1, y1)) return false;
    // A runaway clip (an unbounded group) would ask for a huge image: no shadow rather than that.
    return (int64_t(x1 - x0) * (y1 - y0)) < (int64_t(1) << 26);
}

}  // namespace

bool device_box(cairo_t *cr, double ux0, double uy0, double ux1, double uy1, int &x0, int &y0, int &x1, int &y1) {
    double xs[4] = {ux0, ux1, ux0, ux1}, ys[4] = {uy0, uy0, uy1, uy1};
    double dx0 = INFINITY, dy0 = INFINITY, dx1 = -INFINITY, dy1 = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        cairo_user_to_device(cr, &xs[i], &ys[i]);
        dx0 = std::min(dx0, xs[i]);
        dy0 = std::min(dy0, ys[i]);
        dx1 = std::max(dx1, xs[i]);
        dy1 = std::max(dy1, ys[i]);
    }
    if (!(dx1 > dx0) || !(dy1 > dy0)) return false;
    x0 = int(std::floor(dx0));
    y0 = int(std::floor(dy0));
    x1 = int(std::ceil(dx1));
    y1 = int(std::ceil(dy1));
    return true;
}

GraphicsContext::GraphicsContext(cairo_t *cr, double scale) : _cr(cairo_reference(cr)), _scale(scale) {
    cairo_set_line_width(_cr, 1.0);
}

GraphicsContext::~GraphicsContext() {
    // Unbalanced layers and saves are closed so the target is left as it was given.
    while (!_layers.empty()) end_transparency_layer();
    while (!_saved.empty()) restore_state();
    cairo_destroy(_cr);
}

void GraphicsContext::save_state() {
    cairo_save(_cr);
    _saved.push_back(_state);
}

void GraphicsContext::restore_state() {
    // A restore cannot reach past the save that opened the innermost layer.
    const size_t floor = _layers.empty() ? 0 : _layers.back().state_depth + 1;
    if (_saved.size() <= floor) return;
    cairo_restore(_cr);
    _state = _saved.back();
    _saved.pop_back();
}

void GraphicsContext::translate(double dx, double dy) { cairo_translate(_cr, dx, dy); }
void GraphicsContext::scale(double sx, double sy) { cairo_scale(_cr, sx, sy); }

void GraphicsContext::begin_path() { cairo_new_path(_cr); }
void GraphicsContext::move_to(Point p) { cairo_move_to(_cr, p.x, p.y); }
void GraphicsContext::line_to(Point p) { cairo_line_to(_cr, p.x, p.y); }
void GraphicsContext::close_path() { cairo_close_path(_cr); }

void GraphicsContext::add_arc(Point c, double r, double a0, double a1, bool clockwise) {
    Path p;
    p.add_arc(c, r, a0, a1, clockwise);
    p.append_to(_cr);
}
void GraphicsContext::add_arc_to_point(Point p1, Point p2, double r) {
    Path p;
    p.add_arc_to_point(p1, p2, r);
    p.append_to(_cr);
}
void GraphicsContext::add_rect(const Rect &r) { cairo_rectangle(_cr, r.x, r.y, r.width, r.height); }
void GraphicsContext::add_ellipse_in_rect(const Rect &r) {
    Path p;
    p.add_ellipse_in_rect(r);
    p.append_to(_cr);
}
void GraphicsContext::add_rounded_rect(const Rect &r, double ow, double oh) {
    Path p;
    p.add_rounded_rect(r, ow, oh);
    p.append_to(_cr);
}
void GraphicsContext::add_path(const Path &path) { path.append_to(_cr); }

void GraphicsContext::set_line_width(double w) { cairo_set_line_width(_cr, w); }
void GraphicsContext::set_fill_color(const Color &c) { _state.fill = c; }
void GraphicsContext::set_stroke_color(const Color &c) { _state.stroke = c; }

template <class F> void GraphicsContext::with_shadow(F &&paint) {
    if (!_state.shadow.on) {
        paint();
        return;
    }
    cairo_push_group(_cr);
    paint();
    cairo_pattern_t *group = cairo_pop_group(_cr);
    composite_group_with_shadow(group, _state.shadow, 1.0);
    cairo_pattern_destroy(group);
}

void GraphicsContext::composite_group_with_shadow(cairo_pattern_t *group, const Shadow &shadow, double alpha) {
    int x0, y0, x1, y1;
    if (shadow.on && shadow.color.alpha > 0 && device_clip_box(_cr, x0, y0, x1, y1)) {
        const int r = box_radius_for_blur(shadow.blur * _scale);
        const int pad = 3 * r + 1;
        x0 -= pad;
        y0 -= pad;
        x1 += pad;
        y1 += pad;
        cairo_surface_t *mask = cairo_image_surface_create(CAIRO_FORMAT_A8, x1 - x0, y1 - y0);
        cairo_t *m = cairo_create(mask);
        cairo_matrix_t ctm;
        cairo_get_matrix(_cr, &ctm);
        cairo_translate(m, -x0, -y0);
        cairo_transform(m, &ctm);
        cairo_set_source(m, group);
        cairo_paint(m);
        cairo_destroy(m);
        blur_alpha(mask, r);
        // Offsets are in the view's unflipped points: up on screen is -y in device pixels.
        cairo_save(_cr);
        cairo_identity_matrix(_cr);
        cairo_set_source_rgba(_cr, shadow.color.red, shadow.color.green, shadow.color.blue, shadow.color.alpha * alpha);
        cairo_mask_surface(_cr, mask, x0 + shadow.dx * _scale, y0 - shadow.dy * _scale);
        cairo_restore(_cr);
        cairo_surface_destroy(mask);
    }
    cairo_set_source(_cr, group);
    cairo_paint_with_alpha(_cr, alpha);
}

void GraphicsContext::fill_path() {
    with_shadow([&] {
        set_source(_cr, _state.fill);
        cairo_fill(_cr);
    });
    cairo_new_path(_cr);
}

void GraphicsContext::stroke_path() {
    with_shadow([&] {
        set_source(_cr, _state.stroke);
        cairo_stroke(_cr);
    });
    cairo_new_path(_cr);
}

void GraphicsContext::fill_then_stroke_path() {
    with_shadow([&] {
        set_source(_cr, _state.fill);
        cairo_fill_preserve(_cr);
        set_source(_cr, _state.stroke);
        cairo_stroke(_cr);
    });
    cairo_new_path(_cr);
}

void GraphicsContext::fill_rect(const Rect &r) {
    cairo_new_path(_cr);
    add_rect(r);
    fill_path();
}

void GraphicsContext::stroke_rect(const Rect &r) {
    cairo_new_path(_cr);
    add_rect(r);
    stroke_path();
}

void GraphicsContext::fill_ellipse_in_rect(const Rect &r) {
    cairo_new_path(_cr);
    add_ellipse_in_rect(r);
    fill_path();
}

void GraphicsContext::clip() {
    cairo_set_fill_rule(_cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(_cr);
}

void GraphicsContext::clip_to_rect(const Rect &r) {
    cairo_new_path(_cr);
    add_rect(r);
    cairo_clip(_cr);
}

void GraphicsContext::set_shadow(double dx, double dy, double blur, const Color &color) {
    _state.shadow = {true, dx, dy, std::max(0.0, blur), color};
}

void GraphicsContext::clear_shadow() { _state.shadow = {}; }

void GraphicsContext::begin_transparency_layer(double alpha) {
    _layers.push_back({_state.shadow, std::clamp(alpha, 0.0, 1.0), _saved.size()});
    save_state();  // the layer's own state: restored when it ends
    _state.shadow = {};
    cairo_push_group(_cr);
}

void GraphicsContext::end_transparency_layer() {
    if (_layers.empty()) return;
    const Layer layer = _layers.back();
    // Saves left open inside the layer close with it.
    while (_saved.size() > layer.state_depth + 1) {
        cairo_restore(_cr);
        _saved.pop_back();
    }
    cairo_pattern_t *group = cairo_pop_group(_cr);
    _layers.pop_back();
    _state = _saved.back();
    _saved.pop_back();
    cairo_restore(_cr);
    composite_group_with_shadow(group, layer.shadow, layer.alpha);
    cairo_pattern_destroy(group);
}

void GraphicsContext::draw_shading(const Shading &shading) {
    with_shadow([&] {
        cairo_set_source(_cr, shading.pattern());
        cairo_paint(_cr);
    });
}

void GraphicsContext::draw_layer(const DrawingLayer &layer) {
    int x, y;
    layer.device_origin_in(*this, x, y);
    with_shadow([&] {
        cairo_save(_cr);
        cairo_identity_matrix(_cr);
        cairo_set_source_surface(_cr, layer._surface, x, y);
        cairo_paint(_cr);
        cairo_restore(_cr);
    });
}

namespace {

PangoLayout *make_layout(cairo_t *cr, const std::string &text, const TextAttributes &attrs) {
    PangoLayout *layout = pango_cairo_create_layout(cr);
    // Metrics that do not depend on the device scale, so text wraps the same at every HiDPI scale.
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription *font = pango_font_description_new();
    pango_font_description_set_family(font, attrs.font.family.c_str());
    pango_font_description_set_weight(font, attrs.font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    // Absolute: a size in user-space units (points), not Pango's DPI-scaled points.
    pango_font_description_set_absolute_size(font, std::max(1.0, attrs.font.size) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.data(), int(text.size()));
    return layout;
}

}  // namespace

void GraphicsContext::draw_text_in_rect(const std::string &text, const Rect &r, const TextAttributes &attrs) {
    if (r.is_empty() || text.empty()) return;
    cairo_save(_cr);
    // Pango lays out downward: put its origin at the rectangle's top-left corner, y down.
    cairo_translate(_cr, r.x, r.max_y());
    cairo_scale(_cr, 1, -1);
    cairo_new_path(_cr);
    cairo_rectangle(_cr, 0, 0, r.width, r.height);
    cairo_clip(_cr);
    PangoLayout *layout = make_layout(_cr, text, attrs);
    pango_layout_set_width(layout, int(r.width * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout, attrs.alignment == TextAlignment::center  ? PANGO_ALIGN_CENTER
                                       : attrs.alignment == TextAlignment::right ? PANGO_ALIGN_RIGHT
                                                                                 : PANGO_ALIGN_LEFT);
    with_shadow([&] {
        set_source(_cr, attrs.color);
        pango_cairo_show_layout(_cr, layout);
    });
    g_object_unref(layout);
    cairo_restore(_cr);
}

Size GraphicsContext::measure_text(const std::string &text, const TextAttributes &attrs) {
    PangoLayout *layout = make_layout(_cr, text, attrs);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
}

int GraphicsContext::status() const { return int(cairo_status(_cr)); }

}  // namespace ui
