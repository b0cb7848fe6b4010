// The graphics context, probed pixel by pixel on offscreen windows (no golden images: fonts and
// antialiasing differ between machines, the positions and colours asked for here do not).
#include "ui/GraphicsContext.h"
#include "ui/OffscreenWindow.h"
#include "ui/View.h"
#include "ui/X11Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace ui;

namespace {

struct Canvas : View {
    std::function<void(GraphicsContext&)> paint;
    void drawRect(GraphicsContext& c, const Rect&) override
    {
        if (paint) paint(c);
    }
};

// A white window of the given size whose one view draws `paint`.
struct Scene {
    OffscreenWindow window;
    Canvas* canvas;
    Scene(Size size, std::function<void(GraphicsContext&)> paint, double scale = 1.0) : window(size, scale)
    {
        window.set_background_color(Color::white());
        canvas = static_cast<Canvas*>(window.set_content_view(create_view<Canvas>({0, 0, size.width, size.height})));
        canvas->paint = std::move(paint);
    }
};

::testing::AssertionResult close_to(const Color& got, const Color& want, double tolerance = 0.02)
{
    const double d = std::max({std::fabs(got.red - want.red), std::fabs(got.green - want.green),
                               std::fabs(got.blue - want.blue), std::fabs(got.alpha - want.alpha)});
    if (d <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.red << ", " << got.green << ", " << got.blue << ", "
                                         << got.alpha << ") want (" << want.red << ", " << want.green << ", "
                                         << want.blue << ", " << want.alpha << ")";
}

bool dark(const Color& c) { return c.red + c.green + c.blue < 1.5; }

std::shared_ptr<ShadingFunction> red_to_blue()
{
    return ShadingFunction::create([](double t) { return Color{t, 0, 1 - t, 1}; });
}

} // namespace

TEST(UiDrawing, ShadingsFollowTheirCallbackAndStopAtTheirEnds)
{
    const auto space = ColorSpace::create_device_rgb();
    ASSERT_EQ(space, ColorSpace::create_device_rgb()) << "one shared device RGB space";
    const auto axial = Shading::create_axial(space, {20, 0}, {80, 0}, red_to_blue());
    const auto radial = Shading::create_radial(space, {50, 150}, 40, {50, 150}, 0, red_to_blue());
    ASSERT_TRUE(axial && radial);
    Scene s({100, 200}, [&](GraphicsContext& c) {
        c.save_state();
        c.clip_to_rect({0, 0, 100, 100});
        c.draw_shading(*axial);
        c.restore_state();
        c.save_state();
        c.clip_to_rect({0, 100, 100, 100});
        c.draw_shading(*radial);
        c.restore_state();
    });
    const struct {
        Point at;
        double t; // < 0: nothing drawn there
    } probes[] = {
        {{20.5 + 60 * 0.1, 50}, 0.1}, {{20.5 + 60 * 0.5, 50}, 0.5}, {{20.5 + 60 * 0.9, 50}, 0.9},
        {{10.5, 50}, -1}, {{90.5, 50}, -1},                         // past both ends of the axis
        {{50.5 + 30, 150.5}, 0.25}, {{50.5, 150.5 - 10}, 0.75},     // radial: t = 1 - distance / 40
        {{50.5 + 45, 150.5}, -1},                                   // outside the start circle
    };
    for (const auto& p : probes) {
        const Color want = p.t < 0 ? Color::white() : Color{p.t, 0, 1 - p.t, 1};
        EXPECT_TRUE(close_to(s.window.pixel_at(p.at), want)) << "at " << p.at.x << "," << p.at.y;
    }
}

TEST(UiDrawing, ShadingCreationFailuresAreReportedAndReleaseTheirRecord)
{
    const auto space = ColorSpace::create_device_rgb();
    struct Case {
        bool fail_functions, fail_shadings;
        bool function_made, shading_made;
    } cases[] = {{false, false, true, true}, {true, false, false, false}, {false, true, true, false}};
    for (const Case& c : cases) {
        int released = 0;
        ShadingFailureInjection::set(c.fail_functions, c.fail_shadings);
        {
            auto f = ShadingFunction::create([](double) { return Color{}; }, [&] { ++released; });
            auto sh = Shading::create_axial(space, {0, 0}, {1, 1}, f);
            EXPECT_EQ(bool(f), c.function_made);
            EXPECT_EQ(bool(sh), c.shading_made);
        }
        ShadingFailureInjection::clear();
        EXPECT_EQ(released, 1) << "the record is freed exactly once, made or not";
    }
    EXPECT_FALSE(Shading::create_axial(space, {0, 0}, {NAN, 0}, red_to_blue()));
    EXPECT_FALSE(Shading::create_radial(space, {0, 0}, -1, {0, 0}, 1, red_to_blue()));
    EXPECT_FALSE(Shading::create_axial(nullptr, {0, 0}, {1, 0}, red_to_blue()));
}

TEST(UiDrawing, ShadowFallsAtItsOffsetAndBlurs)
{
    struct Case {
        double blur;
        Point shadowed;   // expected inside the shadow, outside the shape
        double max_red;   // how red the probe may stay: a sharp shadow is solid black
    } cases[] = {{0, {62.5, 38.5}, 0.05}, {4, {62.5, 38.5}, 0.9}};
    for (const Case& k : cases) {
        Scene s({100, 100}, [&](GraphicsContext& c) {
            c.set_shadow(5, -5, k.blur, Color::black()); // right and DOWN: y grows upward
            c.set_fill_color({1, 0, 0, 1});
            c.fill_rect({40, 40, 20, 20});
        });
        EXPECT_TRUE(close_to(s.window.pixel_at({50, 50}), {1, 0, 0, 1})) << "the shape on top of its shadow";
        EXPECT_LT(s.window.pixel_at(k.shadowed).red, k.max_red) << "blur " << k.blur;
        EXPECT_EQ(s.window.pixel_at({37.5, 61.5}), Color::white()) << "nothing on the side away from the offset";
    }
}

TEST(UiDrawing, TransparencyLayerCompositesItsContentsAsOneGroup)
{
    Scene s({100, 50}, [&](GraphicsContext& c) {
        c.begin_transparency_layer(0.5);
        c.set_fill_color(Color::black());
        c.fill_rect({10, 10, 40, 30});
        c.fill_rect({30, 10, 40, 30}); // overlaps the first in 30..50
        c.end_transparency_layer();
    });
    const Color single = s.window.pixel_at({20, 20}), overlap = s.window.pixel_at({40, 20});
    EXPECT_TRUE(close_to(single, {0.5, 0.5, 0.5, 1}));
    EXPECT_TRUE(close_to(overlap, single)) << "the overlap is not darker: one group, one alpha";
}

TEST(UiDrawing, TextStaysInsideItsRectangleAndIsAligned)
{
    const Rect box{20, 30, 100, 16};
    const TextAlignment alignments[] = {TextAlignment::left, TextAlignment::center, TextAlignment::right};
    double centroids[3];
    for (int a = 0; a < 3; ++a) {
        Scene s({200, 80}, [&](GraphicsContext& c) {
            // Long enough to wrap: the second line must be clipped away, not spill below.
            c.draw_text_in_rect("-12.0000 Sensitivity of everything", box, {Font::system(12), alignments[a], Color::black()});
        });
        int inside = 0, outside = 0;
        double sum_x = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 200; ++x) {
                const Point p{x + 0.5, y + 0.5};
                if (!dark(s.window.pixel_at(p))) continue;
                if (box.contains(p)) {
                    ++inside;
                    sum_x += p.x;
                } else {
                    ++outside;
                }
            }
        EXPECT_GT(inside, 30);
        EXPECT_EQ(outside, 0);
        centroids[a] = inside ? sum_x / inside : 0;
    }
    EXPECT_LT(centroids[0], centroids[1]);
    EXPECT_LT(centroids[1], centroids[2]);
}

