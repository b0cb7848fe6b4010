// The knob and a parameter control in a real X11 window under Xvfb (the CTest command starts
// xvfb-run), moved by pointer events from outside the process (xdotool), as a user moves them.
#include <gtest/gtest.h>  // before Xlib, whose macros (None, Bool) break it

#include "ui/X11Window.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace {

void xdotool(const std::string &args) {
    const std::string command = std::string(XDOTOOL) + " " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool pump_until(ui::X11Window &w, const std::function<bool()> &done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        w.process_pending_events();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST(X11Controls, PointerEventsFromOutsideMoveTheKnobAndTheStrip) {
    ui::X11Window::Options options;
    options.scale = 1;
    std::string error;
    auto w = ui::X11Window::create({300, 160}, options, &error);
    ASSERT_TRUE(w) << error;
    auto root = ui::create_view<ui::View>({0, 0, 300, 160});
    auto *knob = static_cast<HF_Zentrova_Big_Knob_View *>(
        root->add_subview(ui::create_view<HF_Zentrova_Big_Knob_View>({10, 30, 100, 100})));
    auto *strip = static_cast<HF_Zentrova_Parameter_Control_View *>(
        root->add_subview(ui::create_view<HF_Zentrova_Parameter_Control_View>({130, 65, 160, 30})));
    w->set_content_view(std::move(root));
    ui::Object host;
    int knob_calls = 0, strip_calls = 0;
    knob->set_values_minimum(-80, 0, -80, 0);
    knob->set_current_value(-40);
    knob->set_callback([&](ui::Object &, HF_Zentrova_Big_Knob_View &) { ++knob_calls; }, &host);
    strip->set_values_minimum(-80, 0, -80, 0);
    strip->set_current_value(-40);
    strip->set_callback([&](ui::Object &, HF_Zentrova_Parameter_Control_View &) { ++strip_calls; }, &host);
    w->show();
    ASSERT_TRUE(pump_until(*w, [&] {
        XWindowAttributes a;
        return XGetWindowAttributes(w->display(), w->native_window(), &a) && a.map_state == IsViewable;
    }));
    const std::string id = std::to_string(w->native_window());

    // X pixels count down from the top: the knob's centre is at (60, 160 - 80); pointing at
    // 3 o'clock is five sixths of the travel.
    xdotool("mousemove --window " + id + " 105 80 click 1");
    ASSERT_TRUE(pump_until(*w, [&] { return knob_calls >= 1 && !knob->is_mouse_down(); }));
    EXPECT_NEAR(knob->current_value(), -80 + 80 * 5.0 / 6.0, 0.05);
    // And the screen shows it: the blue indicator dot is now at 3 o'clock, its radius (33) right
    // of the centre.
    const ui::Point dot = knob->convert_point_to_view(knob->indicator_center(), nullptr);
    EXPECT_NEAR(dot.x, 60 + 33, 0.5);
    unsigned long pixel = 0;
    EXPECT_TRUE(pump_until(*w, [&] {
        XImage *image = XGetImage(w->display(), w->native_window(), int(dot.x), 160 - int(dot.y),
                                  1, 1, AllPlanes, ZPixmap);
        if (!image) return false;
        pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return (pixel & 0xff) > 200 && ((pixel >> 16) & 0xff) < 110;
    })) << std::hex << pixel;

    // Dragging the strip up 10 pixels raises it by 0.5 % of its span per pixel.
    xdotool("mousemove --window " + id + " 210 80 mousedown 1 mousemove --window " + id +
            " 210 70 mouseup 1");
    ASSERT_TRUE(pump_until(*w, [&] { return strip->current_value() >= -36 - 1e-9; }))
        << strip->current_value();
    EXPECT_NEAR(strip->current_value(), -36, 1e-9);
    EXPECT_TRUE(strip->is_selected());

    xdotool("click 4");  // wheel up over the strip
    const int before = strip_calls;
    ASSERT_TRUE(pump_until(*w, [&] { return strip_calls > before; }));
    EXPECT_NEAR(strip->current_value(), -35.84, 1e-9);
}

}  // namespace
