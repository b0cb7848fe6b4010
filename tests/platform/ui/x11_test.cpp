// A real X11 window under Xvfb (the CTest command starts xvfb-run), driven from outside the
// process by xdotool, as a user's pointer would drive it.
#include <gtest/gtest.h> // before Xlib, whose macros (None, Bool) break it

#include "ui/GraphicsContext.h"
#include "ui/Overlay.h"
#include "ui/TextField.h"
#include "ui/View.h"
#include "ui/X11Window.h"

#include <CoreFoundation/CFRunLoop.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

using namespace ui;

namespace {

struct Probe : View {
    struct Seen {
        EventType type;
        Point local;
        int clicks;
        double dx, dy;
    };
    std::vector<Seen> seen;
    Color color{0.8, 0.1, 0.1, 1};
    void record(const Event& e)
    {
        seen.push_back({e.type, convert_point_from_view(e.location_in_window, nullptr), e.click_count, e.delta_x, e.delta_y});
    }
    void mouseDown(const Event& e) override { record(e); }
    void mouseDragged(const Event& e) override { record(e); }
    void mouseUp(const Event& e) override { record(e); }
    void scrollWheel(const Event& e) override { record(e); }
    bool mouseDownCanMoveWindow() const override { return false; }
    bool isOpaque() const override { return true; }
    void drawRect(GraphicsContext& c, const Rect&) override;
};

} // namespace

void Probe::drawRect(GraphicsContext& c, const Rect&)
{
    c.set_fill_color(color);
    c.fill_rect(bounds());
}

