#include "view/editor/HFZentrovaView.h"

#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Label_View.h"
#include "view/controls/HF_Zentrova_Menu_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"
#include "view/controls/HF_Zentrova_Panel_View.h"
#include "view/controls/HF_Zentrova_Pop_Up_View.h"
#include "view/controls/control_support.h"
#include "view/editor/HF_Zentrova_Preference_Controller.h"
#include "view/editor/color_preferences.h"

#include "zentrova_ids.h"

#include "ui/ClassRegistry.h"
#include "ui/GraphicsContext.h"
#include "ui/Log.h"

#include <cmath>
#include <functional>
#include <initializer_list>
#include <numbers>

using namespace zentrova;

namespace {

constexpr ui::Color title_color{0.95, 0.95, 0.95, 0.67};

}  // namespace

// The editor's own ranges and texts: what its controls show and clamp to. In the order the
// controls are configured.
struct HFZentrovaView::parameter_row {
    AudioUnitParameterID id;
    HF_Zentrova_Parameter_Control_View *HFZentrovaView::*field;
    const char *text;
    double minimum, maximum, default_value;
    int32_t scale_type;  // 0 linear, 1 logarithmic, 2 square-law
};

const HFZentrovaView::parameter_row HFZentrovaView::parameter_rows[] = {
    {k_envelope_shape, &HFZentrovaView::_envelope_shape_parameter, "Track Envelope Shape", 0, 1, 0.25, 2},
    {k_dry_output_level, &HFZentrovaView::_output_dry_level_parameter, "Dry Level (dB)", -80, 0, -80, 0},
    {k_formant_level, &HFZentrovaView::_output_formant_level_parameter, "Formant Level (dB)", -80, 0, 0, 0},
    {k_formant_resonance, &HFZentrovaView::_formant_filter_q_parameter, "Formant Filter Resonance", 0, 1,
     double(0.6f), 0},
    {k_formant_filter_drive, &HFZentrovaView::_formant_filter_drive_parameter, "Formant Filter Drive", 0, 1,
     double(0.333f), 0},
    {k_follower_attack_time, &HFZentrovaView::_envelope_attack_time, "Attack Time (ms)", 0, 2000, 250, 2},
    {k_follower_release_time, &HFZentrovaView::_envelope_release_time, "Release Time (ms)", 0, 2000, 250, 2},
    {k_trigger_sensitivity, &HFZentrovaView::_trigger_sensitivity_level, "Sensitivity (dB)", -80, 0, -12, 0},
    {k_envelope_attack, &HFZentrovaView::_triggered_attack_time, "Envelope Attack Time (ms)", 0, 20000, 250, 2},
    {k_envelope_release, &HFZentrovaView::_triggered_release_time, "Envelope Release Time (ms)", 0, 20000, 250, 2},
};

struct HFZentrovaView::menu_row {
    AudioUnitParameterID id;
    HF_Zentrova_Menu_View *HFZentrovaView::*field;
    ui::PopUpButton *HFZentrovaView::*button;
    std::initializer_list<const char *> items;  // the item index is the parameter value
};

#define VOWELS(prefix)                                                                                         \
    {prefix " EE", prefix " OO", prefix " I", prefix " U", prefix " ER", prefix " UH", prefix " E", prefix " OW", \
     prefix " AE", prefix " A"}

const HFZentrovaView::menu_row HFZentrovaView::menu_rows[] = {
    {k_formant_filter_type, &HFZentrovaView::_formant_filter_stages, &HFZentrovaView::_hidden_formant_filter_stages,
     {"One Stage LP", "Two Stage LP", "Three Stage LP", "Four Stage LP", "One Stage BP", "Two Stage BP",
      "Three Stage BP", "Four Stage BP"}},
    {k_start_formant, &HFZentrovaView::_formant_filter_start_formant,
     &HFZentrovaView::_hidden_formant_filter_start_formant, VOWELS("Start Formant")},
    {k_middle_formant, &HFZentrovaView::_formant_filter_mid_formant,
     &HFZentrovaView::_hidden_formant_filter_mid_formant, VOWELS("Mid Formant")},
    {k_end_formant, &HFZentrovaView::_formant_filter_end_formant, &HFZentrovaView::_hidden_formant_filter_end_formant,
     VOWELS("End Formant")},
    {k_envelope_type, &HFZentrovaView::_envelope_type_menu, &HFZentrovaView::_hidden_envelope_type_menu_button,
     {"None", "Sweep Up", "Sweep Down", "Track", "MIDI"}},
};

