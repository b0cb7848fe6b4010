// A colour well of the preferences panel: a swatch with its caption underneath. A click makes it
// the well the picker fills; a new colour from the picker is sent to the well's action, as the
// platform's colour wells send changeColor:. [UI thread]
#pragma once

#include "ui/Color.h"
#include "ui/InterfaceLoader.h"
#include "ui/View.h"

#include <functional>
#include <string>

class HF_Zentrova_Color_Well : public ui::View, public ui::DescribedProperties {
public:
    ui::Color color() const { return _color; }
    void set_color(const ui::Color &color);
    bool is_active() const { return _active; }
    void set_active(bool active);
    const std::string &caption() const { return _caption; }

    // A click on the well (the panel makes it the active one).
    std::function<void(HF_Zentrova_Color_Well &)> on_activate;
    // The colour changed through the picker.
    std::function<void(HF_Zentrova_Color_Well &)> action;

    // "caption" from the interface description.
    void set_described_string(const std::string &key, const std::string &value) override;
    void set_described_number(const std::string &, double) override {}

    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    void mouseDown(const ui::Event &e) override;
    bool mouseDownCanMoveWindow() const override { return false; }

private:
    ui::Color _color = ui::Color::white();
    bool _active = false;
    std::string _caption;
};
