// The plug-in under a small liblilv host: state round trip, the MIDI controller, determinism of
// port changes whatever thread runs the blocks, and a run() that neither allocates nor locks.
#include "tests/lv2/lock_counter.h"
#include "tests/support/allocation_counter.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Loads build/Zentrova.lv2 and offers the URID map (and unmap, for saving state).
class host_world {
public:
    host_world() : _world(lilv_world_new()) {
        const std::string path = std::string("file://") + ZENTROVA_TEST_BUILD_DIR + "/Zentrova.lv2/";
        LilvNode *bundle = lilv_new_uri(_world, path.c_str());
        lilv_world_load_bundle(_world, bundle);
        lilv_node_free(bundle);
    }
    ~host_world() { lilv_world_free(_world); }

    const LilvPlugin *plugin(unsigned channels, bool keyed = false) const {
        const char *uris[2][2] = {{"urn:harrowfield:zentrova:mono", "urn:harrowfield:zentrova:stereo"},
                                  {"urn:harrowfield:zentrova:mono-key", "urn:harrowfield:zentrova:stereo-key"}};
        LilvNode *uri = lilv_new_uri(_world, uris[keyed][channels - 1]);
        const LilvPlugin *found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(_world), uri);
        lilv_node_free(uri);
        if (!found) throw std::runtime_error("the Zentrova LV2 bundle is not in the build folder");
        return found;
    }
    LilvWorld *world() const { return _world; }
    LV2_URID_Map *map() { return &_map; }
    LV2_URID_Unmap *unmap() { return &_unmap; }
    const LV2_Feature *const *features() const { return _features; }
    LV2_URID urid(const char *uri) { return map_uri(this, uri); }

private:
    static LV2_URID map_uri(LV2_URID_Map_Handle self, const char *uri) {
        auto &uris = static_cast<host_world *>(self)->_uris;
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    static const char *unmap_urid(LV2_URID_Unmap_Handle self, LV2_URID urid) {
        auto &uris = static_cast<host_world *>(self)->_uris;
        return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
    }

    LilvWorld *_world;
    std::vector<std::string> _uris;
    LV2_URID_Map _map{this, map_uri};
    LV2_URID_Unmap _unmap{this, unmap_urid};
    LV2_Feature _map_feature{LV2_URID__map, &_map}, _unmap_feature{LV2_URID__unmap, &_unmap};
    const LV2_Feature *_features[3] = {&_map_feature, &_unmap_feature, nullptr};
};

// What a keyed plug-in's key ports get: none (the plain plug-in), left unconnected (NULL), or
// buffers filled by run().
enum class key_ports { none, unconnected, connected };

// One activated instance with every port connected: controls at their defaults, the MIDI
// sequence, and audio buffers of one block; the key ports as asked.
class plugin_instance {
public:
    static constexpr unsigned k_block = 256;

    plugin_instance(host_world &world, unsigned channels, key_ports key = key_ports::none)
        : _world(world), _plugin(world.plugin(channels, key != key_ports::none)),
          _in(channels, std::vector<float>(k_block)), _key(channels, std::vector<float>(k_block)),
          _out(channels, std::vector<float>(k_block)), _output(channels) {
        for (auto &channel : _output) channel.reserve(64 * k_block);  // no allocation beside run() for 64 blocks
        _midi_event = world.urid(LV2_MIDI__MidiEvent);
        _instance = lilv_plugin_instantiate(_plugin, 48000, world.features());
        if (!_instance) throw std::runtime_error("instantiate failed");
        const uint32_t ports = lilv_plugin_get_num_ports(_plugin);
        _controls.resize(ports);
        lilv_plugin_get_port_ranges_float(_plugin, nullptr, nullptr, _controls.data());
        LilvNode *audio = lilv_new_uri(world.world(), LV2_CORE__AudioPort);
        LilvNode *input = lilv_new_uri(world.world(), LV2_CORE__InputPort);
        LilvNode *atom = lilv_new_uri(world.world(), LV2_ATOM__AtomPort);
        LilvNode *side_chain = lilv_new_uri(world.world(), LV2_CORE_PREFIX "isSideChain");
        unsigned audio_in = 0, audio_out = 0, key_in = 0;
        for (uint32_t i = 0; i < ports; ++i) {
            const LilvPort *port = lilv_plugin_get_port_by_index(_plugin, i);
            void *buffer = &_controls[i];
            if (lilv_port_is_a(_plugin, port, audio) && lilv_port_has_property(_plugin, port, side_chain))
                buffer = key == key_ports::connected ? _key[key_in++].data() : nullptr;
            else if (lilv_port_is_a(_plugin, port, audio))
                buffer = lilv_port_is_a(_plugin, port, input) ? _in[audio_in++].data() : _out[audio_out++].data();
            else if (lilv_port_is_a(_plugin, port, atom)) buffer = _midi;
            else if (std::isnan(_controls[i])) _controls[i] = 0;  // outputs have no default
            lilv_instance_connect_port(_instance, i, buffer);
        }
        for (LilvNode *node : {audio, input, atom, side_chain}) lilv_node_free(node);
        clear_events();
        lilv_instance_activate(_instance);
    }
    ~plugin_instance() {
        lilv_instance_deactivate(_instance);
        lilv_instance_free(_instance);
    }

