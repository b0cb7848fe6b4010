// A shaded grey background panel that an interface description can place behind controls; a
// press on it may drag the window. [UI thread]
#pragma once

#include "ui/View.h"
#include "view/controls/control_support.h"

class HF_Zentrova_Panel_View : public ui::View, public view::device_rgb_drawing {
public:
    void awakeFromNib() override { setNeedsDisplay(); }
    bool mouseDownCanMoveWindow() const override { return true; }
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    // A band, darker at the left and right edges, and a side bar at each edge.
    void do_2d_bg(ui::GraphicsContext &context, const ui::Rect &area);
};

// The frame drawn around each of the editor's sections: a thin rounded outline with a light
// engraved edge, in place of the platform box's own border and title. [UI thread]
class HF_Zentrova_Box : public ui::View, public view::device_rgb_drawing {
public:
    bool isOpaque() const override { return false; }
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    void draw_edge(ui::GraphicsContext &context, const ui::Rect &r);
    static void add_rounded_rect_to_path(ui::GraphicsContext &context, const ui::Rect &r,
                                         float oval_width, float oval_height);
    // Shared by all boxes.
    static const ui::Color &get_edge_color();
    static const ui::Color &get_shadow_color();
};