#undef VOWELS

HFZentrovaView::HFZentrovaView() = default;

HFZentrovaView::~HFZentrovaView() {
    _removeListeners();
    _preferences_controller.reset();
    // The controls first, while the entry view they may be showing in an open box still exists.
    while (!subviews().empty()) subviews().back()->remove_from_superview();
}

namespace {

// The fields are set once the main view is known, whichever order the description lists its views
// in: connections that come before the main view's wait for it.
struct outlet_connections {
    HFZentrovaView **slot;
    std::vector<std::function<void(HFZentrovaView &)>> pending;
    void flush() {
        if (*slot == nullptr) return;
        for (auto &connect : pending) connect(**slot);
        pending.clear();
    }
};

template <class T>
ui::Outlet field_outlet(const char *name, const std::shared_ptr<outlet_connections> &connections,
                        T *HFZentrovaView::*field) {
    return {name,
            [connections, field](ui::View *v) {
                connections->pending.push_back([v, field](HFZentrovaView &main) { main.*field = dynamic_cast<T *>(v); });
                connections->flush();
            },
            [](ui::View *v) { return dynamic_cast<T *>(v) != nullptr; }};
}

}  // namespace

// Every field the description connects, under its own name.
std::vector<ui::Outlet> HFZentrovaView::outlets(HFZentrovaView **slot) {
    auto connections = std::make_shared<outlet_connections>(outlet_connections{slot, {}});
    std::vector<ui::Outlet> o{{"view",
                               [connections](ui::View *v) {
                                   *connections->slot = dynamic_cast<HFZentrovaView *>(v);
                                   connections->flush();
                               },
                               [](ui::View *v) { return dynamic_cast<HFZentrovaView *>(v) != nullptr; }}};
#define OUTLET(name) o.push_back(field_outlet(#name, connections, &HFZentrovaView::name))
    OUTLET(_main_title);
    OUTLET(_knob);
    OUTLET(_formant_filter_stages);
    OUTLET(_hidden_formant_filter_stages);
    OUTLET(_formant_filter_start_formant);
    OUTLET(_hidden_formant_filter_start_formant);
    OUTLET(_formant_filter_mid_formant);
    OUTLET(_hidden_formant_filter_mid_formant);
    OUTLET(_formant_filter_end_formant);
    OUTLET(_hidden_formant_filter_end_formant);
    OUTLET(_envelope_type_menu);
    OUTLET(_hidden_envelope_type_menu_button);
    OUTLET(_mix_label);
    OUTLET(_envelope_type_label);
    OUTLET(_input_envelope_label);
    OUTLET(_envelope_label);
    OUTLET(_filters_label);
    OUTLET(_output_dry_level_parameter);
    OUTLET(_output_formant_level_parameter);
    OUTLET(_formant_filter_q_parameter);
    OUTLET(_formant_filter_drive_parameter);
    OUTLET(_envelope_attack_time);
    OUTLET(_envelope_release_time);
    OUTLET(_envelope_shape_parameter);
    OUTLET(_trigger_sensitivity_level);
    OUTLET(_triggered_attack_time);
    OUTLET(_triggered_release_time);
    OUTLET(_level_read_out);
    OUTLET(_filters_box);
    OUTLET(_mix_box);
    OUTLET(_envelope_box);
    OUTLET(_text_entry_popup_view);
#undef OUTLET
    return o;
}

void HFZentrovaView::adopt_top_level_view(std::unique_ptr<ui::View> view) {
    if (view) _top_level_views.push_back(std::move(view));
}

HF_Zentrova_Parameter_Control_View *HFZentrovaView::parameter_view(AudioUnitParameterID id) const {
    for (const parameter_row &row : parameter_rows)
        if (row.id == id) return this->*row.field;
    return nullptr;
}