TEST(UiDrawing, ScaleEnlargesPixelsButNotViewCoordinates)
{
    int filled[2];
    const double scales[] = {1.0, 2.0};
    for (int i = 0; i < 2; ++i) {
        Scene s({40, 30}, [](GraphicsContext& c) {
            c.set_fill_color(Color::black());
            c.fill_rect({10, 5, 6, 4});
        }, scales[i]);
        EXPECT_EQ(s.window.pixel_width(), int(40 * scales[i]));
        EXPECT_EQ(s.canvas->frame(), (Rect{0, 0, 40, 30}));
        EXPECT_EQ(s.window.content_view()->hit_test({12, 7}), s.canvas);
        EXPECT_TRUE(dark(s.window.pixel_at({12, 7}))) << "the same point is inside at every scale";
        EXPECT_FALSE(dark(s.window.pixel_at({12, 10})));
        filled[i] = 0;
        for (int y = 0; y < s.window.pixel_height(); ++y)
            for (int x = 0; x < s.window.pixel_width(); ++x) filled[i] += dark(s.window.pixel_at_device(x, y));
    }
    EXPECT_EQ(filled[0], 24);
    EXPECT_EQ(filled[1], 96);
}

TEST(UiDrawing, PathGeometry)
{
    Path rounded;
    rounded.add_rounded_rect({0, 0, 100, 50}, 20, 20); // corner radius 10
    Path ellipse;
    ellipse.add_ellipse_in_rect({0, 0, 100, 50});
    Path square;
    square.add_rounded_rect({0, 0, 100, 50}, 0, 20); // a zero oval dimension: the plain rectangle
    const struct {
        const Path* path;
        Point p;
        bool inside;
    } cases[] = {
        {&rounded, {1, 1}, false},  {&rounded, {4, 4}, true},   {&rounded, {99, 49}, false},
        {&rounded, {50, 0.5}, true}, {&rounded, {99.5, 25}, true},
        {&ellipse, {50, 25}, true}, {&ellipse, {5, 5}, false},  {&ellipse, {99, 25}, true},
        {&square, {0.5, 0.5}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.path->contains(c.p), c.inside) << c.p.x << "," << c.p.y;
    const Rect b = rounded.bounding_box();
    EXPECT_NEAR(b.width, 100, 1e-6);
    EXPECT_NEAR(b.height, 50, 1e-6);
}

TEST(UiDrawing, MarkedRegionsAreRedrawnAndPngIsWritten)
{
    Color fill = Color::black();
    Scene s({60, 40}, [&](GraphicsContext& c) {
        c.set_fill_color(fill);
        c.fill_rect({0, 0, 60, 40});
    });
    EXPECT_EQ(s.window.pixel_at({5, 5}), Color::black());
    fill = {0, 1, 0, 1};
    EXPECT_EQ(s.window.pixel_at({5, 5}), Color::black()) << "nothing marked: the image stays";
    s.canvas->setNeedsDisplayInRect({0, 0, 10, 10});
    EXPECT_EQ(s.window.pixel_at({5, 5}), (Color{0, 1, 0, 1}));
    EXPECT_EQ(s.window.pixel_at({30, 30}), Color::black()) << "only the marked region is redrawn";

    const std::string png = ::testing::TempDir() + "/ui_drawing.png";
    ASSERT_TRUE(s.window.write_png(png));
    std::string error;
    EXPECT_FALSE(s.window.write_png("/nonexistent-dir/x.png", &error));
    EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
}

TEST(UiScale, FromTheEnvironmentWithinSaneBounds)
{
    const std::pair<const char*, double> cases[] = {{"2", 2}, {"1.5", 1.5}, {"100", 8}, {"0.1", 0.5},
                                                    {"abc", 1}, {"2x", 1}, {"", 1}, {"nan", 1}};
    for (const auto& [text, want] : cases) {
        setenv("ZENTROVA_SCALE", text, 1);
        EXPECT_EQ(scale_factor_from_environment(nullptr), want) << '"' << text << '"';
    }
    unsetenv("ZENTROVA_SCALE");
    EXPECT_EQ(scale_factor_from_environment(nullptr), 1.0) << "no display, no setting";
}

TEST(UiDrawing, APartialRedrawMatchesAFullOneAcrossShadows)
{
    auto paint = [](GraphicsContext& c) {
        c.set_shadow(-2, -2, 4, {0, 0, 0, 0.666});
        c.set_fill_color({0.2, 0.4, 0.9, 1});
        c.fill_ellipse_in_rect({30, 30, 60, 40});
    };
    for (double scale : {1.0, 2.0}) {
        Scene partial({120, 100}, paint, scale), full({120, 100}, paint, scale);
        partial.window.display();
        // A region whose edges cut through the shape and its shadow, as a closing overlay's does.
        for (Rect r : {Rect{25, 20, 30, 30}, Rect{60.5, 45.25, 40, 40}}) {
            partial.canvas->setNeedsDisplayInRect(r);
            partial.window.display_if_needed();
        }
        full.window.display();
        int differing = 0;
        for (int y = 0; y < full.window.pixel_height(); ++y)
            for (int x = 0; x < full.window.pixel_width(); ++x)
                // Cairo antialiases an edge a few percent differently under another clip; a shadow
                // cut at the region's edge is off by up to 40 %.
                differing += !close_to(partial.window.pixel_at_device(x, y), full.window.pixel_at_device(x, y), 0.06);
        EXPECT_EQ(differing, 0) << "scale " << scale;
    }
}
