#include "view/controls/HF_Zentrova_Big_Knob_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "view/controls/knob_geometry.h"
#include "view/controls/scale_mapping.h"
#include "view/controls/shading_functions.h"

#include <algorithm>
#include <cmath>

UI_REGISTER_CLASS(HF_Zentrova_Big_Knob_View);

using view::position_from_value;
using view::value_from_position;

// The geometry is computed once, from the bounds at creation; the knob never follows later
// changes of its bounds.
void HF_Zentrova_Big_Knob_View::initWithFrame(const ui::Rect &frame) {
    View::initWithFrame(frame);
    _control_rect = bounds();
    _knob_rect = _control_rect.inset(5, 5);
    _mouse_is_down = false;
    _value = _minimum_value = _default_value = 0;
    _maximum_value = 1;
    _scale_type = view::scale_linear;
    _origin = {_knob_rect.mid_x(), _knob_rect.mid_y()};
    _radius = _knob_rect.width / 2 - 12;
    _theta_min = view::knob_theta_min;
    _theta_max = view::knob_theta_max;
    _scale = view::knob_scale(_minimum_value, _maximum_value);
    _rotation_scale = (_maximum_value - _minimum_value) * 0.001;
    update_knob_location();
    _knob_hit_path = {};
    _knob_hit_path.add_ellipse_in_rect(_control_rect);
    setNeedsDisplay();
}

void HF_Zentrova_Big_Knob_View::set_values_minimum(double minimum, double maximum,
                                                   double default_value, int32_t scale_type) {
    if (maximum < minimum) minimum = maximum;
    default_value = std::clamp(default_value, minimum, maximum);
    const double value = current_value();
    _scale_type = scale_type;
    _default_value = position_from_value(default_value, scale_type);
    _minimum_value = position_from_value(minimum, scale_type);
    _maximum_value = position_from_value(maximum, scale_type);
    _value = std::clamp(position_from_value(value, scale_type), _minimum_value, _maximum_value);
    _scale = view::knob_scale(_minimum_value, _maximum_value);
    _rotation_scale = (_maximum_value - _minimum_value) * 0.001;
    setNeedsDisplay();
}

void HF_Zentrova_Big_Knob_View::set_current_value(double value) {
    if (std::isnan(value)) return;  // as the parameter controls: keep the last real value
    _value = std::clamp(position_from_value(value, _scale_type), _minimum_value, _maximum_value);
    update_knob_location();
    setNeedsDisplay();
}

double HF_Zentrova_Big_Knob_View::current_value() const {
    return value_from_position(_value, _scale_type);
}

void HF_Zentrova_Big_Knob_View::update_knob_location() {
    // A collapsed range makes the scale infinite; the indicator then rests at the minimum's angle.
    const double offset = _value - _minimum_value;
    const double a = offset == 0 ? _theta_min : view::knob_angle(_value, _minimum_value, _scale);
    _x = std::cos(a) * _radius + _origin.x;
    _y = std::sin(a) * _radius + _origin.y;
}

void HF_Zentrova_Big_Knob_View::set_value_from_pointer(const ui::Event &e) {
    const ui::Point p = convert_point_from_view(e.location_in_window, nullptr);
    _value = view::knob_position_for_pointer(p.x - _origin.x, p.y - _origin.y, _minimum_value,
                                             _maximum_value, _scale);
}

void HF_Zentrova_Big_Knob_View::changed() {
    _callback.send(*this);
    update_knob_location();
    setNeedsDisplay();
}

void HF_Zentrova_Big_Knob_View::mouseDown(const ui::Event &e) {
    if (e.click_count == 2) {
        _value = _default_value;
        changed();
        return;
    }
    if (_knob_hit_path.contains(convert_point_from_view(e.location_in_window, nullptr))) {
        _mouse_is_down = true;
        set_value_from_pointer(e);
    }
    changed();  // a press outside the disc still calls back, with the value unchanged
}

void HF_Zentrova_Big_Knob_View::mouseDragged(const ui::Event &e) {
    if (!_mouse_is_down) return;
    set_value_from_pointer(e);
    changed();
}

void HF_Zentrova_Big_Knob_View::mouseUp(const ui::Event &) {
    _mouse_is_down = false;
    setNeedsDisplay();
}

void HF_Zentrova_Big_Knob_View::scrollWheel(const ui::Event &e) {
    _value = std::clamp(_value + (e.delta_y - e.delta_x) * _rotation_scale, _minimum_value,
                        _maximum_value);
    changed();
}

namespace {
constexpr ui::Color shadow_color{0, 0, 0, 0.666f};
}

