// Views, windows and overlays on offscreen windows: geometry, hit testing and event routing.
#include "ui/OffscreenWindow.h"
#include "ui/Overlay.h"
#include "ui/PopUpButton.h"
#include "ui/TextField.h"
#include "ui/View.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

using namespace ui;

namespace {

// Records every event it receives, with the location in its own coordinates.
struct Probe : View {
    struct Seen {
        EventType type;
        Point local;
        int clicks;
        double dx, dy;
        std::string characters;
    };
    std::vector<Seen> seen;
    bool focusable = false;
    void record(const Event& e)
    {
        seen.push_back({e.type, convert_point_from_view(e.location_in_window, nullptr), e.click_count, e.delta_x,
                        e.delta_y, e.characters});
    }
    void mouseDown(const Event& e) override { record(e); }
    void mouseDragged(const Event& e) override { record(e); }
    void mouseUp(const Event& e) override { record(e); }
    void scrollWheel(const Event& e) override { record(e); }
    void keyDown(const Event& e) override { record(e); }
    bool acceptsFirstResponder() const override { return focusable; }
    bool mouseDownCanMoveWindow() const override { return false; }
};

template <class T = Probe> T* add(View& parent, Rect frame)
{
    return static_cast<T*>(parent.add_subview(create_view<T>(frame)));
}

bool near(Point a, Point b) { return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9; }

} // namespace

TEST(UiView, HitTestingAndConversionWithNestedUnflippedFrames)
{
    OffscreenWindow window({300, 200});
    View* root = window.set_content_view(create_view<View>({0, 0, 300, 200}));
    View* a = add<View>(*root, {10, 20, 100, 80});
    View* b = add<View>(*a, {5, 50, 20, 20}); // in the upper part of a: y grows upward
    View* c = add<View>(*root, {200, 0, 50, 50});
    c->set_bounds_origin({10, 10});
    View* hidden = add<View>(*root, {150, 150, 20, 20});
    hidden->set_hidden(true);

    struct Case {
        Point in_window;
        View* expected;
        Point local;
    } cases[] = {
        {{16, 71}, b, {1, 1}},
        {{12, 22}, a, {2, 2}},
        {{35, 90}, a, {25, 70}},   // b's top-right corner is outside b (half-open edges)
        {{205, 5}, c, {15, 15}},   // moved bounds origin
        {{155, 155}, root, {155, 155}}, // hidden views take no hits
        {{-1, 5}, nullptr, {}},
    };
    for (const Case& k : cases) {
        View* hit = root->hit_test(k.in_window);
        ASSERT_EQ(hit, k.expected) << k.in_window.x << "," << k.in_window.y;
        if (!hit) continue;
        const Point local = hit->convert_point_from_view(k.in_window, nullptr);
        EXPECT_TRUE(near(local, k.local)) << local.x << "," << local.y;
        EXPECT_TRUE(near(hit->convert_point_to_view(local, nullptr), k.in_window));
    }
    EXPECT_EQ(b->convert_rect_to_view(b->bounds(), c), (Rect{15 - 200 + 10, 70 + 10, 20, 20}));
    EXPECT_EQ(b->window(), &window);
}

