#include "view/controls/HF_Zentrova_Pop_Up_View.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"

UI_REGISTER_CLASS(HF_Zentrova_Pop_Up_View);

std::unique_ptr<HF_Zentrova_Pop_Up_View> HF_Zentrova_Pop_Up_View::create_with_field(
    const ui::Rect &frame) {
    auto entry = ui::create_view<HF_Zentrova_Pop_Up_View>(frame);
    const ui::Rect b = entry->bounds();
    entry->add_subview(ui::create_view<ui::TextField>({10, (b.height - 18) / 2, b.width - 20, 18}));
    entry->awakeFromNib();
    return entry;
}

void HF_Zentrova_Pop_Up_View::awakeFromNib() {
    if (_entry_field) return;
    for (ui::View *child : subviews())
        if (auto *field = dynamic_cast<ui::TextField *>(child)) {
            set_entry_field(field);
            break;
        }
}

void HF_Zentrova_Pop_Up_View::set_entry_field(ui::TextField *field) {
    _entry_field = field;
    if (!field) return;
    if (!field->formatter()) field->set_formatter(std::make_shared<ui::NumberFormatter>());
    field->action = [this](ui::TextField &) { done_editing(_entry_field); };
}

void HF_Zentrova_Pop_Up_View::set_current_value(double value) {
    if (_entry_field) _entry_field->set_float_value(static_cast<float>(value));
}

double HF_Zentrova_Pop_Up_View::current_value() const {
    return _entry_field ? static_cast<double>(_entry_field->float_value()) : 0.0;
}

void HF_Zentrova_Pop_Up_View::set_format_minimum(float minimum, float maximum) {
    if (!_entry_field || !_entry_field->formatter()) return;
    _entry_field->formatter()->set_maximum(maximum);
    _entry_field->formatter()->set_minimum(minimum);
}

void HF_Zentrova_Pop_Up_View::done_editing(ui::Object *) { _callback.send(*this); }

void HF_Zentrova_Pop_Up_View::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    context.set_line_width(1);
    context.begin_path();
    add_rounded_rect_to_path(context, bounds(), 20, 20);
    context.set_stroke_color({0, 0, 0, 1});
    context.set_fill_color({0, 0, 0, 0.66666});
    context.fill_then_stroke_path();
}

void HF_Zentrova_Pop_Up_View::add_rounded_rect_to_path(ui::GraphicsContext &context,
                                                       const ui::Rect &r, float oval_width,
                                                       float oval_height) {
    if (oval_width == 0 || oval_height == 0) {
        context.add_rect(r);
        return;
    }
    // In a space scaled by the oval's size the corners are arcs of radius 0.5.
    context.save_state();
    context.translate(r.x, r.y);
    context.scale(oval_width, oval_height);
    const double fw = r.width / oval_width, fh = r.height / oval_height;
    context.move_to({fw, fh / 2});
    context.add_arc_to_point({fw, fh}, {fw / 2, fh}, 0.5);
    context.add_arc_to_point({0, fh}, {0, fh / 2}, 0.5);
    context.add_arc_to_point({0, 0}, {fw / 2, 0}, 0.5);
    context.add_arc_to_point({fw, 0}, {fw, fh / 2}, 0.5);
    context.close_path();
    context.restore_state();
}
