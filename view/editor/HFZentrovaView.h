// The editor's main view: it owns every control, binds each to one effect parameter, follows the
// effect through the host's event-listener service, writes the user's edits back with
// AUParameterSet and shows the effect's input level on the meter.
//
// The views are made by the interface description "HFZentrovaView" and connected to the fields
// below (see outlets()). Everything here runs on the UI thread that created and bound the view;
// the listener is scheduled on that thread's run loop, so events arrive on it too. [UI thread]
#pragma once

#include <AudioToolbox/AudioToolbox.h>

#include "ui/InterfaceLoader.h"
#include "ui/PopUpButton.h"
#include "ui/View.h"

#include <cstdint>
#include <memory>
#include <vector>

class HF_Zentrova_Big_Knob_View;
class HF_Zentrova_Box;
class HF_Zentrova_Button_View;
class HF_Zentrova_Label_View;
class HF_Zentrova_Menu_View;
class HF_Zentrova_Parameter_Control_View;
class HF_Zentrova_Pop_Up_View;
class HF_Zentrova_Preference_Controller;
class HF_Volume_Response_View;

class HFZentrovaView : public ui::View {
public:
    HFZentrovaView();
    ~HFZentrovaView() override;

    // The connections of the interface description: "view" is the main view itself, the others
    // are its fields, set on the view that "view" connected. `slot` receives the main view.
    static std::vector<ui::Outlet> outlets(HFZentrovaView **slot);
    // The views of the description that have no parent besides the main view (the shared entry
    // view): the main view keeps them for its lifetime.
    void adopt_top_level_view(std::unique_ptr<ui::View> view);
    // Whether the description connected every field.
    bool is_complete() const;

    // Binds to an effect instance (null unbinds): removes old listeners, adds new ones, refreshes.
    void setAU(AudioUnit unit);
    // The title strip's text for an editor bound to `unit`.
    static std::string title_for(AudioUnit unit);
    AudioUnit bound_unit() const { return mAU; }

    void _addListeners();
    void _removeListeners();
    void _synchronizeUIWithParameterValues();
    void _eventListener(void *object, const AudioUnitEvent *event, AudioUnitParameterValue value);
    void property_update_from_au(AudioUnitPropertyID property);
    void set_au_parameter(AudioUnitParameterID parameter, AudioUnitParameterValue value);

    // Control callbacks.
    void knob_callback(HF_Zentrova_Big_Knob_View *sender);
    void menu_callback(HF_Zentrova_Menu_View *sender);
    void parameter_view_selected(HF_Zentrova_Parameter_Control_View *sender);
    void parameter_view_value_edited(HF_Zentrova_Parameter_Control_View *sender);
    void show_preferences_panel(HF_Zentrova_Button_View *sender);
    void sync_big_knob();

    void initWithFrame(const ui::Rect &frame) override;
    void awakeFromNib() override;
    void drawRect(ui::GraphicsContext &context, const ui::Rect &dirty) override;
    void do_2d_bg(ui::GraphicsContext &context, const ui::Rect &area);
    bool isOpaque() const override { return true; }

    // For hosts and tests that look inside the editor.
    HF_Zentrova_Big_Knob_View *knob() const { return _knob; }
    HF_Zentrova_Button_View *title() const { return _main_title; }
    HF_Volume_Response_View *level_meter() const { return _level_read_out; }
    HF_Zentrova_Parameter_Control_View *selected_parameter_view() const { return _current_parameter_view; }
    HF_Zentrova_Preference_Controller *preferences_controller() const { return _preferences_controller.get(); }
    // The control of a parameter (null for a menu or for 15), and the menu of one (null otherwise).
    HF_Zentrova_Parameter_Control_View *parameter_view(AudioUnitParameterID id) const;
    HF_Zentrova_Menu_View *menu_view(AudioUnitParameterID id) const;
    // Parameter-change events this view has handled: an edit of its own never adds to it.
    long parameter_events_received() const { return _parameter_events_received; }

private:
    struct parameter_row;
    struct menu_row;
    static const parameter_row parameter_rows[];
    static const menu_row menu_rows[];

    HF_Zentrova_Button_View *_main_title = nullptr;
    HF_Zentrova_Big_Knob_View *_knob = nullptr;
    HF_Zentrova_Menu_View *_formant_filter_stages = nullptr;
    ui::PopUpButton *_hidden_formant_filter_stages = nullptr;
    HF_Zentrova_Menu_View *_formant_filter_start_formant = nullptr;
    ui::PopUpButton *_hidden_formant_filter_start_formant = nullptr;
    HF_Zentrova_Menu_View *_formant_filter_mid_formant = nullptr;
    ui::PopUpButton *_hidden_formant_filter_mid_formant = nullptr;
    HF_Zentrova_Menu_View *_formant_filter_end_formant = nullptr;
    ui::PopUpButton *_hidden_formant_filter_end_formant = nullptr;
    HF_Zentrova_Menu_View *_envelope_type_menu = nullptr;
    ui::PopUpButton *_hidden_envelope_type_menu_button = nullptr;
    HF_Zentrova_Label_View *_mix_label = nullptr;
    HF_Zentrova_Label_View *_envelope_type_label = nullptr;
    HF_Zentrova_Label_View *_input_envelope_label = nullptr;
    HF_Zentrova_Label_View *_envelope_label = nullptr;
    HF_Zentrova_Label_View *_filters_label = nullptr;
    HF_Zentrova_Parameter_Control_View *_current_parameter_view = nullptr;
    HF_Zentrova_Parameter_Control_View *_output_dry_level_parameter = nullptr;
    HF_Zentrova_Parameter_Control_View *_output_formant_level_parameter = nullptr;
    HF_Zentrova_Parameter_Control_View *_formant_filter_q_parameter = nullptr;
    HF_Zentrova_Parameter_Control_View *_formant_filter_drive_parameter = nullptr;
    HF_Zentrova_Parameter_Control_View *_envelope_attack_time = nullptr;
    HF_Zentrova_Parameter_Control_View *_envelope_release_time = nullptr;
    HF_Zentrova_Parameter_Control_View *_envelope_shape_parameter = nullptr;
    HF_Zentrova_Parameter_Control_View *_trigger_sensitivity_level = nullptr;
    HF_Zentrova_Parameter_Control_View *_triggered_attack_time = nullptr;
    HF_Zentrova_Parameter_Control_View *_triggered_release_time = nullptr;
    HF_Volume_Response_View *_level_read_out = nullptr;
    AudioUnit mAU = nullptr;
    AUEventListenerRef mAUEventListener = nullptr;
    std::unique_ptr<HF_Zentrova_Preference_Controller> _preferences_controller;
    HF_Zentrova_Box *_filters_box = nullptr;
    HF_Zentrova_Box *_mix_box = nullptr;
    HF_Zentrova_Box *_envelope_box = nullptr;
    HF_Zentrova_Pop_Up_View *_text_entry_popup_view = nullptr;

    std::vector<std::unique_ptr<ui::View>> _top_level_views;  // the entry view
    long _parameter_events_received = 0;
};

// The plain callback registered with the listener service: forwards to the view named by the
// callback data, dropping the host time.
void EventListenerDispatcher(void *callback_data, void *object, const AudioUnitEvent *event, UInt64 host_time,
                             AudioUnitParameterValue value);