void HF_Zentrova_Big_Knob_View::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    // The disc and the highlight come from layers made once per scale and pixel alignment, where
    // a layer gives back exactly what drawing in place gives; elsewhere they are drawn in place.
    const bool layered = ui::DrawingLayer::is_exact(context, _control_rect);
    bool keep_layers = layered;
    if (layered && !(_disc_layer && _disc_layer->fits(context) && _shine_layer->fits(context)))
        keep_layers = make_layers(context);
    // The knob is composited as one group so its shadow falls from the whole disc at once.
    context.begin_transparency_layer();
    if (layered)
        context.draw_layer(*_disc_layer);
    else
        draw_disc(context);
    draw_indicator(context);
    if (layered)
        context.draw_layer(*_shine_layer);
    else
        do_shine(context);
    context.end_transparency_layer();
    if (!keep_layers) {
        _disc_layer.reset();
        _shine_layer.reset();
    }
}

// The layers hold what the knob's transparency group holds at those steps: the group starts
// transparent, so what lies under the knob never enters them.
bool HF_Zentrova_Big_Knob_View::make_layers(ui::GraphicsContext &context) {
    bool drawn = true;
    _disc_layer = std::make_unique<ui::DrawingLayer>(
        context, _control_rect, [&](ui::GraphicsContext &c) { drawn = draw_disc(c); });
    _shine_layer = std::make_unique<ui::DrawingLayer>(
        context, _control_rect, [&](ui::GraphicsContext &c) { drawn = do_shine(c) && drawn; });
    return drawn;
}

// The disc casting its shadow.
bool HF_Zentrova_Big_Knob_View::draw_disc(ui::GraphicsContext &context) {
    context.save_state();
    context.set_shadow(-2, -2, 2, shadow_color);
    const bool drawn = do_knob(context);
    context.restore_state();
    return drawn;
}

// A blue dot casting the disc's shadow.
void HF_Zentrova_Big_Knob_View::draw_indicator(ui::GraphicsContext &context) {
    context.save_state();
    context.set_shadow(-2, -2, 2, shadow_color);
    context.begin_path();
    context.add_ellipse_in_rect({_x - 5, _y - 5, 10, 10});
    context.set_line_width(1.5);
    context.set_stroke_color({0.05f, 0.05f, 0.25, 1});
    context.set_fill_color({0.25, 0.25, 0.95f, 1});
    context.fill_then_stroke_path();
    context.restore_state();
}

bool HF_Zentrova_Big_Knob_View::do_knob(ui::GraphicsContext &context) {
    const ui::Rect k = _knob_rect;
    const ui::Point centre{k.mid_x(), k.mid_y()};

    // Concentric rings, of which only a rim 4 units wide stays visible around the face.
    context.save_state();
    context.clip_to_rect(k);
    context.begin_path();
    context.add_ellipse_in_rect(k);
    context.clip();
    const view::two_color_info rings{{0.25, 0.25, 0.25, 1}, {0.99, 0.99, 0.99, 1}};
    const bool drawn = view::draw_radial_shading(context, centre, k.width / 2, centre, 0,
        [rings](double t) { return view::two_color_span_evaluate(rings, t); });
    context.restore_state();
    if (!drawn) return false;

    // The face: dark at both ends of its diagonal, light across its middle.
    context.save_state();
    context.begin_path();
    context.add_ellipse_in_rect(k.inset(4, 4));
    context.clip();
    const view::two_color_info face{{0.25, 0.25, 0.25, 1}, {0.95, 0.95, 0.95, 1}};
    const bool face_drawn =
        view::draw_axial_shading(context, {k.x + 4, k.y + 4}, {k.max_x() - 4, k.max_y() - 4},
            [face](double t) { return view::body_panel_evaluate(face, t); });
    context.restore_state();
    return face_drawn;
}

bool HF_Zentrova_Big_Knob_View::do_shine(ui::GraphicsContext &context) {
    const ui::Rect k = _knob_rect;
    context.save_state();
    context.begin_path();
    context.add_ellipse_in_rect({k.x + 4, k.y, k.width - 8, k.height - 4});
    context.clip();
    const view::two_color_info shine{{0.99, 0.99, 0.99, 0}, {0.99, 0.99, 0.99, 0.3333}};
    const bool drawn =
        view::draw_axial_shading(context, {k.x + 4, k.y}, {k.max_x() - 4, k.max_y() - 4},
            [shine](double t) { return view::knob_shine_evaluate(shine, t); });
    context.restore_state();
    return drawn;
}