HF_Zentrova_Menu_View *HFZentrovaView::menu_view(AudioUnitParameterID id) const {
    for (const menu_row &row : menu_rows)
        if (row.id == id) return this->*row.field;
    return nullptr;
}

void HFZentrovaView::initWithFrame(const ui::Rect &frame) {
    View::initWithFrame(frame);
    view::ensure_color_preferences();
}

bool HFZentrovaView::is_complete() const {
    for (const parameter_row &row : parameter_rows)
        if (this->*row.field == nullptr) return false;
    for (const menu_row &row : menu_rows)
        if (this->*row.field == nullptr || this->*row.button == nullptr) return false;
    for (const ui::View *v : std::initializer_list<const ui::View *>{
             _main_title, _knob, _mix_label, _envelope_type_label, _input_envelope_label, _envelope_label,
             _filters_label, _level_read_out, _filters_box, _mix_box, _envelope_box, _text_entry_popup_view})
        if (v == nullptr) return false;
    return true;
}

void HFZentrovaView::awakeFromNib() {
    // A description that leaves a field unconnected gives no editor (the factory asks), rather
    // than one that crashes on its first event.
    if (!is_complete()) return;
    const ui::Color info = view::read_color_preference(view::color_preference::info);
    const ui::Color readout = view::read_color_preference(view::color_preference::readout);

    _level_read_out->set_curve_color(ui::Color{0.0, 0.99, 0.25, 0.5}, ui::Color{0.35, 0.35, 0.45, 0.5},
                                     ui::Color{0.2, 0.2, 0.75, 0.5});
    _level_read_out->set_db_minimum(-72, 0);

    _main_title->set_callback(view::selector(&HFZentrovaView::show_preferences_panel), this);
    _main_title->set_colors_for_info(title_color);
    _main_title->set_description(std::string("Zentrova"));

    for (const menu_row &row : menu_rows) {
        HF_Zentrova_Menu_View *menu = this->*row.field;
        menu->set_callback(view::selector(&HFZentrovaView::menu_callback), this);
        menu->set_menu_button(this->*row.button);
        menu->remove_all_items();
        for (const char *item : row.items) menu->append_item(item);
        menu->set_colors_for_line(readout);
        menu->select_index(0);
    }

    _knob->set_callback(view::selector(&HFZentrovaView::knob_callback), this);
    _knob->set_values_minimum(-80, 0, -80, 0);
    _knob->set_current_value(-80);

    const std::pair<HF_Zentrova_Label_View *, const char *> captions[] = {
        {_mix_label, "Mix"},
        {_envelope_type_label, "Envelope Type"},
        {_input_envelope_label, "Input Follower"},
        {_envelope_label, "Envelopes"},
        {_filters_label, "Filters"}};
    for (const auto &[label, text] : captions) {
        label->set_colors_for_info(info);
        label->set_description(std::string(text));
    }

    for (const parameter_row &row : parameter_rows) {
        HF_Zentrova_Parameter_Control_View *control = this->*row.field;
        control->set_parameter_number(row.id);
        control->set_colors_for_readout(readout, info);
        control->set_values_minimum(row.minimum, row.maximum, row.default_value, row.scale_type);
        control->set_current_value(row.default_value);
        control->set_callback(view::selector(&HFZentrovaView::parameter_view_value_edited), this);
        control->set_selection_callback(view::selector(&HFZentrovaView::parameter_view_selected), this);
        control->set_description(std::string(row.text));
        // The knob starts on the formant level, the control a user reaches for first.
        if (row.id == 1) {
            control->set_selected(true);
            parameter_view_selected(control);
        } else {
            control->set_selected(false);
        }
        control->set_pop_up_view(_text_entry_popup_view);
    }

    // Direct children in this order, so the knob lies on top of everything.
    for (ui::View *child : std::initializer_list<ui::View *>{_mix_box, _filters_box, _envelope_box, _main_title, _knob}) {
        std::unique_ptr<ui::View> owned = child->superview() ? child->remove_from_superview() : nullptr;
        if (owned) add_subview(std::move(owned));
        else add_subview(*child);
    }
    setNeedsDisplay();
}