    float &control(const char *symbol) {
        LilvNode *name = lilv_new_string(_world.world(), symbol);
        const LilvPort *port = lilv_plugin_get_port_by_symbol(_plugin, name);
        lilv_node_free(name);
        if (!port) throw std::runtime_error(std::string("no port ") + symbol);
        return _controls[lilv_port_get_index(_plugin, port)];
    }

    // A control change at frame 0 of the next block.
    void send_controller(uint8_t controller, uint8_t value) {
        auto *seq = reinterpret_cast<LV2_Atom_Sequence *>(_midi);
        struct {
            LV2_Atom_Event event;
            uint8_t message[3];
        } midi{{{0}, {3, _midi_event}}, {LV2_MIDI_MSG_CONTROLLER, controller, value}};
        std::memcpy(lv2_atom_sequence_end(&seq->body, seq->atom.size), &midi, sizeof(LV2_Atom_Event) + 3);
        seq->atom.size += lv2_atom_pad_size(sizeof(LV2_Atom_Event) + 3);
    }

    // One block of `input` (and `key`, for connected key ports) from `offset`; the output is
    // appended to output().
    void run(const std::vector<std::vector<float>> &input, size_t offset,
             const std::vector<std::vector<float>> *key = nullptr) {
        for (size_t c = 0; c < _in.size(); ++c) std::memcpy(_in[c].data(), input[c].data() + offset, k_block * sizeof(float));
        for (size_t c = 0; key && c < _key.size(); ++c)
            std::memcpy(_key[c].data(), (*key)[c].data() + offset, k_block * sizeof(float));
        lilv_instance_run(_instance, k_block);
        for (size_t c = 0; c < _in.size(); ++c) _output[c].insert(_output[c].end(), _out[c].begin(), _out[c].end());
        clear_events();
    }

    LilvInstance *instance() const { return _instance; }
    const std::vector<std::vector<float>> &output() const { return _output; }

private:
    void clear_events() {
        auto *seq = reinterpret_cast<LV2_Atom_Sequence *>(_midi);
        seq->atom = {sizeof(LV2_Atom_Sequence_Body), _world.urid(LV2_ATOM__Sequence)};
        seq->body = {0, 0};
    }

    host_world &_world;
    const LilvPlugin *_plugin;
    LilvInstance *_instance = nullptr;
    std::vector<float> _controls;  // one per port; unused for audio and atom ports
    std::vector<std::vector<float>> _in, _key, _out, _output;
    alignas(8) uint8_t _midi[4096];
    LV2_URID _midi_event;
};

// Deterministic, rhythmic, harmonically rich input: decaying saw notes with silences between.
std::vector<std::vector<float>> riff(size_t frames) {
    std::vector<std::vector<float>> out(2, std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i) {
        const size_t beat = i / 6000;
        const double period = beat % 3 == 0 ? 218.0 : beat % 3 == 1 ? 145.0 : 327.0;
        const double saw = 2.0 * std::fmod(static_cast<double>(i), period) / period - 1.0;
        const double note = i % 6000 < 3500 ? 0.6 * std::exp(-static_cast<double>(i % 6000) / 1500.0) * saw : 0.0;
        out[0][i] = static_cast<float>(note);
        out[1][i] = static_cast<float>(0.8 * note);
    }
    return out;
}

