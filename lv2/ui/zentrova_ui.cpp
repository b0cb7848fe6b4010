#include "zentrova_ui.h"

#include "editor_link_unit.h"

#include "host/cocoa_view.h"
#include "host/component.h"
#include "host/events.h"
#include "host/instance.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include "ui/View.h"
#include "ui/X11Window.h"

#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zentrova_lv2 {

namespace {

const void *find_feature(const LV2_Feature *const *features, const char *uri) {
    for (auto f = features; f != nullptr && *f != nullptr; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

// The host's ui:scaleFactor, when it gives one through the options feature; 0 otherwise.
double host_scale_factor(const LV2_Feature *const *features) {
    const auto *map = static_cast<const LV2_URID_Map *>(find_feature(features, LV2_URID__map));
    const auto *options = static_cast<const LV2_Options_Option *>(find_feature(features, LV2_OPTIONS__options));
    if (map == nullptr || options == nullptr) return 0;
    const LV2_URID scale = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID float_type = map->map(map->handle, LV2_ATOM__Float);
    for (auto o = options; o->key != 0; ++o)
        if (o->key == scale && o->type == float_type && o->size == sizeof(float)) {
            const float value = *static_cast<const float *>(o->value);
            if (std::isfinite(value) && value >= 0.5f && value <= 8.0f) return value;
        }
    return 0;
}

// A host may destroy its window, and the editor's inside it, before it frees the UI (suil's GTK
// wrapper does). Xlib's default handler would then end the host's process over the editor's next
// request to its window. While this UI works on its own X connection, that connection's errors
// are dropped instead: only calls on it read its replies, so no error of the host's is ever seen.
class x_errors_ignored {
public:
    // `sync`: collect this round's errors before handing the handler back (false when the
    // connection closes inside the scope, which syncs it itself).
    x_errors_ignored(Display *display, bool sync) : _display(sync ? display : nullptr) {
        if (display != nullptr) _previous = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
        _active = display != nullptr;
    }
    ~x_errors_ignored() {
        if (_display != nullptr) XSync(_display, False);
        if (_active) XSetErrorHandler(_previous);
    }
    x_errors_ignored(const x_errors_ignored &) = delete;
    x_errors_ignored &operator=(const x_errors_ignored &) = delete;

private:
    Display *_display;
    bool _active = false;
    XErrorHandler _previous = nullptr;
};

}  // namespace

zentrova_ui::zentrova_ui(uint32_t channels, LV2UI_Write_Function write_function, LV2UI_Controller controller)
    : _layout{channels}, _write(write_function), _controller(controller) {}

std::unique_ptr<zentrova_ui> zentrova_ui::create(uint32_t channels, const char *bundle_path,
                                                 LV2UI_Write_Function write_function, LV2UI_Controller controller,
                                                 const LV2_Feature *const *features, std::string *error) {
    std::unique_ptr<zentrova_ui> editor(new zentrova_ui(channels, write_function, controller));
    if (!editor->open(bundle_path, features, error)) return nullptr;
    return editor;
}

bool zentrova_ui::open(const char *bundle_path, const LV2_Feature *const *features, std::string *error) {
    // Inside the LV2 bundle (installed) or beside it (the build folder).
    const std::filesystem::path bundle(bundle_path != nullptr ? bundle_path : "");
    AudioComponent effect = host::register_bundle_beside(bundle, "Zentrova.component");
    AudioComponent link = nullptr;
    if (host::register_bundle_beside(bundle, k_editor_link_bundle) != nullptr) {
        // The link named as this plug-in is, for the editor's title.
        const AudioComponentDescription wanted{k_editor_link_type,
                                               _layout.channels == 2 ? k_editor_link_subtype_stereo
                                                                     : k_editor_link_subtype_mono,
                                               k_editor_link_manufacturer, 0, 0};
        link = AudioComponentFindNext(nullptr, &wanted);
    }
    if (effect == nullptr || link == nullptr) {
        *error = std::string("cannot find Zentrova.component and ") + k_editor_link_bundle + " in or beside " +
                 (bundle_path ? bundle_path : "(no bundle path)");
        return false;
    }
    _link = host::instance(link);
    if (_link.status() != noErr) {
        *error = "the editor link would not open";
        return false;
    }
    if (AudioUnitSetProperty(_link, k_editor_link_property_wrapped_component, kAudioUnitScope_Global, 0, &effect,
                             sizeof effect) != noErr) {
        *error = "the component would not open";
        return false;
    }
    // This UI's own listener hears the editor's edits (and nothing it sends itself).
    if (AUEventListenerCreate(&zentrova_ui::link_changed, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.0f,
                              0.0f, &_listener) != noErr) {
        _listener = nullptr;
        *error = "no event listener for the editor";
        return false;
    }
    for (uint32_t id = 0; id < k_parameter_count; ++id) {
        // Until the host says otherwise, its ports hold the plug-in's defaults, as the link does.
        AudioUnitGetParameter(_link, id, kAudioUnitScope_Global, 0, &_port_values[id]);
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {_link, id, kAudioUnitScope_Global, 0};
        AUEventListenerAddEventType(_listener, this, &event);
    }
    _host_resize = static_cast<const LV2UI_Resize *>(find_feature(features, LV2_UI__resize));
    _scale = host_scale_factor(features);
    const auto parent = reinterpret_cast<uintptr_t>(find_feature(features, LV2_UI__parent));
    // Without a parent the host shows the editor through the show interface, in a window of its own.
    return parent == 0 || open_window(parent, error);
}

bool zentrova_ui::open_window(unsigned long parent, std::string *error) {
    host::cocoa_view editor = host::open_cocoa_view(_link);
    if (!editor.view) {
        *error = editor.error;
        return false;
    }
    std::unique_ptr<ui::View> view = std::move(editor.view);
    ui::X11Window::Options options;
    options.title = _layout.channels == 2 ? "Zentrova" : "Zentrova Mono";
    options.parent = parent;
    options.scale = _scale;
    _window = ui::X11Window::create(view->frame().size(), options, error);
    if (!_window) return false;
    _window->set_content_view(std::move(view));
    _window->show();
    _embedded = parent != 0;
    if (_embedded && _host_resize != nullptr) {
        const ui::Size points = _window->content_size();
        _host_resize->ui_resize(_host_resize->handle, static_cast<int>(std::ceil(points.width * _window->scale_factor())),
                                static_cast<int>(std::ceil(points.height * _window->scale_factor())));
    }
    return true;
}

void zentrova_ui::close_window() {
    if (!_window) return;
    x_errors_ignored guard(_window->display(), false);
    _window.reset();  // the view goes with it, and its listeners with the view
}

zentrova_ui::~zentrova_ui() {
    close_window();
    if (_listener != nullptr) AUListenerDispose(_listener);
    _link.reset();  // after the listener that hears it
}

unsigned long zentrova_ui::widget() const { return _window ? _window->native_window() : 0; }

void zentrova_ui::port_event(uint32_t port, uint32_t buffer_size, uint32_t format, const void *buffer) {
    if (format != 0 || buffer_size != sizeof(float) || buffer == nullptr) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    if (!std::isfinite(value)) return;
    if (port == _layout.level()) {
        const Float64 level = value;
        AudioUnitSetProperty(_link, zentrova::k_follower_level_property, kAudioUnitScope_Global, 0, &level, sizeof level);
        return;
    }
    if (port < _layout.parameter(0) || port >= _layout.level()) return;
    const uint32_t id = port - _layout.parameter(0);
    _port_values[id] = value;
    AudioUnitParameterValue current = 0;
    if (AudioUnitGetParameter(_link, id, kAudioUnitScope_Global, 0, &current) == noErr && current == value) return;
    // Sent as this UI's listener: the editor hears it, this UI does not, so it goes back to no port.
    host::set_parameter(_link, id, value, _listener, this);
}

// An edit in the editor, or the editor's refresh, which re-announces every value unchanged: only
// a value that differs from what the port is known to hold goes to the host. The value is read
// from the link rather than taken from the event, so an announcement that is already stale
// writes nothing either.
void zentrova_ui::link_changed(void *self, void *, const AudioUnitEvent *event, UInt64, AudioUnitParameterValue) {
    auto &editor = *static_cast<zentrova_ui *>(self);
    if (event == nullptr || event->mEventType != kAudioUnitEvent_ParameterValueChange) return;
    const uint32_t id = event->mArgument.mParameter.mParameterID;
    if (id >= k_parameter_count) return;
    AudioUnitParameterValue value = 0;
    if (AudioUnitGetParameter(editor._link, id, kAudioUnitScope_Global, 0, &value) != noErr) return;
    if (value == editor._port_values[id]) return;
    editor._port_values[id] = value;
    editor._write(editor._controller, editor._layout.parameter(id), sizeof value, 0, &value);
}

bool zentrova_ui::idle() {
    if (!_window) return false;  // hidden, or never shown
    bool open;
    {
        x_errors_ignored guard(_window->display(), true);
        open = _window->process_pending_events();
    }
    if (open) return true;
    // The user closed our own window, or the X server went away: either way this UI is done, and
    // says so through idle's answer. A lost connection is not the host's to lose: closing on it
    // makes no request, and the host carries on.
    if (!_embedded || _window->connection_lost()) close_window();
    return false;
}

bool zentrova_ui::show() {
    if (_window) {
        _window->show();
        return true;
    }
    std::string error;
    if (open_window(0, &error)) return true;
    std::fprintf(stderr, "Zentrova LV2 UI: %s\n", error.c_str());
    return false;
}

void zentrova_ui::hide() {
    if (!_embedded) close_window();
}

void zentrova_ui::resize(int width_px, int height_px) {
    if (!_window || width_px <= 0 || height_px <= 0) return;
    x_errors_ignored guard(_window->display(), true);
    _window->set_content_size({width_px / _window->scale_factor(), height_px / _window->scale_factor()});
}

}  // namespace zentrova_lv2
