// One LV2 instance: hosts one Zentrova instance through the platform's host API, exactly as the
// command-line host does, and turns LV2's port buffers and run() calls into parameter changes
// and render calls.
#pragma once

#include "port_layout.h"

#include "host/float_render.h"
#include "host/instance.h"

#include <AudioToolbox/AudioToolbox.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <memory>
#include <string>

namespace zentrova_lv2 {

class zentrova_plugin {
public:
    // [instantiation] Opens the component and initialises it (its first Initialize allocates the
    // whole chain). Null, with the reason on stderr, when the component cannot be found or opened.
    // `keyed`: hosts Zentrova Keyed, its key fed from the key ports.
    static std::unique_ptr<zentrova_plugin> create(uint32_t channels, bool keyed, double sample_rate,
                                                   const char *bundle_path, const LV2_Feature *const *features);
    ~zentrova_plugin();
    zentrova_plugin(const zentrova_plugin &) = delete;
    zentrova_plugin &operator=(const zentrova_plugin &) = delete;

    // [audio] Stores the pointer only.
    void connect_port(uint32_t port, void *data) noexcept;
    // [instantiation] Resets the chain's running state and re-announces every stored value.
    void activate();
    // [audio] Real-time safe: no allocation, no lock taken by this code, no system call.
    void run(uint32_t frames) noexcept;

    // [instantiation] The state extension: the component's ClassInfo as property-list data.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
    zentrova_plugin(uint32_t channels, bool keyed, const LV2_URID_Map *map, const LV2_Log_Log *log);
    // [instantiation] Why a state was refused: through the host's log when it gives one, else stderr.
    void log_error(const std::string &message) const;
    bool open(double sample_rate, const char *bundle_path);
    float midi_controller_value() const noexcept;  // NaN when this block carries none
    void render(uint32_t offset, uint32_t frames) noexcept;

    // Render calls are cut into slices of at most this many frames; LV2 sets no upper bound.
    static constexpr uint32_t k_max_frames = 4096;

    const port_layout _layout;
    host::instance _unit;
    // The run loop the instance's parameter listener is bound to: it belongs to no thread, and
    // run() performs it, whichever thread the host calls run() on.
    CFRunLoopRef _run_loop = nullptr;

    LV2_URID _midi_event = 0;
    LV2_URID _class_info_key = 0;
    LV2_URID _property_list_type = 0;
    const LV2_Log_Log *_log = nullptr;
    LV2_URID _log_error = 0;

    // [audio] Port buffers, set by connect_port.
    const float *_audio_in[2] = {};
    const float *_audio_key[2] = {};
    float *_audio_out[2] = {};
    const float *_parameter_ports[k_parameter_count] = {};
    float *_level = nullptr;
    const float *_midi_controller = nullptr;
    const LV2_Atom_Sequence *_midi_in = nullptr;

    // [audio] The value each parameter port held when run() last looked: a port drives its
    // parameter when it changes, so a restored state is not undone by ports a host left as they were.
    float _seen_port_values[k_parameter_count] = {};
    host::float_render _renderer;  // [audio] render; [instantiation] attach and rewind
};

}  // namespace zentrova_lv2
