// The typed-entry box shared by all parameter controls: a rounded, dark, half-transparent panel
// holding a one-line text field with a number formatter. The control that opens it loads its
// value, the formatter's range and the callback first, so a confirmation always reaches it.
// [UI thread]
#pragma once

#include "ui/TextField.h"
#include "ui/View.h"
#include "view/controls/control_support.h"

class HF_Zentrova_Pop_Up_View : public ui::View {
public:
    using callback = view::control_callback<HF_Zentrova_Pop_Up_View>;

    // A ready entry view of the given frame with its text field inside, as the interface
    // description lays it out; for code that builds the editor by hand (tests, the gallery).
    static std::unique_ptr<HF_Zentrova_Pop_Up_View> create_with_field(const ui::Rect &frame);

    // Shows the value as a single-precision number.
    void set_current_value(double value);
    // The field's number (clamped by its formatter) as a single-precision value; 0 for text that
    // is not a number.
    double current_value() const;
    // Maximum first, then minimum; nothing when the field has no formatter.
    void set_format_minimum(float minimum, float maximum);
    void set_callback(callback::selector selector, ui::Object *host) {
        _callback.set(std::move(selector), host);
    }
    // The text field's action (Return on a number).
    void done_editing(ui::Object *sender);

    ui::TextField *entry_field() const { return _entry_field; }
    // Adopts the field (the interface description's child of this view); a field without a
    // formatter gets one, since the box exists to take numbers.
    void set_entry_field(ui::TextField *field);

    void awakeFromNib() override;
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    static void add_rounded_rect_to_path(ui::GraphicsContext &context, const ui::Rect &r,
                                         float oval_width, float oval_height);
    bool mouseDownCanMoveWindow() const override { return false; }

private:
    ui::TextField *_entry_field = nullptr;
    callback _callback;
};
