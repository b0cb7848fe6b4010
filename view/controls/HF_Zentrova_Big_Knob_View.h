// The editor's one large rotary knob. It has no parameter of its own: the main view loads it with
// the selected parameter control's range and value and forwards the user's changes. It turns
// through 270 degrees, jumps to the angle it is pointed at, resets on a double click and follows
// the scroll wheel. Values are held in position units of the scale type (see scale_mapping.h).
// [UI thread]
#pragma once

#include "ui/DrawingLayer.h"
#include "ui/Path.h"
#include "ui/View.h"
#include "view/controls/control_support.h"

#include <cstdint>
#include <memory>

class HF_Zentrova_Big_Knob_View : public ui::View, public view::device_rgb_drawing {
public:
    using callback = view::control_callback<HF_Zentrova_Big_Knob_View>;

    // Range, default and scale type in parameter units. The indicator stays where it is until
    // the next set_current_value, which callers always send next.
    void set_values_minimum(double minimum, double maximum, double default_value,
                            int32_t scale_type);
    // Clamped to the range; no callback.
    void set_current_value(double value);
    double current_value() const;
    int32_t scale_type() const { return _scale_type; }
    void set_callback(callback::selector selector, ui::Object *host) {
        _callback.set(std::move(selector), host);
    }

    void initWithFrame(const ui::Rect &frame) override;
    void awakeFromNib() override { setNeedsDisplay(); }
    void mouseDown(const ui::Event &e) override;
    void mouseDragged(const ui::Event &e) override;
    void mouseUp(const ui::Event &e) override;
    void scrollWheel(const ui::Event &e) override;
    bool mouseDownCanMoveWindow() const override { return false; }
    // The disc and the highlight come from layers drawn once for the context's scale and pixel
    // alignment (where the knob lies on whole pixels); only the indicator is drawn anew.
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    // The disc (rings and face) and the highlight. False when a shading could not be made (the
    // rest of that step is skipped).
    bool do_knob(ui::GraphicsContext &context);
    bool do_shine(ui::GraphicsContext &context);
    void update_knob_location();

    // The indicator dot's centre and the disc, for whoever draws over the knob (and tests).
    ui::Point indicator_center() const { return {_x, _y}; }
    ui::Rect knob_rect() const { return _knob_rect; }
    bool is_mouse_down() const { return _mouse_is_down; }

private:
    void set_value_from_pointer(const ui::Event &e);
    void changed();  // calls back, moves the indicator, redraws
    bool draw_disc(ui::GraphicsContext &context);
    void draw_indicator(ui::GraphicsContext &context);
    bool make_layers(ui::GraphicsContext &context);  // false when a shading failed

    bool _mouse_is_down = false;
    int32_t _scale_type = 0;
    ui::Rect _control_rect;
    ui::Rect _knob_rect;
    ui::Path _knob_hit_path;
    callback _callback;
    // Position units.
    double _value = 0, _minimum_value = 0, _maximum_value = 1, _default_value = 0;
    ui::Point _origin;
    double _radius = 0;
    double _theta_min = 0, _theta_max = 0;
    double _scale = 0;           // radians per position unit
    double _rotation_scale = 0;  // position units per wheel unit
    double _x = 0, _y = 0;
    // The disc with its shadow, and the highlight, as drawing them in place would leave them.
    // Made again when the scale or the pixel alignment changes, and not kept after a shading
    // failed, so that the failure is logged and skipped on every frame as without them.
    std::unique_ptr<ui::DrawingLayer> _disc_layer, _shine_layer;
};