namespace {

void xdotool(const std::string& args)
{
    const std::string command = std::string(XDOTOOL) + " " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Pumps the window (as a host's idle callback would) until `done` or a few seconds pass.
bool pump_until(X11Window& w, const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        w.process_pending_events();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool viewable(Display* d, unsigned long window)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, window, &a) && a.map_state == IsViewable;
}

// The pixel on the screen (root window coordinates) as 8-bit RGB.
unsigned long screen_pixel(Display* d, unsigned long window, int x, int y)
{
    XImage* image = XGetImage(d, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return ~0ul;
    const unsigned long p = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return p;
}

struct Fixture : ::testing::Test {
    // Held open for the whole suite: an X server resets when its last client leaves, and a test
    // starting during the reset could not connect.
    static inline Display* keep_alive = nullptr;
    static void SetUpTestSuite() { keep_alive = XOpenDisplay(nullptr); }
    static void TearDownTestSuite()
    {
        if (keep_alive) XCloseDisplay(keep_alive);
    }
    Probe* probe = nullptr;
    std::unique_ptr<X11Window> make(unsigned long parent)
    {
        X11Window::Options o;
        o.scale = 1;
        o.parent = parent;
        std::string error;
        auto w = X11Window::create({200, 150}, o, &error);
        EXPECT_TRUE(w) << error;
        if (!w) return nullptr;
        auto content = create_view<View>({0, 0, 200, 150});
        probe = static_cast<Probe*>(content->add_subview(create_view<Probe>({50, 30, 100, 80})));
        w->set_content_view(std::move(content));
        w->show();
        EXPECT_TRUE(pump_until(*w, [&] { return viewable(w->display(), w->native_window()); }));
        return w;
    }
};

} // namespace

TEST_F(Fixture, PointerEventsFromOutsideReachTheView)
{
    auto w = make(0);
    ASSERT_TRUE(w);
    const std::string id = std::to_string(w->native_window());
    // 0.8 and 0.1 of 255, within a step of rounding.
    auto is_probe_colour = [](unsigned long p) {
        auto near = [](unsigned long c, int want) { return std::abs(int(c & 0xff) - want) <= 1; };
        return near(p >> 16, 204) && near(p >> 8, 26) && near(p, 26);
    };
    unsigned long seen_pixel = 0;
    EXPECT_TRUE(pump_until(*w, [&] { return is_probe_colour(seen_pixel = screen_pixel(w->display(), w->native_window(), 100, 80)); }))
        << "the view's colour reaches the screen through the back buffer; saw " << std::hex << seen_pixel;

    // Window pixel (60, 100) is view point (10, 150 - 100 - 30) = (10, 20): y grows upward.
    xdotool("mousemove --window " + id + " 60 100 click 1");
    ASSERT_TRUE(pump_until(*w, [&] { return probe->seen.size() >= 2; }));
    EXPECT_TRUE(probe->seen[0].type == EventType::mouse_down && probe->seen[0].clicks == 1 &&
                probe->seen[0].local == (Point{10, 20}));

    probe->seen.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // past the double-click interval
    xdotool("click --repeat 2 --delay 60 1");
    ASSERT_TRUE(pump_until(*w, [&] { return probe->seen.size() >= 4; }));
    EXPECT_EQ(probe->seen[2].type, EventType::mouse_down);
    EXPECT_EQ(probe->seen[2].clicks, 2) << "the second press of a double click";

    probe->seen.clear();
    xdotool("click 4 click 7");
    ASSERT_TRUE(pump_until(*w, [&] { return probe->seen.size() >= 2; }));
    EXPECT_TRUE(probe->seen[0].type == EventType::scroll_wheel && probe->seen[0].dy == 1 && probe->seen[0].dx == 0);
    EXPECT_TRUE(probe->seen[1].type == EventType::scroll_wheel && probe->seen[1].dx == -1 && probe->seen[1].dy == 0);

    probe->seen.clear();
    xdotool("mousedown 1 mousemove --window " + id + " 60 90 mouseup 1");
    ASSERT_TRUE(pump_until(*w, [&] { return !probe->seen.empty() && probe->seen.back().type == EventType::mouse_up; }));
    double dy = 0;
    for (const auto& s : probe->seen) dy += s.type == EventType::mouse_dragged ? s.dy : 0;
    EXPECT_EQ(dy, -10) << "dragging up 10 pixels: the platform's delta_y is negative upward";
    EXPECT_EQ(probe->seen.back().local, (Point{10, 30}));
}

TEST_F(Fixture, EmbedsInAForeignParentDrivenByIdleCalls)
{
    Display* host = XOpenDisplay(nullptr);
    ASSERT_NE(host, nullptr);
    const unsigned long parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(host, parent);
    XSync(host, False);

    auto w = make(parent);
    ASSERT_TRUE(w);
    ::Window root, parent_of_child, *children = nullptr;
    unsigned count = 0;
    XQueryTree(host, w->native_window(), &root, &parent_of_child, &children, &count);
    if (children) XFree(children);
    EXPECT_EQ(parent_of_child, parent);

    xdotool("mousemove --window " + std::to_string(parent) + " 60 100 click 1");
    ASSERT_TRUE(pump_until(*w, [&] { return probe->seen.size() >= 2; }));
    EXPECT_EQ(probe->seen[0].local, (Point{10, 20}));
    ::Window focus;
    int revert;
    XGetInputFocus(host, &focus, &revert);
    EXPECT_EQ(focus, w->native_window()) << "a press takes the keyboard from the host";

    std::string error;
    X11Window::Options bad;
    bad.parent = 0x7ffffff0;
    EXPECT_EQ(X11Window::create({10, 10}, bad, &error), nullptr);
    EXPECT_NE(error.find(std::to_string(bad.parent)), std::string::npos);

    w.reset();
    XDestroyWindow(host, parent);
    XCloseDisplay(host);
}

TEST_F(Fixture, RunServesTheRunLoopAndReturnsWhenClosed)
{
    auto w = make(0);
    ASSERT_TRUE(w);
    // A source signalled from another thread: its perform (on this thread, inside run()) closes.
    CFRunLoopSourceContext context{};
    context.info = w.get();
    context.perform = [](void* info) { static_cast<X11Window*>(info)->request_close(); };
    CFRunLoopSourceRef source = CFRunLoopSourceCreate(nullptr, 0, &context);
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    CFRunLoopAddSource(loop, source, kCFRunLoopDefaultMode);
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        CFRunLoopSourceSignal(source);
        CFRunLoopWakeUp(loop);
    });
    int closed = 0;
    w->on_close = [&] { ++closed; };
    const auto start = std::chrono::steady_clock::now();
    w->run();
    signaller.join();
    EXPECT_EQ(closed, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    CFRunLoopRemoveSource(loop, source, kCFRunLoopDefaultMode);
    CFRelease(source);
}

TEST_F(Fixture, AnOverlayResignsWhenTheWindowLosesTheKeyboard)
{
    auto w = make(0);
    ASSERT_TRUE(w);
    Overlay overlay({20, 20, 60, 30});
    int resigned = 0;
    overlay.on_resign_key = [&](Overlay&) { ++resigned; };
    w->add_child_overlay(overlay);
    overlay.make_key();

    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const unsigned long elsewhere = XCreateSimpleWindow(other, DefaultRootWindow(other), 300, 300, 50, 50, 0, 0, 0);
    XMapWindow(other, elsewhere);
    XSync(other, False);
    XSetInputFocus(other, w->native_window(), RevertToParent, CurrentTime);
    XSync(other, False);
    w->process_pending_events();
    EXPECT_EQ(resigned, 0);
    XSetInputFocus(other, elsewhere, RevertToParent, CurrentTime);
    XSync(other, False);
    EXPECT_TRUE(pump_until(*w, [&] { return resigned == 1; }));
    EXPECT_FALSE(overlay.is_key());
    XDestroyWindow(other, elsewhere);
    XCloseDisplay(other);
}

TEST_F(Fixture, APressOnTheBackgroundMovesTheWindowAndNotOnAControl)
{
    auto w = make(0);
    ASSERT_TRUE(w);
    auto origin = [&] {
        int x = 0, y = 0;
        ::Window child;
        XTranslateCoordinates(w->display(), w->native_window(), DefaultRootWindow(w->display()), 0, 0, &x, &y, &child);
        return std::pair{x, y};
    };
    const auto start = origin();
    // In screen coordinates: a press on the background 10 points in, dragged by (30, 20).
    auto drag_background = [&] {
        xdotool("mousemove " + std::to_string(start.first + 10) + " " + std::to_string(start.second + 10) +
                " mousedown 1 mousemove " + std::to_string(start.first + 40) + " " +
                std::to_string(start.second + 30) + " mouseup 1");
    };
    drag_background();
    pump_until(*w, [] { return false; }, std::chrono::milliseconds(300)); // everything delivered
    EXPECT_EQ(origin(), start) << "not movable by its background unless asked";

    w->set_movable_by_background(true);
    drag_background();
    EXPECT_TRUE(pump_until(*w, [&] { return origin() == std::pair{start.first + 30, start.second + 20}; }))
        << "moved to " << origin().first << "," << origin().second;

    probe->seen.clear();
    const auto before = origin();
    xdotool("mousemove --window " + std::to_string(w->native_window()) + " 60 100 mousedown 1 mousemove_relative 20 0 mouseup 1");
    ASSERT_TRUE(pump_until(*w, [&] { return !probe->seen.empty() && probe->seen.back().type == EventType::mouse_up; }));
    EXPECT_EQ(origin(), before) << "a control that answers no to mouseDownCanMoveWindow keeps its drags";
}

TEST_F(Fixture, ScaleComesFromTheServersXftDpiAndDoublesThePixels)
{
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const char resources[] = "Xft.dpi:\t192\n";
    XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), int(sizeof resources - 1));
    XSync(d, False);
    unsetenv("ZENTROVA_SCALE");
    std::string error;
    auto w = X11Window::create({200, 150}, {}, &error);
    ASSERT_TRUE(w) << error;
    XDeleteProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER);
    XSync(d, False);
    EXPECT_EQ(w->scale_factor(), 2.0);
    XWindowAttributes a;
    XGetWindowAttributes(w->display(), w->native_window(), &a);
    EXPECT_EQ(a.width, 400);
    EXPECT_EQ(a.height, 300);
    EXPECT_EQ(w->content_size(), (Size{200, 150})) << "the views' coordinates do not scale";
    XCloseDisplay(d);
}

