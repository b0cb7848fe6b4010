// The pure mappings behind the controls: value scales, steps, knob angles, menu wrap-around and
// the shading colour functions.
#include "view/controls/knob_geometry.h"
#include "view/controls/menu_steps.h"
#include "view/controls/scale_mapping.h"
#include "view/controls/shading_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using namespace view;
constexpr double pi = std::numbers::pi;

TEST(ScaleMapping, RoundTripsAndKeepsOrderOnEveryScale) {
    const struct { int32_t scale; double values[5]; } cases[] = {
        {scale_linear, {-80.0, -12.0, 0.0, 0.6, 2000.0}},
        {scale_logarithmic, {0.001, 0.5, 1.0, 20.0, 20000.0}},
        {scale_square_law, {-4.0, 0.0, 0.25, 250.0, 20000.0}},
        {7, {-80.0, -1.0, 0.0, 1.0, 3.0}},  // unknown types behave as linear
    };
    for (const auto &c : cases) {
        double previous = -INFINITY;
        for (double v : c.values) {
            const double p = position_from_value(v, c.scale);
            EXPECT_NEAR(value_from_position(p, c.scale), v, std::fabs(v) * 1e-12) << c.scale;
            EXPECT_GT(p, previous) << "scale " << c.scale << " at " << v;
            previous = p;
        }
    }
    EXPECT_TRUE(std::isfinite(position_from_value(0.0, scale_logarithmic)));
}

TEST(ScaleMapping, DragAndScrollStepsFollowTheSpanInPositionUnits) {
    const struct {
        const char *what;
        double value, minimum, maximum; int32_t scale;
        bool drag; double dx, dy, expected, tolerance;
    } cases[] = {
        {"drag up 10 points, -80..0 linear", -40, -80, 0, scale_linear, true, 0, -10, -36, 1e-12},
        {"drag right 10 points", -40, -80, 0, scale_linear, true, 10, 0, -39.6, 1e-12},
        {"one wheel unit, 0..2000 square-law", 250, 0, 2000, scale_square_law, false, 0, 1,
         252.836, 1e-3},
        {"wheel sideways", -40, -80, 0, scale_linear, false, 10, 0, -40.16, 1e-12},
        {"drag up on a decade scale", 10, 1, 1000, scale_logarithmic, true, 0, -10,
         10 * std::pow(10.0, 0.15), 1e-9},
    };
    for (const auto &c : cases) {
        const double got = c.drag ? drag_value(c.value, c.minimum, c.maximum, c.scale, c.dx, c.dy)
                                  : scroll_value(c.value, c.minimum, c.maximum, c.scale, c.dx, c.dy);
        EXPECT_NEAR(got, c.expected, c.tolerance) << c.what;
    }
}

TEST(KnobGeometry, AnglesAndPointing) {
    const double p_min = 0.0, p_max = std::sqrt(2000.0), scale = knob_scale(p_min, p_max);
    EXPECT_NEAR(knob_angle(position_from_value(500, scale_square_law), p_min, scale), pi / 2, 1e-12);
    EXPECT_NEAR(knob_angle(p_min, p_min, scale), 5 * pi / 4, 1e-12);
    EXPECT_NEAR(knob_angle(p_max, p_min, scale), -pi / 4, 1e-12);

    const struct { const char *where; double dx, dy, expected; } points[] = {
        {"straight up", 0, 30, p_max / 2},
        {"dead zone, just left of straight down", -0.01, -30, p_min},
        {"dead zone, just right of straight down", 0.01, -30, p_max},
        {"left, horizontal", -30, 0, p_max / 6},
        {"lower left, the minimum's own angle", -30, -30, p_min},
        {"lower right, the maximum's own angle", 30, -30, p_max},
    };
    for (const auto &pt : points)
        EXPECT_NEAR(knob_position_for_pointer(pt.dx, pt.dy, p_min, p_max, scale), pt.expected,
                    1e-5 * p_max) << pt.where;
    EXPECT_EQ(knob_position_for_pointer(1, 1, 3, 3, knob_scale(3, 3)), 3);  // collapsed range
}

