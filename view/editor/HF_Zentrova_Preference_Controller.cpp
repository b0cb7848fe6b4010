#include "view/editor/HF_Zentrova_Preference_Controller.h"

#include "view/editor/HF_Zentrova_Color_Picker.h"
#include "view/editor/HF_Zentrova_Color_Well.h"
#include "view/editor/bundle_resources.h"
#include "view/editor/color_preferences.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "ui/InterfaceLoader.h"
#include "ui/Log.h"
#include "ui/Window.h"

namespace {

// The panel behind the wells: a dark rounded card with its heading.
class HF_Zentrova_Preferences_Panel : public ui::View {
public:
    void drawRect(ui::GraphicsContext &context, const ui::Rect &) override {
        const ui::Rect b = bounds();
        context.save_state();
        context.add_rounded_rect(b.inset(0.5, 0.5), 14, 14);
        context.set_fill_color({0.08, 0.1, 0.12, 0.96});
        context.set_stroke_color({0.6, 0.6, 0.6, 0.8});
        context.set_line_width(1);
        context.fill_then_stroke_path();
        context.restore_state();
        context.draw_text_in_rect("Colours", {b.x, b.max_y() - 22, b.width, 18},
                                  {ui::Font::bold_system(12), ui::TextAlignment::center, ui::Color{0.95, 0.95, 0.95, 1}});
    }
    bool mouseDownCanMoveWindow() const override { return false; }
};

}  // namespace

UI_REGISTER_CLASS(HF_Zentrova_Preferences_Panel);

HF_Zentrova_Preference_Controller::HF_Zentrova_Preference_Controller() {
    const std::string path = view::interface_description_path("HF_Zentrova_Preferences");
    ui::View *panel = nullptr;
    ui::InterfaceLoadResult loaded = ui::load_interface_description(
        path, {ui::bind_outlet("window", &panel), ui::bind_outlet("_info_color_well", &_info_color_well),
               ui::bind_outlet("_readout_color_well", &_readout_color_well),
               ui::bind_outlet("_color_picker", &_color_picker)});
    if (!loaded.ok || panel == nullptr || !_info_color_well || !_readout_color_well || !_color_picker) {
        ui::log_message("Zentrova: Unable to load the preferences window: " +
                        (loaded.ok ? std::string("an outlet is not connected") : loaded.error));
        _info_color_well = _readout_color_well = nullptr;
        _color_picker = nullptr;
        return;
    }
    for (auto &view : loaded.top_level_views)
        if (view.get() == panel) _panel = std::move(view);
    windowDidLoad();
}

HF_Zentrova_Preference_Controller::~HF_Zentrova_Preference_Controller() {
    _overlay.reset();
    _closed_overlay.reset();
}

void HF_Zentrova_Preference_Controller::windowDidLoad() {
    // The platform raises the window to the status level to float above the host's windows; a
    // panel inside the editor's window floats above all of its views already.
    _info_color_well->set_color(view::read_color_preference(view::color_preference::info));
    _readout_color_well->set_color(view::read_color_preference(view::color_preference::readout));
    for (HF_Zentrova_Color_Well *well : {_info_color_well, _readout_color_well}) {
        well->on_activate = [this](HF_Zentrova_Color_Well &w) { activate(w); };
        well->action = [this](HF_Zentrova_Color_Well &w) { changeColor(&w); };
    }
    activate(*_info_color_well);
    _color_picker->on_pick = [this](const ui::Color &color) {
        if (_active_well == nullptr) return;
        _active_well->set_color(color);
        if (_active_well->action) _active_well->action(*_active_well);
    };
}

void HF_Zentrova_Preference_Controller::activate(HF_Zentrova_Color_Well &well) {
    if (_active_well != nullptr) _active_well->set_active(false);
    _active_well = &well;
    well.set_active(true);
}

void HF_Zentrova_Preference_Controller::changeColor(ui::Object *sender) {
    if (sender == nullptr) return;
    if (sender == _info_color_well) view::write_color_preference(view::color_preference::info, _info_color_well->color());
    else if (sender == _readout_color_well)
        view::write_color_preference(view::color_preference::readout, _readout_color_well->color());
}

void HF_Zentrova_Preference_Controller::showWindow(ui::View &editor) {
    ui::Window *window = editor.window();
    if (_panel == nullptr || window == nullptr) return;
    if (_overlay) {
        _overlay->make_key();
        return;
    }
    _closed_overlay.reset();
    const ui::Size size = _panel->frame().size();
    const ui::Rect editor_rect = editor.convert_rect_to_view(editor.bounds(), nullptr);
    const ui::Rect frame{editor_rect.mid_x() - size.width / 2, editor_rect.mid_y() - size.height / 2, size.width,
                         size.height};
    _overlay = std::make_unique<ui::Overlay>(frame);
    _overlay->set_background_color(ui::Color::clear());
    _overlay->set_content_view(*_panel);
    _overlay->on_resign_key = [this](ui::Overlay &) { close(); };
    window->add_child_overlay(*_overlay);
    _overlay->make_key();
}

void HF_Zentrova_Preference_Controller::close() {
    if (!_overlay) return;
    _closed_overlay = std::move(_overlay);
    if (ui::Window *parent = _closed_overlay->parent_window()) parent->remove_child_overlay(*_closed_overlay);
}
