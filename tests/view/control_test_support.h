// An offscreen page with one control on it and a host that records the callbacks it receives.
#pragma once

#include "ui/OffscreenWindow.h"
#include "ui/View.h"

#include <memory>
#include <vector>

namespace view_test {

struct recording_host : ui::Object {
    std::vector<double> values;  // what the host read from the sender at each callback
};

// The control sits at (origin) in a 400 x 300 window, so view and window coordinates differ.
template <class Control>
struct page {
    ui::OffscreenWindow window;
    Control *control = nullptr;
    recording_host host;
    ui::Point origin;

    // `scale` pixels per point; the views' coordinates stay the same at any scale.
    explicit page(const ui::Rect &frame, double scale = 1.0)
        : window({400, 300}, scale), origin(frame.origin()) {
        auto root = ui::create_view<ui::View>({0, 0, 400, 300});
        control = static_cast<Control *>(root->add_subview(ui::create_view<Control>(frame)));
        window.set_content_view(std::move(root));
    }
    // A point of the control's own coordinates, in the window's.
    ui::Point at(double x, double y) const { return {origin.x + x, origin.y + y}; }
};

}  // namespace view_test
