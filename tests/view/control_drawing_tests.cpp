// Pixel probes at the points where the controls' drawing is fixed. No whole-image comparisons:
// fonts differ between machines, the geometry and colours here do not.
#include "control_test_support.h"
#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Panel_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"
#include "view/controls/shading_functions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using view_test::page;

bool near(const ui::Color &c, const ui::Color &expected, double tolerance) {
    return std::fabs(c.red - expected.red) <= tolerance &&
           std::fabs(c.green - expected.green) <= tolerance &&
           std::fabs(c.blue - expected.blue) <= tolerance;
}

std::string describe(const ui::Color &c) {
    return "(" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " +
           std::to_string(c.blue) + ", " + std::to_string(c.alpha) + ")";
}

// The indicator's fill, (0.25, 0.25, 0.95), at the dot's computed centre for the ends and the
// middle of a square-law range, under the highlight band where the dot lies in it (the maximum,
// at lower right); the opposite point of the disc is no such blue. The same at twice the pixels.
TEST(KnobDrawing, TheIndicatorSitsWhereItsAngleSays) {
    for (auto [value, scale] : {std::pair{0.0, 1.0}, {500.0, 1.0}, {2000.0, 1.0}, {2000.0, 2.0}}) {
        page<HF_Zentrova_Big_Knob_View> p({20, 20, 100, 100}, scale);
        p.control->set_values_minimum(0, 2000, 250, 2);
        p.control->set_current_value(value);
        const ui::Point dot = p.control->indicator_center();
        const ui::Rect k = p.control->knob_rect();
        const ui::Point a{k.x + 4, k.y}, b{k.max_x() - 4, k.max_y() - 4};
        const double t = ((dot.x - a.x) * (b.x - a.x) + (dot.y - a.y) * (b.y - a.y)) /
                         ((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
        const double shine =
            view::knob_shine_evaluate({{0.99, 0.99, 0.99, 0}, {0.99, 0.99, 0.99, 0.3333}}, t).alpha;
        const ui::Color expected{0.25 + (0.99 - 0.25) * shine, 0.25 + (0.99 - 0.25) * shine,
                                 0.95 + (0.99 - 0.95) * shine, 1};
        const ui::Color at_dot = p.window.pixel_at(p.at(dot.x, dot.y));
        const ui::Color opposite = p.window.pixel_at(p.at(2 * 50 - dot.x, 2 * 50 - dot.y));
        EXPECT_TRUE(near(at_dot, expected, 0.03))
            << value << ": " << describe(at_dot) << " expected " << describe(expected);
        EXPECT_LT(opposite.blue - opposite.red, 0.2) << value << ": " << describe(opposite);
    }
}

// The knob keeps its disc and highlight as images made for one scale and pixel alignment. After
// whatever changes those (another window's scale, a move by whole or by half pixels), a value
// change or a frame whose shadings failed, it must show exactly what a knob made afresh there
// shows: a stale image would show the old scale, place or failure.
TEST(KnobDrawing, KeptImagesFollowScaleMovesAndFailures) {
    struct knob_window {
        ui::OffscreenWindow window;
        ui::View *root;
        knob_window(double scale)
            : window({200, 160}, scale), root(window.set_content_view(ui::create_view<ui::View>({0, 0, 200, 160}))) {}
        int differing_pixels(knob_window &other) {
            int count = 0;
            for (int y = 0; y < window.pixel_height(); ++y)
                for (int x = 0; x < window.pixel_width(); ++x)
                    count += !(window.pixel_at_device(x, y) == other.window.pixel_at_device(x, y));
            return count;
        }
    };
    const struct {
        const char *what;
        double scale_before, scale_after;
        ui::Point moved_to;
        double value;
        bool failed_once;
    } cases[] = {
        {"scale 1 to 2", 1, 2, {20, 20}, -40, false},
        {"scale 2 to 1", 2, 1, {20, 20}, -40, false},
        {"scale 1 to 1.5, drawn in place", 1, 1.5, {20, 20}, -40, false},
        {"moved by whole pixels", 2, 2, {31.5, 20}, -40, false},
        {"moved by half a pixel", 1, 1, {20.5, 20}, -40, false},
        {"value changed", 1, 1, {20, 20}, -75, false},
        {"drawn once while shadings failed", 1, 1, {20, 20}, -40, true},
    };
    for (const auto &c : cases) {
        knob_window before(c.scale_before), after(c.scale_after), fresh(c.scale_after);
        auto *knob = static_cast<HF_Zentrova_Big_Knob_View *>(
            before.root->add_subview(ui::create_view<HF_Zentrova_Big_Knob_View>({20, 20, 100, 100})));
        knob->set_values_minimum(-80, 0, -80, 0);
        knob->set_current_value(-40);
        testing::internal::CaptureStderr();
        ui::ShadingFailureInjection::set(c.failed_once, false);
        before.window.display();
        ui::ShadingFailureInjection::clear();
        testing::internal::GetCapturedStderr();

        after.root->add_subview(knob->remove_from_superview());
        knob->set_frame_origin(c.moved_to);
        knob->set_current_value(c.value);
        auto *reference = static_cast<HF_Zentrova_Big_Knob_View *>(fresh.root->add_subview(
            ui::create_view<HF_Zentrova_Big_Knob_View>({c.moved_to.x, c.moved_to.y, 100, 100})));
        reference->set_values_minimum(-80, 0, -80, 0);
        reference->set_current_value(c.value);
        EXPECT_EQ(after.differing_pixels(fresh), 0) << c.what;
    }
}

// The end caps are lit green at their inner edge while the control is selected, and dark grey
// otherwise; the value is written in the lower half, the name in the upper half.
TEST(ParameterControlDrawing, SelectedCapsAndTheReadOutHalf) {
    for (bool selected : {false, true}) {
        page<HF_Zentrova_Parameter_Control_View> p({40, 40, 200, 30});
        p.control->set_values_minimum(-80, 0, -80, 0);
        p.control->set_current_value(-12);
        p.control->set_description(std::string{});
        p.control->set_selected(selected);
        for (double x : {4.5, 195.5}) {
            const ui::Color cap = p.window.pixel_at(p.at(x, 15));
            if (selected)
                EXPECT_TRUE(cap.green > 0.6 && cap.red < 0.2) << x << ": " << describe(cap);
            else
                EXPECT_LT(cap.green, 0.1) << x << ": " << describe(cap);
        }
    }
    page<HF_Zentrova_Parameter_Control_View> p({40, 40, 200, 30});
    p.control->set_values_minimum(-80, 0, -80, 0);
    p.control->set_current_value(-12);
    p.control->set_description(std::string{});
    auto yellow_pixels = [&](const ui::Rect &r) {
        int count = 0;
        for (double y = r.y + 0.5; y < r.max_y(); y += 1)
            for (double x = r.x + 0.5; x < r.max_x(); x += 1) {
                const ui::Color c = p.window.pixel_at(p.at(x, y));
                count += c.red > 0.5 && c.green > 0.5 && c.blue < 0.4;
            }
        return count;
    };
    EXPECT_GT(yellow_pixels(p.control->readout_rect()), 40);
    EXPECT_EQ(yellow_pixels(p.control->info_rect()), 0);
}

// With the editor's colours: the green bar ends at the level, the tint turns from grey-blue to
// blue at the critical level. Probed low in the strip, below the glass highlight.
TEST(LevelMeterDrawing, BarExtentAndTintBoundary) {
    page<HF_Volume_Response_View> p({10, 10, 300, 20});
    HF_Volume_Response_View &m = *p.control;
    m.set_db_minimum(-72, 0);
    m.set_curve_color(ui::Color{0.0, 0.99, 0.25, 0.5}, ui::Color{0.35, 0.35, 0.45, 0.5},
                      ui::Color{0.2, 0.2, 0.75, 0.5});
    m.set_level(0.5f);
    m.set_critical_level(-36);
    const double y = m.graph_frame().y + 1.5;
    const double bar_end = m.location_for_db(-6.0206f), boundary = m.location_for_db(-36);
    const ui::Color in_bar = p.window.pixel_at(p.at(bar_end - 2, y));
    const ui::Color past_bar = p.window.pixel_at(p.at(bar_end + 2, y));
    const ui::Color below = p.window.pixel_at(p.at(boundary - 2, y));
    const ui::Color above = p.window.pixel_at(p.at(boundary + 2, y));
    const auto blueness = [](const ui::Color &c) { return c.blue - c.red; };
    EXPECT_GT(in_bar.green - past_bar.green, 0.2) << describe(in_bar) << " " << describe(past_bar);
    EXPECT_GT(blueness(above) - blueness(below), 0.15) << describe(above) << " " << describe(below);

    // Moving the boundary re-tints that point and leaves the bar's end where it was.
    m.set_critical_level(-12);
    EXPECT_NEAR(blueness(p.window.pixel_at(p.at(boundary + 2, y))), blueness(below), 0.02);
    EXPECT_TRUE(near(p.window.pixel_at(p.at(bar_end - 2, y)), in_bar, 0.1));
    EXPECT_TRUE(near(p.window.pixel_at(p.at(bar_end + 2, y)), past_bar, 0.01));
}

// Without colours the bar is translucent blue and there is no tint.
TEST(LevelMeterDrawing, UncolouredBarIsTranslucentBlue) {
    page<HF_Volume_Response_View> p({10, 10, 300, 20});
    p.control->set_db_minimum(-72, 0);
    p.control->set_level(0.5f);
    const double y = p.control->graph_frame().y + 1.5;
    const double end = p.control->location_for_db(-6.0206f);
    const ui::Color in = p.window.pixel_at(p.at(end - 2, y)), out = p.window.pixel_at(p.at(end + 2, y));
    EXPECT_GT(in.blue - out.blue, 0.3) << describe(in) << " " << describe(out);
    EXPECT_LT(std::fabs(out.blue - out.red), 0.05) << describe(out);
}

// Levels and ranges that make no coordinate (an infinite level, NaN, an empty decibel range) draw
// a full bar, an empty one or nothing, and leave the drawing context sound.
TEST(LevelMeterDrawing, LevelsWithoutACoordinateDrawNothingOrTheFullBar) {
    const struct { const char *what; float level, db_min, db_max; bool bar_at_left, bar_at_right; } cases[] = {
        {"infinite level", INFINITY, -72, 0, true, true},
        {"NaN level", NAN, -72, 0, false, false},
        {"empty range", 0.5f, 0, 0, false, false},
        {"level far above the range", 1e30f, -72, 0, true, true},
    };
    for (const auto &c : cases) {
        page<HF_Volume_Response_View> p({10, 10, 300, 20});
        p.control->set_db_minimum(c.db_min, c.db_max);
        p.control->set_level(c.level);
        const ui::Rect g = p.control->graph_frame();
        for (auto [x, expected] : {std::pair{g.x + 2, c.bar_at_left}, std::pair{g.max_x() - 2, c.bar_at_right}}) {
            const ui::Color px = p.window.pixel_at(p.at(x, g.y + 1.5));
            EXPECT_EQ(px.blue - px.red > 0.3, expected) << c.what << " at " << x << ": " << describe(px);
        }
    }
}

// The background panel: a grey band 0.25 at its edges and 0.5 in the middle, under 20-point
// side bars that are 0.125 at their ends and 0.5 at their middle. Grey 0.5 times each factor,
// taken at the centre of the probed pixel (x 10 reads the pixel centred on 10.5: t 0.525).
TEST(PanelDrawing, BandAndSideBarsAcrossTheWidth) {
    page<HF_Zentrova_Panel_View> p({40, 40, 200, 60});
    const struct { double x, grey; } probes[] = {
        {0.5, 0.5 * 0.2523}, {10, 0.5 * 0.9412}, {19.5, 0.5 * 0.2523},     // left bar
        {25.5, 0.5 * (0.255 + 1) * 0.5}, {100, 0.5},                         // band
        {180.5, 0.5 * 0.2523}, {190, 0.5 * 0.9412}, {199.5, 0.5 * 0.2523},  // right bar
    };
    for (const auto &probe : probes) {
        const ui::Color c = p.window.pixel_at(p.at(probe.x, 30));
        EXPECT_TRUE(near(c, {probe.grey, probe.grey, probe.grey, 1}, 0.01))
            << probe.x << ": " << describe(c) << " expected grey " << probe.grey;
    }
}

// A box is only its engraved edge: a faint dark line 4.5 points in, a white highlight below and
// left of it, and the panel under it shows through everywhere else.
TEST(BoxDrawing, AnEngravedEdgeOverWhatLiesBelow) {
    ui::OffscreenWindow window({400, 300});
    auto root = ui::create_view<HF_Zentrova_Panel_View>({0, 0, 400, 300});
    root->add_subview(ui::create_view<HF_Zentrova_Box>({100, 100, 200, 100}));
    window.set_content_view(std::move(root));
    const ui::Color line = window.pixel_at({104.5, 150}), inside = window.pixel_at({120.5, 150});
    const ui::Color highlight = window.pixel_at({200, 102.5}), below = window.pixel_at({200, 98.5});
    const ui::Color band{0.4006, 0.4006, 0.4006, 1};  // the panel's band at x 120.5 of 400 (t 0.30)
    EXPECT_TRUE(near(inside, band, 0.01)) << describe(inside);
    EXPECT_LT(line.red, inside.red - 0.05) << describe(line) << " " << describe(inside);
    EXPECT_GT(highlight.red, below.red + 0.05) << describe(highlight) << " " << describe(below);
}

// A shading that cannot be made is logged and skipped; the rest of the drawing goes on.
TEST(ControlDrawing, ShadingFailuresAreLoggedAndSkipped) {
    const struct { bool functions, shadings; const char *message; } cases[] = {
        {true, false, "Error: couldn't create function for shading."},
        {false, true, "Error: couldn't create shading."},
    };
    for (const auto &c : cases) {
        page<HF_Zentrova_Parameter_Control_View> p({40, 40, 200, 30});
        p.control->set_current_value(0.5);
        testing::internal::CaptureStderr();
        ui::ShadingFailureInjection::set(c.functions, c.shadings);
        p.window.display();
        ui::ShadingFailureInjection::clear();
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
        int text = 0;  // the value is still written
        const ui::Rect r = p.control->readout_rect();
        for (double x = r.x + 0.5; x < r.max_x(); x += 1)
            for (double y = r.y + 0.5; y < r.max_y(); y += 1)
                text += p.window.pixel_at(p.at(x, y)).green > 0.5;
        EXPECT_GT(text, 20) << c.message;
    }
}

}  // namespace
