// The LV2 UI entry: one X11 UI for both plug-ins (the plug-in's URI says how many channels, and so
// where the ports are), with the idle, show and resize interfaces. Only lv2ui_descriptor leaves
// the shared object. [UI thread: every callback]
#include "zentrova_ui.h"

#include <cstdio>
#include <cstring>
#include <iterator>

using zentrova_lv2::zentrova_ui;

namespace {

zentrova_ui *editor(LV2UI_Handle handle) { return static_cast<zentrova_ui *>(handle); }

LV2UI_Handle instantiate(const LV2UI_Descriptor *, const char *plugin_uri, const char *bundle_path,
                         LV2UI_Write_Function write_function, LV2UI_Controller controller, LV2UI_Widget *widget,
                         const LV2_Feature *const *features) {
    // The keyed plug-ins number their parameter and level ports as their plain twins do.
    uint32_t channels = 0;
    for (const auto &plugin : zentrova_lv2::k_plugins)
        if (std::strcmp(plugin_uri, plugin.uri) == 0) channels = plugin.channels;
    if (channels == 0) {
        std::fprintf(stderr, "Zentrova LV2 UI: not a UI for %s\n", plugin_uri);
        return nullptr;
    }
    std::string error;
    try {
        auto ui = zentrova_ui::create(channels, bundle_path, write_function, controller, features, &error);
        if (!ui) {
            std::fprintf(stderr, "Zentrova LV2 UI: %s\n", error.c_str());
            return nullptr;
        }
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(ui->widget()));
        return ui.release();
    } catch (...) {  // out of memory: a host expects null, not an exception through C
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) { delete editor(handle); }

void port_event(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void *buffer) {
    editor(handle)->port_event(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return editor(handle)->idle() ? 0 : 1; }
int show(LV2UI_Handle handle) { return editor(handle)->show() ? 0 : 1; }
int hide(LV2UI_Handle handle) {
    editor(handle)->hide();
    return 0;
}
int resize(LV2UI_Feature_Handle handle, int width, int height) {
    editor(static_cast<LV2UI_Handle>(handle))->resize(width, height);
    return 0;
}

const void *extension_data(const char *uri) {
    static const LV2UI_Idle_Interface idle_interface{idle};
    static const LV2UI_Show_Interface show_interface{show, hide};
    static const LV2UI_Resize resize_interface{nullptr, resize};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idle_interface;
    if (std::strcmp(uri, LV2_UI__showInterface) == 0) return &show_interface;
    if (std::strcmp(uri, LV2_UI__resize) == 0) return &resize_interface;
    return nullptr;
}

const LV2UI_Descriptor descriptors[] = {
    {zentrova_lv2::k_ui_uri, instantiate, cleanup, port_event, extension_data},
};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor *lv2ui_descriptor(uint32_t index) {
    return index < std::size(descriptors) ? &descriptors[index] : nullptr;
}
