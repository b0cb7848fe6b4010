// What every control shares: the value callback (a selector sent to a host object), the one
// device RGB colour space, and drawing a shading from a colour function with the editor's error
// messages.
#pragma once

#include "ui/GraphicsContext.h"
#include "ui/Object.h"
#include "ui/Shading.h"

#include <functional>
#include <memory>

namespace view {

// A selector bound to its host: the host receives it with the sending control as the argument
// and then reads the control. The host is not owned: in the editor it is the main view, which
// owns its controls and so outlives them.
template <class Sender>
class control_callback {
public:
    using selector = std::function<void(ui::Object &host, Sender &sender)>;

    // Ignored unless both are given; replaces the previous host.
    void set(selector s, ui::Object *host) {
        if (!s || !host) return;
        _selector = std::move(s);
        _host = host;
    }
    bool is_set() const { return _host != nullptr; }
    void send(Sender &sender) const {
        if (_host) _selector(*_host, sender);
    }

private:
    selector _selector;
    ui::Object *_host = nullptr;
};

// A member function `void Host::method(Sender *sender)` as a selector, so hosts write
// set_callback(view::selector(&HFZentrovaView::knob_callback), this).
template <class Host, class Sender>
typename control_callback<Sender>::selector selector(void (Host::*method)(Sender *)) {
    return [method](ui::Object &host, Sender &sender) {
        (static_cast<Host &>(host).*method)(&sender);
    };
}

const std::shared_ptr<const ui::ColorSpace> &device_rgb_space();

// What every control that draws shadings declares: the one device RGB space they are made in,
// created once and shared.
struct device_rgb_drawing {
    static std::shared_ptr<const ui::ColorSpace> get_RGB_color_space() { return device_rgb_space(); }
};

// Paints an axial (start to end) or radial (start circle to end circle) shading of `evaluate`
// inside the current clip, not extended past its ends. On failure logs "Error: couldn't create
// function for shading." or "Error: couldn't create shading.", draws nothing and returns false,
// so a caller can skip what depends on it.
bool draw_axial_shading(ui::GraphicsContext &context, ui::Point start, ui::Point end,
                        ui::ShadingFunction::Evaluate evaluate);
bool draw_radial_shading(ui::GraphicsContext &context, ui::Point start_center, double start_radius,
                         ui::Point end_center, double end_radius,
                         ui::ShadingFunction::Evaluate evaluate);

}  // namespace view
