#include "view/controls/HF_Volume_Response_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>

UI_REGISTER_CLASS(HF_Volume_Response_View);

void HF_Volume_Response_View::initWithFrame(const ui::Rect &frame) {
    strip_control::initWithFrame(frame);
    const ui::Rect b = bounds();
    _control_rect = {b.x + 5.5, b.y + 3, b.width - 11, b.height - 6};
    _graph_frame = _control_rect;
    set_db_minimum(-80, 20);
}

void HF_Volume_Response_View::set_level(float level) {
    _volume = level;
    _volume_db = level > 0 ? 20.0 * std::log10(level) : _db_min;
    setNeedsDisplay();
}

void HF_Volume_Response_View::set_critical_level(float level_db) {
    _critical_level_db = level_db;
    setNeedsDisplay();
}

void HF_Volume_Response_View::set_db_minimum(float minimum_db, float maximum_db) {
    _db_min = minimum_db;
    _db_max = maximum_db;
    _db_scale = static_cast<float>(_graph_frame.width / (maximum_db - minimum_db));
}

void HF_Volume_Response_View::set_curve_color(std::optional<ui::Color> curve,
                                              std::optional<ui::Color> fill,
                                              std::optional<ui::Color> critical_fill) {
    if (curve) _curve_color = curve;
    if (fill) _fill_color = fill;
    if (critical_fill) _critical_fill_color = critical_fill;
}

void HF_Volume_Response_View::set_text_color(std::optional<ui::Color> color) {
    if (color) _text_color = *color;
    setNeedsDisplay();
}

float HF_Volume_Response_View::location_for_db(float db) const {
    return (db - _db_min) * _db_scale + static_cast<float>(_graph_frame.x);
}

float HF_Volume_Response_View::db_for_location(float x) const {
    return (x - static_cast<float>(_graph_frame.x)) / _db_scale + _db_min;
}

void HF_Volume_Response_View::draw_content(ui::GraphicsContext &context) {
    context.save_state();
    context.clip_to_rect(_graph_frame);
    const ui::Rect c = _control_rect;
    const double level_x = location_for_db(static_cast<float>(_volume_db));
    const double critical_x = location_for_db(_critical_level_db);
    // Rectangles of negative width (a level below the range) draw nothing; a level above the
    // range is cut at the graph's right edge. Held to the graph here as well as by the clip, so
    // an infinite level or an empty decibel range never reaches the drawing as a coordinate.
    auto fill = [&](double x0, double x1, const ui::Color &color) {
        x0 = std::max(x0, c.x);
        x1 = std::min(x1, c.max_x());
        if (!(x1 > x0)) return;
        context.set_fill_color(color);
        context.fill_rect({x0, c.y, x1 - x0, c.height});
    };
    if (_curve_color && _fill_color && _critical_fill_color) {
        // Both tints lie over the bar, so with half-transparent colours the bar shows through.
        fill(c.x, level_x, *_curve_color);
        fill(c.x, critical_x, *_fill_color);
        fill(critical_x, c.max_x(), *_critical_fill_color);
    } else {
        fill(c.x, level_x, {0, 0, 1, 0.4});
    }
    context.restore_state();
}