constexpr size_t k_blocks = 40;
const auto input_stereo = riff(k_blocks * plugin_instance::k_block);

double largest_difference(const plugin_instance &a, const plugin_instance &b) {
    double largest = 0;
    for (size_t c = 0; c < a.output().size(); ++c)
        for (size_t i = 0; i < a.output()[c].size(); ++i)
            largest = std::max(largest, static_cast<double>(std::abs(a.output()[c][i] - b.output()[c][i])));
    return largest;
}

void run_blocks(plugin_instance &p, size_t blocks = k_blocks, const std::vector<std::vector<float>> *key = nullptr) {
    for (size_t b = 0; b < blocks; ++b) p.run(input_stereo, b * plugin_instance::k_block, key);
}

void set_sweep(plugin_instance &p) {
    p.control("envelope_type") = 1;
    p.control("dry_output_level") = -10;
    p.control("formant_filter_type") = 7;
    p.control("end_formant") = 9;
    p.control("trigger_sensitivity") = -30;
    p.control("envelope_attack") = 30;
}

}  // namespace

// Saved through lilv (as Turtle text and back), restored into a new instance whose ports the host
// leaves at their defaults: the restored settings are heard from the first block.
TEST(ZentrovaLv2State, ARestoredInstanceSoundsLikeTheSavedOneFromTheFirstBlock) {
    host_world world;
    for (unsigned channels : {1u, 2u}) {
        plugin_instance saved(world, channels), untouched(world, channels);
        set_sweep(saved);
        run_blocks(saved);
        run_blocks(untouched);
        ASSERT_GT(largest_difference(saved, untouched), 0.01) << "the settings must be audible for this test to mean anything";

        const LilvPlugin *plugin = world.plugin(channels);
        LilvState *state = lilv_state_new_from_instance(plugin, saved.instance(), world.map(), nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr, 0, world.features());
        ASSERT_NE(state, nullptr);
        char *text = lilv_state_to_string(world.world(), world.map(), world.unmap(), state, "urn:test:state", nullptr);
        lilv_state_free(state);
        LilvState *loaded = lilv_state_new_from_string(world.world(), world.map(), text);
        std::free(text);
        ASSERT_NE(loaded, nullptr);

        plugin_instance restored(world, channels);
        lilv_state_restore(loaded, restored.instance(), nullptr, nullptr, 0, world.features());
        lilv_state_free(loaded);
        run_blocks(restored);
        EXPECT_EQ(largest_difference(restored, saved), 0.0) << channels << " channel(s)";
    }
}