TEST(UiView, PressDragReleaseGoToThePressedViewWithPlatformDeltas)
{
    OffscreenWindow window({200, 200});
    View* root = window.set_content_view(create_view<View>({0, 0, 200, 200}));
    Probe* left = add(*root, {0, 0, 100, 200});
    Probe* right = add(*root, {100, 0, 100, 200});

    window.mouse_down({50, 50}, 2);
    window.mouse_dragged({54, 40});  // right 4, down 10
    window.mouse_dragged({150, 60}); // leaves the view: still its drag
    window.mouse_up({150, 60});
    window.scroll_wheel({120, 10}, -1, 3);

    ASSERT_EQ(left->seen.size(), 4u);
    ASSERT_EQ(right->seen.size(), 1u);
    struct Row {
        EventType type;
        Point local;
        int clicks;
        double dx, dy;
    } expected[] = {
        {EventType::mouse_down, {50, 50}, 2, 0, 0},
        {EventType::mouse_dragged, {54, 40}, 0, 4, 10}, // delta_y grows downward
        {EventType::mouse_dragged, {150, 60}, 0, 96, -20},
        {EventType::mouse_up, {150, 60}, 0, 0, 0},
    };
    for (size_t i = 0; i < 4; ++i) {
        const auto& s = left->seen[i];
        EXPECT_TRUE(s.type == expected[i].type && near(s.local, expected[i].local) && s.clicks == expected[i].clicks &&
                    s.dx == expected[i].dx && s.dy == expected[i].dy)
            << "event " << i << ": " << s.local.x << "," << s.local.y << " d " << s.dx << "," << s.dy;
    }
    const auto& wheel = right->seen[0];
    EXPECT_TRUE(wheel.type == EventType::scroll_wheel && wheel.dx == -1 && wheel.dy == 3 && near(wheel.local, {20, 10}));
}

TEST(UiView, AViewDestroyedWhilePressedGetsNoMoreEvents)
{
    OffscreenWindow window({100, 100});
    View* root = window.set_content_view(create_view<View>({0, 0, 100, 100}));
    Probe* p = add(*root, {0, 0, 100, 100});
    p->focusable = true;
    window.mouse_down({10, 10});
    EXPECT_EQ(window.first_responder(), p);
    p->remove_from_superview(); // returns ownership: destroyed here
    window.mouse_dragged({20, 20});
    window.mouse_up({20, 20});
    window.key_down(Key::character, "x");
    EXPECT_EQ(window.first_responder(), nullptr);
}

TEST(UiOverlay, KeysGoToTheKeyOverlayAndAPressOutsideResignsIt)
{
    OffscreenWindow window({300, 200});
    View* root = window.set_content_view(create_view<View>({0, 0, 300, 200}));
    Probe* behind = add(*root, {0, 0, 300, 200});
    behind->focusable = true;
    window.mouse_down({5, 5});
    window.mouse_up({5, 5});
    ASSERT_EQ(window.first_responder(), behind);
    const size_t before = behind->seen.size();

    auto overlay = std::make_unique<Overlay>(Rect{100, 100, 80, 30});
    auto field = create_view<TextField>({0, 0, 80, 30});
    auto formatter = std::make_shared<NumberFormatter>();
    formatter->set_minimum(-80);
    formatter->set_maximum(0);
    field->set_formatter(formatter);
    std::optional<double> confirmed;
    int cancelled = 0, resigned = 0;
    field->action = [&](TextField& f) { confirmed = f.double_value(); };
    field->cancel_action = [&](TextField&) { ++cancelled; };
    TextField* f = static_cast<TextField*>(overlay->set_content_view(std::move(field)));
    overlay->make_first_responder(f);
    overlay->on_resign_key = [&](Overlay& o) {
        ++resigned;
        EXPECT_EQ(&o, overlay.get());
        overlay.reset(); // the owner closes it on loss of focus, inside the callback
    };
    window.add_child_overlay(*overlay);
    overlay->make_key();

    window.type_text("-12.5x");
    window.key_down(Key::backspace);
    window.key_down(Key::left);
    window.key_down(Key::character, "7"); // -12.75
    window.key_down(Key::return_key);
    EXPECT_EQ(f->string(), "-12.75");
    ASSERT_TRUE(confirmed.has_value());
    EXPECT_DOUBLE_EQ(*confirmed, -12.75);

    f->set_string("5");
    confirmed.reset();
    window.key_down(Key::return_key);
    EXPECT_EQ(confirmed, 0.0) << "clamped to the formatter's maximum";
    f->set_string("abc");
    confirmed.reset();
    window.key_down(Key::return_key);
    EXPECT_FALSE(confirmed.has_value()) << "garbage is refused, the field stays open";
    window.key_down(Key::escape);
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(behind->seen.size(), before) << "no key reached the window's own first responder";

    window.mouse_down({10, 10}); // outside the overlay
    EXPECT_EQ(resigned, 1);
    EXPECT_EQ(overlay, nullptr);
    EXPECT_EQ(window.child_overlays().size(), 0u);
    EXPECT_EQ(window.key_overlay(), nullptr);
    EXPECT_EQ(behind->seen.size(), before + 1) << "the press that closed the overlay still reaches the view";
}

