#include "gallery_page.h"

#include "ui/OffscreenWindow.h"
#include "ui/PopUpButton.h"
#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Label_View.h"
#include "view/controls/HF_Zentrova_Menu_View.h"
#include "view/controls/HF_Zentrova_Panel_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"

#include <cairo.h>

#include <memory>
#include <vector>

namespace gallery {
namespace {

// The editor's colours, so the page shows the controls as the editor does.
const ui::Color info_color{0.0, 0.15, 0.8, 1.0};
const ui::Color readout_color{0.8, 0.65, 0.2, 1.0};

template <class T>
T *add(ui::View &parent, const ui::Rect &frame) {
    return static_cast<T *>(parent.add_subview(ui::create_view<T>(frame)));
}

// Section titles in the editor's caption colour; the notes naming each state in a light grey,
// so they read easily beside the controls they describe.
void caption(ui::View &parent, const ui::Rect &frame, const std::string &text,
             const ui::Color &color = {0.85, 0.85, 0.85, 1}) {
    auto *label = add<HF_Zentrova_Label_View>(parent, frame);
    label->set_colors_for_info(color);
    label->set_description(text);
}

void box(ui::View &parent, const ui::Rect &frame, const std::string &title) {
    add<HF_Zentrova_Box>(parent, frame);
    caption(parent, {frame.x + 15, frame.max_y() - 32, 200, 18}, title, info_color);
}

HF_Zentrova_Parameter_Control_View *control(ui::View &parent, const ui::Rect &frame,
                                            const std::string &name, double minimum,
                                            double maximum, double value, int32_t scale,
                                            bool selected) {
    auto *c = add<HF_Zentrova_Parameter_Control_View>(parent, frame);
    c->set_colors_for_readout(readout_color, info_color);
    c->set_values_minimum(minimum, maximum, value, scale);
    c->set_current_value(value);
    c->set_description(name);
    c->set_selected(selected);
    return c;
}

HF_Zentrova_Menu_View *menu(ui::View &parent, const ui::Rect &frame, ui::PopUpButton &store,
                            const std::vector<std::string> &items, int selected) {
    auto *m = add<HF_Zentrova_Menu_View>(parent, frame);
    m->set_menu_button(&store);
    for (const auto &item : items) m->append_item(item);
    m->set_colors_for_line(readout_color);
    m->select_index(selected);
    return m;
}

const std::vector<std::string> vowels = {"Start Formant EE", "Start Formant OO", "Start Formant I",
                                         "Start Formant U",  "Start Formant ER", "Start Formant UH",
                                         "Start Formant E",  "Start Formant OW", "Start Formant AE",
                                         "Start Formant A"};

// Everything but the item list: strips selected and not, an open entry box, the knob at the
// minimum, middle and maximum of a square-law range, menus with released and pressed caps, the
// captions, the title button, and the meter at -6 dB with a critical level.
struct main_page {
    ui::OffscreenWindow window;
    std::unique_ptr<HF_Zentrova_Pop_Up_View> entry;
    ui::PopUpButton stores[3];

