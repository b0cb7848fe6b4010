// One LV2 UI instance: the Zentrova editor (the same view zentrova-editor shows, made by the
// editor bundle's factory) in an X11 window, embedded in the host's parent window or on its own.
//
// The view is bound to an editor link unit (editor_link_unit.h), never to the unit that renders:
// the UI talks to the DSP through ports only, whether or not the host could grant instance
// access, so it works the same when the DSP runs elsewhere. It mirrors the link and the ports:
//   editor edit -> the link -> this UI's listener -> write_function on the parameter's port;
//   port_event  -> AUParameterSet on the link, sent as this UI's listener -> the editor's controls;
//   port_event of `level` -> the link's level read-out -> the editor's meter.
// The listener service tells every listener but the sender, so neither direction echoes.
//
// [UI thread: everything] The host's UI thread creates it, calls port_event and idle, and
// destroys it. The view's listeners run on that thread's run loop, which idle() runs.
#pragma once

#include "../port_layout.h"
#include "ui_description.h"

#include "host/instance.h"

#include <AudioToolbox/AudioToolbox.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <memory>
#include <string>

namespace ui {
class X11Window;
}  // namespace ui

namespace zentrova_lv2 {

class zentrova_ui {
public:
    // Null, with the reason on stderr, when the component, the link or the editor cannot be
    // opened, or the window cannot be made in `parent`.
    static std::unique_ptr<zentrova_ui> create(uint32_t channels, const char *bundle_path,
                                               LV2UI_Write_Function write_function, LV2UI_Controller controller,
                                               const LV2_Feature *const *features, std::string *error);
    ~zentrova_ui();
    zentrova_ui(const zentrova_ui &) = delete;
    zentrova_ui &operator=(const zentrova_ui &) = delete;

    // The X window the host embeds (0 until shown when the host gave no parent).
    unsigned long widget() const;
    void port_event(uint32_t port, uint32_t buffer_size, uint32_t format, const void *buffer);
    // Handles pending X events and the run loop's listener callbacks, then redraws. False once a
    // window of its own (shown without a parent) has been closed by the user, or once the X server
    // has gone away (the window is then dropped, and the host's process lives on).
    bool idle();
    // For hosts without embedding: a top-level window of its own; hide() destroys it.
    bool show();
    void hide();
    // The host resized the parent: the editor follows (in pixels).
    void resize(int width_px, int height_px);

private:
    zentrova_ui(uint32_t channels, LV2UI_Write_Function write_function, LV2UI_Controller controller);
    bool open(const char *bundle_path, const LV2_Feature *const *features, std::string *error);
    bool open_window(unsigned long parent, std::string *error);
    void close_window();
    static void link_changed(void *self, void *object, const AudioUnitEvent *event, UInt64, AudioUnitParameterValue value);

    const port_layout _layout;
    const LV2UI_Write_Function _write;
    const LV2UI_Controller _controller;
    const LV2UI_Resize *_host_resize = nullptr;
    double _scale = 0;  // 0: the toolkit's own choice (ZENTROVA_SCALE, Xft.dpi)

    host::instance _link;
    AUEventListenerRef _listener = nullptr;  // this UI's listener on the link's parameters
    std::unique_ptr<ui::X11Window> _window;  // owns the view
    bool _embedded = false;
    // [UI thread] What each parameter port holds at the host, as far as this UI knows (the
    // defaults until the host tells): a value already there is never written back, and a host
    // that never sends its values is not overwritten by the editor's refresh.
    float _port_values[k_parameter_count] = {};
};

}  // namespace zentrova_lv2