// A session file's state that is damaged, of another plug-in or of the wrong type is refused and
// leaves the instance as it was.
TEST(ZentrovaLv2State, ADamagedStateIsRefusedAndChangesNothing) {
    struct bad_state {
        const char *what;
        std::string bytes;
        const char *type;
    };
    const std::string other_component =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>version</key><integer>0</integer>"
        "<key>subtype</key><integer>1</integer><key>manufacturer</key><integer>1</integer><key>data</key><data></data>"
        "</dict></plist>";
    host_world world;
    std::string other_settings;  // a valid state of this plug-in, with settings of its own
    {
        plugin_instance saved(world, 2);
        saved.control("envelope_type") = 3;
        saved.run(input_stereo, 0);
        const auto *state = static_cast<const LV2_State_Interface *>(
            lilv_instance_get_extension_data(saved.instance(), LV2_STATE__interface));
        auto store = [](LV2_State_Handle h, uint32_t, const void *value, size_t size, uint32_t, uint32_t) {
            static_cast<std::string *>(h)->assign(static_cast<const char *>(value), size);
            return LV2_STATE_SUCCESS;
        };
        ASSERT_EQ(state->save(lilv_instance_get_handle(saved.instance()), store, &other_settings, 0, world.features()),
                  LV2_STATE_SUCCESS);
    }
    const bad_state rows[] = {{"garbage", "\x01\x02 not a property list", "urn:harrowfield:zentrova#PropertyList"},
                              {"another component's", other_component, "urn:harrowfield:zentrova#PropertyList"},
                              {"wrongly typed", other_settings, LV2_ATOM__String}};
    for (const bad_state &row : rows) {
        plugin_instance refusing(world, 2), untouched(world, 2);
        set_sweep(refusing);
        set_sweep(untouched);
        struct retrieval {
            const bad_state *row;
            LV2_URID key, type;
        } r{&row, world.urid("urn:harrowfield:zentrova#ClassInfo"), world.urid(row.type)};
        auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t *size, uint32_t *type, uint32_t *flags) -> const void * {
            auto *r = static_cast<retrieval *>(h);
            if (key != r->key) return nullptr;
            *size = r->row->bytes.size();
            *type = r->type;
            *flags = LV2_STATE_IS_POD;
            return r->row->bytes.data();
        };
        const auto *state = static_cast<const LV2_State_Interface *>(
            lilv_instance_get_extension_data(refusing.instance(), LV2_STATE__interface));
        ASSERT_NE(state, nullptr);
        EXPECT_NE(state->restore(lilv_instance_get_handle(refusing.instance()), retrieve, &r, 0, world.features()),
                  LV2_STATE_SUCCESS) << row.what;
        run_blocks(refusing);
        run_blocks(untouched);
        EXPECT_EQ(largest_difference(refusing, untouched), 0.0) << row.what;
    }
}

namespace {

// A state the plug-in saved itself, its parameter data replaced: the sixteen values it holds with
// parameter `id` set to `value`. Everything else in it stays genuine.
std::string with_value(const std::string &saved, uint32_t id, float value) {
    std::vector<unsigned char> blob;
    auto word = [&](uint32_t w) {
        for (int shift = 24; shift >= 0; shift -= 8) blob.push_back(static_cast<unsigned char>(w >> shift));
    };
    const float defaults[16] = {-80, 0, 0, 1, 2, 0, 0.6f, 0.333f, 0, 250, 250, 0.25f, -12, 250, 250, 0};
    for (uint32_t w : {0u, 0u, 16u}) word(w);
    for (uint32_t p = 0; p < 16; ++p) {
        const float v = p == id ? value : defaults[p];
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        word(p);
        word(bits);
    }
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < blob.size(); i += 3) {
        const size_t left = blob.size() - i;
        const unsigned n = blob[i] << 16 | (left > 1 ? blob[i + 1] << 8 : 0) | (left > 2 ? blob[i + 2] : 0);
        text += {digits[n >> 18 & 63], digits[n >> 12 & 63], left > 1 ? digits[n >> 6 & 63] : '=', left > 2 ? digits[n & 63] : '='};
    }
    std::string state = saved;
    const size_t open = state.find("<data>", state.find("<key>data</key>")) + 6;
    state.replace(open, state.find("</data>", open) - open, text);
    return state;
}

// The host's log feature, keeping what the plug-in writes to it.
struct host_log {
    std::string text;
    static int vprintf(LV2_Log_Handle self, LV2_URID, const char *format, va_list args) {
        char buffer[1024];
        const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
        static_cast<host_log *>(self)->text += buffer;
        return n;
    }
    static int printf(LV2_Log_Handle self, LV2_URID type, const char *format, ...) {
        va_list args;
        va_start(args, format);
        const int n = vprintf(self, type, format, args);
        va_end(args);
        return n;
    }
    LV2_Log_Log log{this, &host_log::printf, &host_log::vprintf};
};

// A host's retrieve function handing out `bytes` as the ClassInfo property list.
struct retrieval {
    const std::string *bytes;
    LV2_URID key, type;
    static const void *retrieve(LV2_State_Handle h, uint32_t key, size_t *size, uint32_t *type, uint32_t *flags) {
        auto *r = static_cast<retrieval *>(h);
        if (key != r->key) return nullptr;
        *size = r->bytes->size();
        *type = r->type;
        *flags = LV2_STATE_IS_POD;
        return r->bytes->data();
    }
};

}  // namespace

