// The preferences window of the editor: two colour wells (the info colour of names and captions,
// the read-out colour of values and menu titles) over a colour field. Opened by a click on the
// editor's title strip; a chosen colour is stored at once and used by every editor built
// afterwards (open editors keep the colours they were built with).
//
// The "window" is a floating panel inside the editor's window, the way this toolkit floats the
// entry box and the item lists: above every view of the editor, closed by a click outside it.
// [UI thread]
#pragma once

#include "ui/Object.h"
#include "ui/Overlay.h"
#include "ui/View.h"

#include <memory>
#include <string>

class HF_Zentrova_Color_Picker;
class HF_Zentrova_Color_Well;

class HF_Zentrova_Preference_Controller : public ui::Object {
public:
    // Loads the interface description "HF_Zentrova_Preferences" from the editor bundle; when it
    // cannot, logs why and shows nothing.
    HF_Zentrova_Preference_Controller();
    ~HF_Zentrova_Preference_Controller() override;

    // Shows the panel over the middle of `editor`'s window (it must be in one) and gives it the
    // keys. Showing it again while open only brings it to the front.
    void showWindow(ui::View &editor);
    void close();
    bool is_window_loaded() const { return _panel != nullptr; }
    bool is_open() const { return _overlay != nullptr; }

    void windowDidLoad();
    // The action of both wells: stores the sender's colour under its key and synchronises. Any
    // other sender changes nothing.
    void changeColor(ui::Object *sender);

    HF_Zentrova_Color_Well *info_color_well() const { return _info_color_well; }
    HF_Zentrova_Color_Well *readout_color_well() const { return _readout_color_well; }
    HF_Zentrova_Color_Picker *color_picker() const { return _color_picker; }
    ui::Overlay *overlay() const { return _overlay.get(); }

private:
    void activate(HF_Zentrova_Color_Well &well);

    std::unique_ptr<ui::View> _panel;
    HF_Zentrova_Color_Well *_info_color_well = nullptr;
    HF_Zentrova_Color_Well *_readout_color_well = nullptr;
    HF_Zentrova_Color_Picker *_color_picker = nullptr;
    HF_Zentrova_Color_Well *_active_well = nullptr;
    std::unique_ptr<ui::Overlay> _overlay;
    // Closed from inside its own event handling (its loss of focus): kept until the next show or
    // the controller's end, so it is never destroyed while the toolkit still delivers that event.
    std::unique_ptr<ui::Overlay> _closed_overlay;
};
