// The input level meter: a horizontal bar of the effect's level read-out in decibels, over two
// tints split at a critical level (the trigger sensitivity), inside a strip of the parameter
// controls' look. [UI thread]
#pragma once

#include "view/controls/strip_control.h"

#include <optional>

class HF_Volume_Response_View : public view::strip_control {
public:
    HF_Volume_Response_View() : strip_control({}) {}

    void set_level(float level);  // linear amplitude
    void set_critical_level(float level_db);
    void set_db_minimum(float minimum_db, float maximum_db);  // no redraw
    // Each colour given replaces the current one; none leaves it. No redraw.
    void set_curve_color(std::optional<ui::Color> curve, std::optional<ui::Color> fill,
                         std::optional<ui::Color> critical_fill);
    void set_text_color(std::optional<ui::Color> color);
    float location_for_db(float db) const;
    float db_for_location(float x) const;
    void drawGraph() { setNeedsDisplay(); }

    float level() const { return _volume; }
    double level_db() const { return _volume_db; }
    float critical_level() const { return _critical_level_db; }
    ui::Rect graph_frame() const { return _graph_frame; }

    void initWithFrame(const ui::Rect &frame) override;
    // A read-out, not a control: a press on it may drag the window, as on the background.
    bool mouseDownCanMoveWindow() const override { return ui::View::mouseDownCanMoveWindow(); }

protected:
    // The level bar and the two tints, inside the graph frame.
    void draw_content(ui::GraphicsContext &context) override;

private:
    ui::Rect _control_rect, _graph_frame;
    // The platform keeps an unused graph image and curve path here; they have no visible effect
    // and are left out.
    std::optional<ui::Color> _curve_color, _fill_color, _critical_fill_color;
    ui::Color _text_color = ui::Color::black();
    float _db_min = -80, _db_max = 20;
    float _db_scale = 0;  // horizontal units per decibel
    float _critical_level_db = -12;
    float _volume = 0;
    double _volume_db = -90;
};