TEST(MenuSteps, WrapAroundBothWays) {
    const struct { int32_t selected, count, previous, next; } cases[] = {
        {0, 10, 9, 1}, {9, 10, 8, 0}, {4, 5, 3, 0}, {0, 1, 0, 0}, {-1, 5, 4, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(previous_item(c.selected, c.count), c.previous) << c.selected << "/" << c.count;
        EXPECT_EQ(next_item(c.selected, c.count), c.next) << c.selected << "/" << c.count;
    }
}

// Colour functions at the points where the drawing's look is fixed: the red component (or alpha)
// of each at a few t.
TEST(ShadingFunctions, ValuesAtTheirCharacteristicPoints) {
    const two_color_info rings{{0.25, 0.25, 0.25, 1}, {0.99, 0.99, 0.99, 1}};
    const two_color_info face{{0.25, 0.25, 0.25, 1}, {0.95, 0.95, 0.95, 1}};
    const two_color_info shine{{0.99, 0.99, 0.99, 0}, {0.99, 0.99, 0.99, 0.3333}};
    const two_color_info selected_cap{{0.15, 0.75, 0.15, 1}, {0, 0, 0, 1}};
    const two_color_info menu_cap{{0.0125, 0.0125, 0.0425, 1}, {0.25, 0.25, 0.93, 1}};
    const rgba grey_half{0.5, 0.5, 0.5, 1}, body{0.1, 0.1, 0.1, 1};
    const struct { const char *what; double got, expected; } cases[] = {
        {"ring dark at 0", two_color_span_evaluate(rings, 0).red, 0.25},
        {"ring dark at 1/8", two_color_span_evaluate(rings, 0.125).red, 0.25},
        {"ring light at 1/16", two_color_span_evaluate(rings, 0.0625).red, 0.99},
        {"face dark at end", body_panel_evaluate(face, 1).red, 0.25},
        {"face light in middle", body_panel_evaluate(face, 0.5).red, 0.95},
        {"shine alpha at centre", knob_shine_evaluate(shine, 0.5).alpha, 0.3333},
        {"shine gone past 0.157", knob_shine_evaluate(shine, 0.5 + 0.16).alpha, 0.0},
        {"shine clamped far out", knob_shine_evaluate(shine, 0).alpha, 0.0},
        {"strip body black at edge", strip_body_evaluate(body, 0).red, 0.0},
        {"strip body 0.1 at mid-height", strip_body_evaluate(body, 0.5).red, 0.1},
        {"cap green inside", end_cap_evaluate(selected_cap, 0).green, 0.75},
        {"cap black outside", end_cap_evaluate(selected_cap, 1).green, 0.0},
        {"cap half way", end_cap_evaluate(selected_cap, 0.5).green, 0.375},
        {"strip shine at band edge", strip_shine_evaluate(0.35, 1).alpha, 0.1125},
        {"strip shine at centre", strip_shine_evaluate(0.5, 1).alpha, 0.15},
        {"strip shine outside", strip_shine_evaluate(0.3, 1).alpha, 0.0},
        {"button shine factor", strip_shine_evaluate(0.5, 0.99).alpha, 0.1485},
        {"menu cap blue tip", menu_cap_evaluate(menu_cap, 1).blue, 0.93},
        {"menu cap linear below 0.15", menu_cap_evaluate(menu_cap, 0.1).blue, 0.0425 * 0.9 + 0.093},
        {"menu cap squared above", menu_cap_evaluate(menu_cap, 0.5).blue, 0.0425 * 0.75 + 0.2325},
        {"panel band edge", panel_band_evaluate(grey_half, 0).red, 0.25},
        {"panel band middle", panel_band_evaluate(grey_half, 0.5).red, 0.5},
        {"side bar end", panel_sidebar_evaluate(grey_half, 1).red, 0.125},
        {"side bar middle", panel_sidebar_evaluate(grey_half, 0.5).red, 0.5},
    };
    for (const auto &c : cases) EXPECT_NEAR(c.got, c.expected, 1e-6) << c.what;
}

}  // namespace
