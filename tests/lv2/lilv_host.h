// A small LV2 host on liblilv for the tests: loads build/Zentrova.lv2, instantiates a plug-in with
// the URID map, connects every port (controls, MIDI sequence, audio) and runs it block by block.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <map>
#include <string>
#include <vector>

namespace lv2_test {

class host_world {
public:
    host_world();
    ~host_world();
    const LilvPlugin *plugin(unsigned channels) const;
    LilvWorld *world() const { return _world; }
    LV2_URID_Map *map() { return &_map; }
    LV2_URID_Unmap *unmap() { return &_unmap; }
    const LV2_Feature *const *features() const { return _features; }

private:
    static LV2_URID map_uri(LV2_URID_Map_Handle self, const char *uri);
    static const char *unmap_urid(LV2_URID_Unmap_Handle self, LV2_URID urid);

    LilvWorld *_world;
    std::vector<std::string> _uris;
    LV2_URID_Map _map{this, map_uri};
    LV2_URID_Unmap _unmap{this, unmap_urid};
    LV2_Feature _map_feature{LV2_URID__map, &_map};
    LV2_Feature _unmap_feature{LV2_URID__unmap, &_unmap};
    const LV2_Feature *_features[3] = {&_map_feature, &_unmap_feature, nullptr};
};

class plugin_instance {
public:
    static constexpr unsigned k_block = 256;

    plugin_instance(host_world &world, unsigned channels);
    ~plugin_instance();
    plugin_instance(const plugin_instance &) = delete;
    plugin_instance &operator=(const plugin_instance &) = delete;

    float &control(const char *symbol);
    // Queues a control change for the next block, at frame 0.
    void send_controller(uint8_t controller, uint8_t value);
    // Runs one block of `input` (k_block frames per channel, from `offset`); appends the output.
    void run(const std::vector<std::vector<float>> &input, size_t offset);
    LilvInstance *instance() const { return _instance; }
    const std::vector<std::vector<float>> &output() const { return _output; }

private:
    host_world &_world;
    const LilvPlugin *_plugin;
    unsigned _channels;
    LilvInstance *_instance = nullptr;
    std::vector<float> _controls;  // one per port; unused for audio and atom ports
    std::vector<std::vector<float>> _in, _out, _output;
    alignas(8) uint8_t _midi[4096];
    LV2_URID _midi_event, _sequence;
};

// Deterministic, rhythmic, harmonically rich input: saw bursts with silences between.
std::vector<std::vector<float>> riff(unsigned channels, size_t frames);

}  // namespace lv2_test