TEST(UiOverlay, DrawsAboveTheWindowWithAShadowAndIsGoneWhenClosed)
{
    OffscreenWindow window({200, 200});
    window.set_background_color(Color::white());
    window.set_content_view(create_view<View>({0, 0, 200, 200}));
    auto overlay = std::make_unique<Overlay>(Rect{50, 50, 100, 100});
    auto content = create_view<TextField>({0, 0, 100, 100});
    content->background_color = {0, 0, 1, 1};
    overlay->set_content_view(std::move(content));
    window.add_child_overlay(*overlay);
    EXPECT_EQ(window.pixel_at({100, 100}), (Color{0, 0, 1, 1}));
    const Color under_shadow = window.pixel_at({100, 48}); // below the overlay: the shadow falls down
    EXPECT_LT(under_shadow.red, 0.9);
    overlay.reset();
    EXPECT_EQ(window.pixel_at({100, 100}), Color::white());
    EXPECT_EQ(window.pixel_at({100, 48}), Color::white());
}

TEST(UiNumberFormatter, ParsesPlainDecimalsClampedAndRefusesTheRest)
{
    NumberFormatter f;
    f.set_minimum(-80);
    f.set_maximum(20);
    const std::map<std::string, std::optional<double>> cases = {
        {"-12", -12.0}, {" 3.5 ", 3.5}, {"+.5", 0.5}, {"1e1", 10.0}, {"1e3", 20.0}, {"-100", -80.0},
        {"", std::nullopt}, {"  ", std::nullopt}, {"abc", std::nullopt}, {"5abc", std::nullopt},
        {"1.2.3", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt}, {"0x10", std::nullopt},
        {"1e999", std::nullopt}, {"-", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(f.number_from_string(text), expected) << '"' << text << '"';

    const std::pair<double, const char*> formats[] = {{-12, "-12"}, {double(0.6f), "0.6"}, {1.23456, "1.2346"},
                                                      {-0.00001, "0"}, {2000, "2000"}};
    for (const auto& [value, text] : formats) EXPECT_EQ(f.string_from_number(value), text);
}

TEST(UiPopUpButton, ListPicksByClickOrReturnAndReportsDismissals)
{
    OffscreenWindow window({300, 300});
    View* root = window.set_content_view(create_view<View>({0, 0, 300, 300}));
    Probe* behind = add(*root, {0, 0, 300, 300});
    PopUpButton store;
    for (const char* t : {"EE", "OO", "I", "U"}) store.add_item(t);
    store.select_item(1);
    const Rect over{100, 150, 80, 20};

    struct Case {
        const char* name;
        std::function<void()> act;
        bool picked;
        int selected;
    };
    auto row_point = [&](int row) {
        const Rect r = store.open_list()->convert_rect_to_view(store.open_list()->row_rect(row), nullptr);
        const Point o = store.open_overlay()->frame().origin();
        return Point{o.x + r.mid_x(), o.y + r.mid_y()};
    };
    const Case cases[] = {
        {"click on row 3", [&] { window.click(row_point(3)); }, true, 3},
        {"Escape", [&] { window.key_down(Key::escape); }, false, 3},
        {"click outside", [&] { window.click({5, 5}); }, false, 3},
        {"Up, Up, Return", [&] { window.key_down(Key::up); window.key_down(Key::up); window.key_down(Key::return_key); }, true, 1},
    };
    for (const Case& c : cases) {
        std::vector<bool> done;
        store.pop_up_list(window, over, [&](bool picked) { done.push_back(picked); });
        ASSERT_TRUE(store.is_list_open());
        // The selected row sits over the rectangle it was opened on.
        const Point sel = row_point(store.index_of_selected_item());
        EXPECT_NEAR(sel.y, over.mid_y(), 0.5) << c.name;
        c.act();
        EXPECT_EQ(done, std::vector<bool>{c.picked}) << c.name;
        EXPECT_EQ(store.index_of_selected_item(), c.selected) << c.name;
        EXPECT_FALSE(store.is_list_open()) << c.name;
        EXPECT_EQ(window.child_overlays().size(), 0u) << c.name;
    }
    EXPECT_EQ(behind->seen.size(), 2u) << "only the outside click's press and release reach the window";
}

TEST(UiOverlay, ASharedContentViewMovesBetweenWindowsAndSurvivesThem)
{
    auto shared = create_view<Probe>({0, 0, 40, 20});
    auto first = std::make_unique<Overlay>(Rect{0, 0, 40, 20});
    auto second = std::make_unique<Overlay>(Rect{0, 0, 50, 30});
    first->set_content_view(*shared);
    second->set_content_view(*shared);
    EXPECT_EQ(first->content_view(), nullptr);
    first.reset();
    EXPECT_EQ(shared->window(), second.get()) << "the old window's end does not unhook it from the new one";
    EXPECT_EQ(shared->frame(), (Rect{0, 0, 50, 30}));

    View parent;
    parent.initWithFrame({0, 0, 100, 100});
    parent.add_subview(create_view<Probe>({1, 1, 5, 5}));
    View* child = parent.subviews()[0];
    second->set_content_view(*child); // taken from its superview, ownership with it
    EXPECT_TRUE(parent.subviews().empty());
    EXPECT_EQ(child->window(), second.get());
    second.reset();
    EXPECT_EQ(shared->window(), nullptr);
}

TEST(UiOverlay, ClosingLeavesNoTraceOfItsShadow)
{
    for (double scale : {1.0, 2.0}) {
        OffscreenWindow window({200, 200}, scale);
        window.set_background_color(Color::white());
        window.set_content_view(create_view<View>({0, 0, 200, 200}));
        window.display();
        for (Rect frame : {Rect{50.25, 50.5, 100, 30}, Rect{0, 0, 60, 20}}) {
            auto overlay = std::make_unique<Overlay>(frame);
            auto field = create_view<TextField>({0, 0, frame.width, frame.height});
            field->background_color = Color::black();
            overlay->set_content_view(std::move(field));
            window.add_child_overlay(*overlay);
            window.display_if_needed();
            overlay->set_frame(frame.offset(7, -5)); // moved while open
            window.display_if_needed();
            overlay.reset();
            int marked = 0;
            for (int y = 0; y < window.pixel_height(); ++y)
                for (int x = 0; x < window.pixel_width(); ++x) marked += window.pixel_at_device(x, y) != Color::white();
            EXPECT_EQ(marked, 0) << "scale " << scale << ", overlay at " << frame.x << "," << frame.y;
        }
    }
}

TEST(UiTextField, TakingTheKeyboardSelectsTheTextSoTypingReplacesIt)
{
    struct Case {
        std::vector<std::pair<Key, std::string>> keys;
        const char* result;
    } cases[] = {
        {{{Key::character, "5"}}, "5"},
        {{{Key::backspace, ""}, {Key::character, "1"}}, "1"},
        {{{Key::right, ""}, {Key::character, "5"}}, "-805"},
        {{{Key::left, ""}, {Key::character, "5"}}, "5-80"},
        {{{Key::delete_forward, ""}}, ""},
        {{{Key::character, "\xc3\xa9"}, {Key::backspace, ""}, {Key::character, "7"}}, "7"}, // one UTF-8 letter
    };
    for (const Case& c : cases) {
        OffscreenWindow window({100, 40});
        TextField* f = static_cast<TextField*>(window.set_content_view(create_view<TextField>({0, 0, 100, 40})));
        f->set_string("-80");
        window.make_first_responder(f);
        EXPECT_TRUE(f->is_all_selected());
        for (const auto& [key, text] : c.keys) window.key_down(key, text);
        EXPECT_EQ(f->string(), c.result);
    }
}