// The title is the unit's component name without its manufacturer ("Harrowfield: Zentrova" gives
// "Zentrova"), so a host that binds the editor to a unit of its own names the variant it shows
// (the LV2 mono plug-in's "Zentrova Mono"). Without a name it stays "Zentrova".
std::string HFZentrovaView::title_for(AudioUnit unit) {
    std::string title = "Zentrova";
    AudioComponent component = unit != nullptr ? AudioComponentInstanceGetComponent(unit) : nullptr;
    CFStringRef name = nullptr;
    if (component == nullptr || AudioComponentCopyName(component, &name) != noErr || name == nullptr) return title;
    char text[256] = {};
    const bool read = CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(name);
    const std::string full = read ? text : "";
    const auto colon = full.find(": ");
    if (colon != std::string::npos && colon + 2 < full.size()) title = full.substr(colon + 2);
    return title;
}

void HFZentrovaView::setAU(AudioUnit unit) {
    if (mAU != nullptr) _removeListeners();
    mAU = unit;
    if (_main_title != nullptr) _main_title->set_description(title_for(unit));
    _addListeners();
    _synchronizeUIWithParameterValues();
}

void HFZentrovaView::_addListeners() {
    if (mAU == nullptr) return;
    AUEventListenerCreate(EventListenerDispatcher, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.05f, 0.05f,
                          &mAUEventListener);
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    for (AudioUnitParameterID id = 0; id < k_parameter_count; ++id) {
        event.mArgument.mParameter = {mAU, id, kAudioUnitScope_Global, 0};
        AUEventListenerAddEventType(mAUEventListener, this, &event);
    }
    event = {};
    event.mEventType = kAudioUnitEvent_PropertyChange;
    event.mArgument.mProperty = {mAU, k_follower_level_property, kAudioUnitScope_Global, 0};
    AUEventListenerAddEventType(mAUEventListener, this, &event);
}

void HFZentrovaView::_removeListeners() {
    if (mAUEventListener != nullptr) AUListenerDispose(mAUEventListener);
    mAUEventListener = nullptr;
    mAU = nullptr;
}

void HFZentrovaView::_synchronizeUIWithParameterValues() {
    if (mAU == nullptr) return;
    AudioUnitEvent event{};
    event.mEventType = kAudioUnitEvent_ParameterValueChange;
    for (AudioUnitParameterID id = 0; id < k_parameter_count; ++id) {
        event.mArgument.mParameter = {mAU, id, kAudioUnitScope_Global, 0};
        AUEventListenerNotify(nullptr, nullptr, &event);
    }
}

void EventListenerDispatcher(void *callback_data, void *object, const AudioUnitEvent *event, UInt64,
                             AudioUnitParameterValue value) {
    static_cast<HFZentrovaView *>(callback_data)->_eventListener(object, event, value);
}

void HFZentrovaView::_eventListener(void *, const AudioUnitEvent *event, AudioUnitParameterValue value) {
    if (event->mEventType == kAudioUnitEvent_PropertyChange) {
        property_update_from_au(event->mArgument.mProperty.mPropertyID);
        return;
    }
    if (event->mEventType != kAudioUnitEvent_ParameterValueChange) {
        ui::log_message("Error: Got an update for an unknown parameter.");
        return;
    }
    ++_parameter_events_received;
    const AudioUnitParameterID id = event->mArgument.mParameter.mParameterID;
    if (HF_Zentrova_Parameter_Control_View *control = parameter_view(id)) {
        control->set_current_value(value);
        if (id == k_trigger_sensitivity) _level_read_out->set_critical_level(value);
    } else if (HF_Zentrova_Menu_View *menu = menu_view(id)) {
        menu->select_index(static_cast<int32_t>(value));  // truncation toward zero: 2.9 is item 2
    }
    sync_big_knob();
}

void HFZentrovaView::property_update_from_au(AudioUnitPropertyID property) {
    if (mAU == nullptr) return;
    double level = 0;
    UInt32 size = sizeof level;
    if (AudioUnitGetProperty(mAU, property, kAudioUnitScope_Global, 0, &level, &size) == noErr && size == sizeof level)
        _level_read_out->set_level(static_cast<float>(level));
}

