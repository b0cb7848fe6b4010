// The strip look that the parameter control, the menu, the label and button and the level meter
// share: a dark band, a rounded cap at each end, the control's own content, and a glass highlight
// over it all. A control says how wide its caps are and which part of the strip its band and
// highlight cover, and draws only its content; the caps take their colours from cap_colors.
// [UI thread]
#pragma once

#include "ui/View.h"
#include "view/controls/control_support.h"
#include "view/controls/shading_functions.h"

namespace view {

enum class strip_side { left, right };

class strip_control : public ui::View, public device_rgb_drawing {
public:
    void initWithFrame(const ui::Rect &frame) override;
    void awakeFromNib() override { setNeedsDisplay(); }
    bool mouseDownCanMoveWindow() const override { return false; }

    // The band, the two caps, the content, the highlight.
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    // A vertical band, black at the top and bottom edges and grey 0.1 at mid-height.
    virtual void do_body_panel(ui::GraphicsContext &context);
    // Half ellipses of the strip's height, shaded along the axis from the inner edge (t = 0,
    // colour A of cap_colors) to the outer edge (t = 1, colour B).
    virtual void do_left_end_cap(ui::GraphicsContext &context);
    virtual void do_right_end_cap(ui::GraphicsContext &context);
    // A faint white band across the middle third of the height.
    virtual void do_shine(ui::GraphicsContext &context);
    // The two colours of a cap's shading; dark grey to black unless a control lights its caps.
    virtual two_color_info cap_colors(strip_side side) const;

    ui::Rect left_rect() const { return _left_rect; }
    ui::Rect right_rect() const { return _right_rect; }

protected:
    // Which part of the strip the band or the highlight covers.
    enum class span { whole, between_caps };
    struct strip_style {
        double cap_width = 5;
        span body_panel = span::between_caps;
        span shine = span::whole;
        double shine_alpha = 1.0;  // the highlight's alpha is multiplied by this
        bool left_cap_first = false;
    };
    explicit strip_control(strip_style style) : _style(style) {}

    // Intersects the clip with the cap's half ellipse: the cap rectangle and the ellipse of
    // twice its width that reaches from it across the strip.
    void clip_to_cap(ui::GraphicsContext &context, strip_side side) const;
    // What lies between the caps (text, a graph): drawn over the caps, under the highlight.
    virtual void draw_content(ui::GraphicsContext &context) = 0;

    // Set at creation from the bounds (x, y, w, h) with cap width c: the whole strip, the caps
    // (x, y, c, h) and (x + w - c, y, c, h), and (x + c, y, w - 2c, h) between them.
    ui::Rect _body_rect, _left_rect, _right_rect, _between_caps_rect;

private:
    ui::Rect covered(span s) const { return s == span::whole ? _body_rect : _between_caps_rect; }

    strip_style _style;
};

}  // namespace view