// A state whose values the parameters cannot take (a session file edited by hand or damaged, a
// preset from elsewhere) is refused as a whole, the host's log says which parameter and why, and
// the instance sounds as it did. So does a state over the size a state may hold.
TEST(ZentrovaLv2State, AStateWithAnUnusableValueIsRefusedAndTheLogNamesIt) {
    host_world world;
    std::string saved;
    {
        plugin_instance source(world, 2);
        const auto *state = static_cast<const LV2_State_Interface *>(
            lilv_instance_get_extension_data(source.instance(), LV2_STATE__interface));
        auto store = [](LV2_State_Handle h, uint32_t, const void *value, size_t size, uint32_t, uint32_t) {
            static_cast<std::string *>(h)->assign(static_cast<const char *>(value), size);
            return LV2_STATE_SUCCESS;
        };
        ASSERT_EQ(state->save(lilv_instance_get_handle(source.instance()), store, &saved, 0, world.features()),
                  LV2_STATE_SUCCESS);
    }
    std::string oversized = saved;
    oversized.insert(oversized.rfind("</plist>"), std::string((1u << 20) + 10, ' '));
    struct bad_state {
        std::string bytes, logged;
    } rows[] = {
        {with_value(saved, 1, 1e9f), "\"Formant Level\" is 1e+09, outside its range -80 .. 0"},
        {with_value(saved, 6, NAN), "\"Formant Resonance\" is nan"},
        {with_value(saved, 0, -INFINITY), "\"Dry Output Level\" is -inf"},
        {with_value(saved, 8, 2.5f), "\"Envelope Type\" is 2.5, not one of its menu items"},
        {with_value(saved, 3, 10), "\"Start Formant\" is 10, outside its range 0 .. 9"},
        {oversized, "more than the 1048576 a state may hold"},
    };
    for (const bad_state &row : rows) {
        host_log log;
        LV2_Feature log_feature{LV2_LOG__log, &log.log};
        const LV2_Feature *features[] = {world.features()[0], world.features()[1], &log_feature, nullptr};
        plugin_instance refusing(world, 2), untouched(world, 2);
        set_sweep(refusing);
        set_sweep(untouched);
        retrieval r{&row.bytes, world.urid("urn:harrowfield:zentrova#ClassInfo"),
                    world.urid("urn:harrowfield:zentrova#PropertyList")};
        const auto retrieve = &retrieval::retrieve;
        // The log is the instance's, given when the host instantiates it.
        LilvInstance *logged = lilv_plugin_instantiate(world.plugin(2), 48000, features);
        ASSERT_NE(logged, nullptr);
        const auto *state =
            static_cast<const LV2_State_Interface *>(lilv_instance_get_extension_data(logged, LV2_STATE__interface));
        EXPECT_EQ(state->restore(lilv_instance_get_handle(logged), retrieve, &r, 0, features), LV2_STATE_ERR_BAD_TYPE)
            << row.logged;
        EXPECT_NE(log.text.find(row.logged), std::string::npos) << log.text;
        lilv_instance_free(logged);
        // Refused, it changes nothing.
        EXPECT_NE(state->restore(lilv_instance_get_handle(refusing.instance()), retrieve, &r, 0, world.features()),
                  LV2_STATE_SUCCESS);
        run_blocks(refusing);
        run_blocks(untouched);
        EXPECT_EQ(largest_difference(refusing, untouched), 0.0) << row.logged;
    }
    // The same values within range restore.
    const std::string fine = with_value(saved, 1, -6);
    plugin_instance restoring(world, 2);
    retrieval r{&fine, world.urid("urn:harrowfield:zentrova#ClassInfo"), world.urid("urn:harrowfield:zentrova#PropertyList")};
    const auto *state = static_cast<const LV2_State_Interface *>(
        lilv_instance_get_extension_data(restoring.instance(), LV2_STATE__interface));
    EXPECT_EQ(state->restore(lilv_instance_get_handle(restoring.instance()), &retrieval::retrieve, &r, 0, world.features()),
              LV2_STATE_SUCCESS);
}