    explicit main_page(double scale) : window({760, 470}, scale) {
        auto root = ui::create_view<HF_Zentrova_Panel_View>({0, 0, 760, 470});
        ui::View &r = *root;
        window.set_content_view(std::move(root));

        auto *title = add<HF_Zentrova_Button_View>(r, {280, 432, 200, 26});
        title->set_colors_for_info(ui::Color{0.95, 0.95, 0.95, 0.67});
        title->set_description("Zentrova");

        box(r, {10, 240, 370, 180}, "Parameter controls");
        control(r, {25, 330, 165, 30}, "Dry Level (dB)", -80, 0, -80, 0, false);
        control(r, {200, 330, 165, 30}, "Formant Level (dB)", -80, 0, 0, 0, true);
        auto *attack = control(r, {25, 265, 165, 30}, "Attack Time (ms)", 0, 2000, 250, 2, false);
        control(r, {200, 265, 165, 30}, "Sensitivity (dB)", -80, 0, -12, 0, false);
        caption(r, {25, 362, 165, 16}, "not selected");
        caption(r, {200, 362, 165, 16}, "selected");
        caption(r, {25, 297, 165, 16}, "entry box open");

        box(r, {390, 240, 360, 180}, "Knob, 0 to 2000 square-law");
        const double values[] = {0, 500, 2000};
        const char *names[] = {"0 (minimum)", "500 (middle)", "2000 (maximum)"};
        for (int i = 0; i < 3; ++i) {
            auto *knob = add<HF_Zentrova_Big_Knob_View>(r, {405 + 115.0 * i, 280, 100, 100});
            knob->set_values_minimum(0, 2000, 250, 2);
            knob->set_current_value(values[i]);
            caption(r, {400 + 115.0 * i, 255, 110, 16}, names[i]);
        }

        box(r, {10, 20, 370, 210}, "Menus");
        menu(r, {25, 150, 165, 20}, stores[0], vowels, 1);
        auto *left = menu(r, {200, 150, 165, 20}, stores[1], vowels, 4);
        auto *right = menu(r, {25, 80, 165, 20}, stores[2], vowels, 7);
        caption(r, {25, 172, 165, 16}, "released");
        caption(r, {200, 172, 165, 16}, "left cap pressed");
        caption(r, {25, 102, 165, 16}, "right cap pressed");

        box(r, {390, 20, 360, 210}, "Level meter, -72 to 0 dB");
        auto *meter = add<HF_Volume_Response_View>(r, {405, 140, 330, 20});
        meter->set_curve_color(ui::Color{0.0, 0.99, 0.25, 0.5}, ui::Color{0.35, 0.35, 0.45, 0.5},
                               ui::Color{0.2, 0.2, 0.75, 0.5});
        meter->set_db_minimum(-72, 0);
        meter->set_level(0.5f);  // -6.02 dB
        meter->set_critical_level(-24);
        caption(r, {405, 162, 330, 16}, "level -6 dB, critical level -24 dB");
        auto *plain = add<HF_Volume_Response_View>(r, {405, 70, 330, 20});
        plain->set_db_minimum(-72, 0);
        plain->set_level(0.1f);  // -20 dB
        caption(r, {405, 92, 330, 16}, "-20 dB, no colours set");
        caption(r, {405, 35, 160, 20}, "Mix", info_color);
        caption(r, {575, 35, 160, 20}, "Filters", info_color);

        // The pressed caps: presses whose release never comes. Then the entry box, opened by a
        // double click as a user would.
        window.mouse_down(left->convert_point_to_view({5, 10}, nullptr));
        window.mouse_down(right->convert_point_to_view({160, 10}, nullptr));
        entry = HF_Zentrova_Pop_Up_View::create_with_field({0, 0, 120, 40});
        attack->set_pop_up_view(entry.get());
        window.double_click(attack->convert_point_to_view({80, 15}, nullptr));
        window.display();
    }
};

// A menu with its item list open (the list takes the keyboard, so it cannot share a window
// with the open entry box).
struct list_page {
    ui::OffscreenWindow window;
    ui::PopUpButton store;

    explicit list_page(double scale) : window({250, 470}, scale) {
        auto root = ui::create_view<HF_Zentrova_Panel_View>({0, 0, 250, 470});
        ui::View &r = *root;
        window.set_content_view(std::move(root));
        box(r, {10, 20, 230, 400}, "Item list open");
        auto *m = menu(r, {30, 240, 190, 20}, store,
                       {"None", "Sweep Up", "Sweep Down", "Track", "MIDI"}, 3);
        window.click(m->convert_point_to_view({95, 10}, nullptr));
        window.display();
    }
};

}  // namespace

bool write_gallery(const std::string &png_path, double scale, std::string *error) {
    main_page left(scale);
    list_page right(scale);
    const int width = left.window.pixel_width() + right.window.pixel_width();
    const int height = left.window.pixel_height();
    cairo_surface_t *page = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t *cr = cairo_create(page);
    cairo_set_source_surface(cr, left.window.surface(), 0, 0);
    cairo_paint(cr);
    cairo_set_source_surface(cr, right.window.surface(), left.window.pixel_width(), 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(page, png_path.c_str());
    cairo_surface_destroy(page);
    if (status != CAIRO_STATUS_SUCCESS) {
        if (error) *error = "cannot write " + png_path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace gallery
