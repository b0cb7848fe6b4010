// The LV2 entry: four descriptors (mono and stereo, plain and keyed) whose callbacks forward to
// zentrova_plugin.
// Only lv2_descriptor leaves the shared object.
#include "zentrova_plugin.h"

#include <cstring>

using zentrova_lv2::zentrova_plugin;

namespace {

zentrova_plugin *plugin(LV2_Handle handle) { return static_cast<zentrova_plugin *>(handle); }

template <uint32_t channels, bool keyed = false>
LV2_Handle instantiate(const LV2_Descriptor *, double rate, const char *bundle_path,
                       const LV2_Feature *const *features) {
    try {
        return zentrova_plugin::create(channels, keyed, rate, bundle_path, features).release();
    } catch (...) {  // out of memory: a host expects null, not an exception through C
        return nullptr;
    }
}

void connect_port(LV2_Handle h, uint32_t port, void *data) { plugin(h)->connect_port(port, data); }
void activate(LV2_Handle h) { plugin(h)->activate(); }
void run(LV2_Handle h, uint32_t frames) { plugin(h)->run(frames); }
void deactivate(LV2_Handle) {}
void cleanup(LV2_Handle h) { delete plugin(h); }

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature *const *) {
    try {
        return plugin(h)->save(store, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature *const *) {
    try {
        return plugin(h)->restore(retrieve, handle);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void *extension_data(const char *uri) {
    static const LV2_State_Interface state{save, restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor descriptors[] = {
    {zentrova_lv2::k_plugin_uri_mono, instantiate<1>, connect_port, activate, run, deactivate, cleanup, extension_data},
    {zentrova_lv2::k_plugin_uri_stereo, instantiate<2>, connect_port, activate, run, deactivate, cleanup,
     extension_data},
    {zentrova_lv2::k_plugin_uri_mono_key, instantiate<1, true>, connect_port, activate, run, deactivate, cleanup,
     extension_data},
    {zentrova_lv2::k_plugin_uri_stereo_key, instantiate<2, true>, connect_port, activate, run, deactivate, cleanup,
     extension_data},
};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor *lv2_descriptor(uint32_t index) {
    return index < std::size(descriptors) ? &descriptors[index] : nullptr;
}