TEST_F(Fixture, TypedKeysReachTheFieldOfTheKeyOverlay)
{
    auto w = make(0);
    ASSERT_TRUE(w);
    Overlay overlay({20, 20, 100, 24});
    auto field = create_view<TextField>({0, 0, 100, 24});
    field->set_formatter(std::make_shared<NumberFormatter>());
    std::optional<double> confirmed;
    int cancelled = 0;
    field->action = [&](TextField& f) { confirmed = f.double_value(); };
    field->cancel_action = [&](TextField&) { ++cancelled; };
    TextField* f = static_cast<TextField*>(overlay.set_content_view(std::move(field)));
    f->set_string("-80");
    w->add_child_overlay(overlay);
    overlay.make_first_responder(f);
    overlay.make_key();
    XSetInputFocus(w->display(), w->native_window(), RevertToParent, CurrentTime);
    XSync(w->display(), False);

    // Replaces the selected "-80"; BackSpace and Left/Delete edit; Return confirms.
    xdotool("type --delay 20 -- -12.57");
    xdotool("key --delay 20 BackSpace Left Left Left Delete Return"); // drops the 7, then the 2
    ASSERT_TRUE(pump_until(*w, [&] { return confirmed.has_value(); })) << "field holds \"" << f->string() << '"';
    EXPECT_EQ(f->string(), "-1.5");
    EXPECT_EQ(*confirmed, -1.5);
    xdotool("key Escape");
    EXPECT_TRUE(pump_until(*w, [&] { return cancelled == 1; }));
}
