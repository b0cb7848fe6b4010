// The colour field of the preferences panel: hue from left to right; from the bottom up, black
// to the full colour in the lower half and the full colour to white in the upper half, so every
// hue, shade and tint is one click away. A press or drag picks the colour under the pointer.
// [UI thread]
#pragma once

#include "ui/Color.h"
#include "ui/View.h"

#include <functional>

// The colour at (u, v) of the field, both in [0, 1] (clamped): u the hue, v the height.
ui::Color picker_color_at(double u, double v);

class HF_Zentrova_Color_Picker : public ui::View {
public:
    std::function<void(const ui::Color &)> on_pick;

    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    void mouseDown(const ui::Event &e) override;
    void mouseDragged(const ui::Event &e) override;
    bool mouseDownCanMoveWindow() const override { return false; }

private:
    void pick(const ui::Event &e);
};