// CC 1 drives "MIDI Control" exactly as the port does; another controller number does nothing
// until the controller port names it.
TEST(ZentrovaLv2Midi, TheChosenControllerMovesTheSweepLikeThePort) {
    struct case_row {
        float controller_port;
        uint8_t controller_sent;
        bool moves;
    };
    const case_row rows[] = {{1, 1, true}, {1, 7, false}, {7, 7, true}, {7, 1, false}};
    host_world world;
    for (const case_row &row : rows) {
        plugin_instance by_midi(world, 2), by_port(world, 2), without(world, 2);
        for (plugin_instance *p : {&by_midi, &by_port, &without}) {
            p->control("envelope_type") = 4;
            p->control("formant_filter_type") = 6;
            p->control("midi_controller") = row.controller_port;
        }
        for (size_t b = 0; b < k_blocks; ++b) {
            const auto value = static_cast<uint8_t>((b * 37) % 128);
            by_midi.send_controller(row.controller_sent, value);
            by_port.control("midi_control") = value / 127.0f;
            for (plugin_instance *p : {&by_midi, &by_port, &without}) p->run(input_stereo, b * plugin_instance::k_block);
        }
        ASSERT_GT(largest_difference(by_port, without), 0.01);
        const plugin_instance &expected = row.moves ? by_port : without;
        EXPECT_EQ(largest_difference(by_midi, expected), 0.0)
            << "controller port " << row.controller_port << ", CC " << int(row.controller_sent);
    }
}

// A port change is heard from the first sample of the block whose run() first sees it, whether
// the host calls run() on one thread or on a new thread every block.
TEST(ZentrovaLv2Determinism, APortChangeIsHeardFromItsBlockOnAnyThread) {
    host_world world;
    constexpr size_t change_block = 7;
    for (bool thread_per_block : {false, true}) {
        plugin_instance p(world, 2);
        set_sweep(p);
        for (size_t b = 0; b < 12; ++b) {
            if (b == change_block) p.control("dry_output_level") = p.control("formant_level") = -80;  // muted
            auto block = [&] { p.run(input_stereo, b * plugin_instance::k_block); };
            if (thread_per_block) std::thread(block).join();
            else block();
        }
        std::vector<float> peaks;
        for (size_t b = 0; b < 12; ++b) {
            float peak = 0;
            for (size_t i = 0; i < plugin_instance::k_block; ++i)
                peak = std::max(peak, std::abs(p.output()[0][b * plugin_instance::k_block + i]));
            peaks.push_back(peak);
        }
        for (size_t b = 0; b < 12; ++b)
            EXPECT_EQ(peaks[b] == 0.0f, b >= change_block) << "block " << b << (thread_per_block ? ", new threads" : "");
    }
}

// Every run(), the first included: port changes, MIDI, the listener's delivery and the render.
// Neither the heap nor a lock: an uncontended lock costs nothing measurable until another thread
// holds it, so only counting the calls shows one.
TEST(ZentrovaLv2RealTime, RunAllocatesNothingAndTakesNoLock) {
    if (!test_support::lock_counting_available()) GTEST_SKIP() << "the thread sanitizer keeps the lock functions";
    {
        // The counter must be what the dynamic linker hands every library for the lock calls.
        using lock_function = int (*)(pthread_mutex_t *);
        auto *lock = reinterpret_cast<lock_function>(dlsym(RTLD_DEFAULT, "pthread_mutex_lock"));
        pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
        test_support::lock_counting counting;
        lock(&mutex);
        pthread_mutex_unlock(&mutex);
        ASSERT_EQ(counting.locks(), 1);
    }
    host_world world;
    for (unsigned channels : {1u, 2u}) {
        plugin_instance p(world, channels);
        long allocations = 0, locks = 0;
        for (size_t b = 0; b < k_blocks; ++b) {
            p.control("envelope_type") = static_cast<float>(b % 5);
            p.control("formant_filter_type") = static_cast<float>(b % 8);
            p.control("formant_resonance") = static_cast<float>(b % 10) / 10.0f;
            p.send_controller(1, static_cast<uint8_t>(b * 3));
            test_support::allocation_counting counting;
            test_support::lock_counting counting_locks;
            p.run(input_stereo, b * plugin_instance::k_block);
            allocations += counting.allocations();
            locks += counting_locks.locks();
        }
        EXPECT_EQ(allocations, 0) << channels << " channel(s)";
        EXPECT_EQ(locks, 0) << channels << " channel(s)";
        EXPECT_GT(p.control("level"), 0.0f) << "the level port follows the input";
    }
}