void HFZentrovaView::set_au_parameter(AudioUnitParameterID parameter, AudioUnitParameterValue value) {
    if (mAU == nullptr) return;
    const AudioUnitParameter target{mAU, parameter, kAudioUnitScope_Global, 0};
    // This view's listener as the sender: the host tells everyone but this view.
    AUParameterSet(mAUEventListener, this, &target, value, 0);
}

void HFZentrovaView::knob_callback(HF_Zentrova_Big_Knob_View *sender) {
    if (sender != _knob || _current_parameter_view == nullptr) return;
    const double value = _knob->current_value();
    _current_parameter_view->set_current_value(value);
    if (_current_parameter_view == _trigger_sensitivity_level) _level_read_out->set_critical_level(float(value));
    set_au_parameter(_current_parameter_view->parameter_number(), float(value));
}

void HFZentrovaView::parameter_view_value_edited(HF_Zentrova_Parameter_Control_View *sender) {
    if (sender == _current_parameter_view) _knob->set_current_value(sender->current_value());
    // Through the knob, so the control shows the value the knob could take.
    if (_current_parameter_view != nullptr) _current_parameter_view->set_current_value(_knob->current_value());
    if (sender == _trigger_sensitivity_level) _level_read_out->set_critical_level(float(sender->current_value()));
    set_au_parameter(sender->parameter_number(), float(sender->current_value()));
}

void HFZentrovaView::menu_callback(HF_Zentrova_Menu_View *sender) {
    for (const menu_row &row : menu_rows)
        if (this->*row.field == sender) {
            set_au_parameter(row.id, float(sender->indexOfSelectedItem()));
            return;
        }
}

void HFZentrovaView::parameter_view_selected(HF_Zentrova_Parameter_Control_View *sender) {
    // A control that re-announces its own selection must stay selected.
    if (_current_parameter_view != nullptr && _current_parameter_view != sender)
        _current_parameter_view->set_selected(false);
    _current_parameter_view = sender;
    _knob->set_values_minimum(sender->minimum_value(), sender->maximum_value(), sender->default_value(),
                              sender->scale_type());
    _knob->set_current_value(sender->current_value());
}

void HFZentrovaView::sync_big_knob() {
    if (_current_parameter_view == nullptr) return;
    _knob->set_values_minimum(_current_parameter_view->minimum_value(), _current_parameter_view->maximum_value(),
                              _current_parameter_view->default_value(), _current_parameter_view->scale_type());
    _knob->set_current_value(_current_parameter_view->current_value());
}

void HFZentrovaView::show_preferences_panel(HF_Zentrova_Button_View *) {
    if (!_preferences_controller) _preferences_controller = std::make_unique<HF_Zentrova_Preference_Controller>();
    _preferences_controller->showWindow(*this);
}

void HFZentrovaView::drawRect(ui::GraphicsContext &context, const ui::Rect &) {
    const ui::Rect b = bounds();
    do_2d_bg(context, {0, 0, b.width, b.height});
}

namespace {

// A teal-grey band: red 0, green = blue = v, v 0.1575 at the edges and 0.45 in the middle.
ui::Color bg_panel_evaluate(double t) {
    const double v = ((1 - std::fabs(1 - 2 * t)) * 0.65 + 0.35) * 0.45;
    return {0, v, v, 1};
}

// Bars of 20 points at the sides, dark at their ends and 0.45 in their middle.
ui::Color bg_sidebars_evaluate(double t) {
    const double v = ((1 - std::fabs(std::cos(std::numbers::pi_v<float> * float(t)))) * 0.75 + 0.25) * 0.45;
    return {0, v, v, 1};
}

}  // namespace

void HFZentrovaView::do_2d_bg(ui::GraphicsContext &context, const ui::Rect &area) {
    const double x = area.x, y = area.y, w = area.width;
    context.save_state();
    context.clip_to_rect(area);
    // A failed layer stops the drawing: the layers above it would sit on nothing.
    if (view::draw_axial_shading(context, {x, y}, {x + w, y}, bg_panel_evaluate) &&
        view::draw_axial_shading(context, {x, y}, {x + 20, y}, bg_sidebars_evaluate))
        view::draw_axial_shading(context, {x + w - 20, y}, {x + w, y}, bg_sidebars_evaluate);
    context.restore_state();
}

UI_REGISTER_CLASS(HFZentrovaView);