// A host that connects an audio port to null (careless, but it happens) gets silence on the outputs
// it did connect, from a run() that still neither allocates nor locks.
TEST(ZentrovaLv2RealTime, ANullAudioPortRendersSilence) {
    host_world world;
    const struct {
        unsigned channels;
        uint32_t null_port;  // inputs first, then outputs
    } rows[] = {{2, 0}, {2, 1}, {2, 2}, {1, 0}, {1, 1}};
    for (const auto &row : rows) {
        plugin_instance p(world, row.channels);
        set_sweep(p);
        run_blocks(p, 2);  // some sound first
        lilv_instance_connect_port(p.instance(), row.null_port, nullptr);
        test_support::allocation_counting counting;
        test_support::lock_counting counting_locks;
        p.run(input_stereo, 2 * plugin_instance::k_block);
        const long allocations = counting.allocations(), locks = counting_locks.locks();
        EXPECT_EQ(allocations, 0) << row.channels << " channel(s), port " << row.null_port;
        if (test_support::lock_counting_available()) {
            EXPECT_EQ(locks, 0) << row.channels << " channel(s), port " << row.null_port;
        }
        for (unsigned c = 0; c < row.channels; ++c) {
            if (row.null_port == row.channels + c) continue;  // the null output itself
            const auto &out = p.output()[c];
            EXPECT_TRUE(std::all_of(out.end() - plugin_instance::k_block, out.end(), [](float v) { return v == 0.0f; }))
                << row.channels << " channel(s), port " << row.null_port << ", output " << c;
        }
    }
}

// The sidechain plug-ins: key ports the host leaves unconnected, or fed the input itself, give the
// plain plug-in's output exactly; a silent key is heard as one (Sweep Up never opens).
TEST(ZentrovaLv2Key, UnconnectedKeyPortsFollowTheMainInput) {
    host_world world;
    const std::vector<std::vector<float>> silence(2, std::vector<float>(input_stereo[0].size(), 0.0f));
    struct {
        key_ports key;
        const std::vector<std::vector<float>> *signal;
        bool same_as_plain;
    } cases[] = {{key_ports::unconnected, nullptr, true},
                 {key_ports::connected, &input_stereo, true},
                 {key_ports::connected, &silence, false}};
    for (unsigned channels : {1u, 2u}) {
        plugin_instance plain(world, channels);
        set_sweep(plain);
        run_blocks(plain);
        for (const auto &c : cases) {
            plugin_instance keyed(world, channels, c.key);
            set_sweep(keyed);
            run_blocks(keyed, k_blocks, c.signal);
            EXPECT_EQ(largest_difference(plain, keyed) == 0.0, c.same_as_plain)
                << channels << " channel(s), case " << (&c - cases);
        }
    }
}

TEST(ZentrovaLv2Key, RunWithAKeyAllocatesNothingAndTakesNoLock) {
    if (!test_support::lock_counting_available()) GTEST_SKIP() << "the thread sanitizer keeps the lock functions";
    host_world world;
    for (unsigned channels : {1u, 2u}) {
        plugin_instance p(world, channels, key_ports::connected);
        set_sweep(p);
        long allocations = 0, locks = 0;
        for (size_t b = 0; b < k_blocks; ++b) {
            p.control("formant_filter_type") = static_cast<float>(b % 8);
            test_support::allocation_counting counting;
            test_support::lock_counting counting_locks;
            p.run(input_stereo, b * plugin_instance::k_block, &input_stereo);
            allocations += counting.allocations();
            locks += counting_locks.locks();
        }
        EXPECT_EQ(allocations, 0) << channels << " channel(s)";
        EXPECT_EQ(locks, 0) << channels << " channel(s)";
    }
}
