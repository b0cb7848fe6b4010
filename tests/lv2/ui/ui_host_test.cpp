// The LV2 UI in a small host of our own: lilv runs the plug-in on a thread of its own, the UI is
// loaded from the bundle as any host loads it and embedded in an X window this test makes, and
// nothing else is shared between them: no instance access, only ports. Runs under xvfb-run.
#include <gtest/gtest.h>

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>
#include <thread>

namespace {

constexpr const char *k_stereo = "urn:harrowfield:zentrova:stereo";
constexpr const char *k_mono = "urn:harrowfield:zentrova:mono";
constexpr uint32_t k_formant_level_port = 4 + 1, k_level_port = 4 + 16;  // after 2 inputs, 2 outputs

// The bundle under test in a lilv world, and a URID map for the plug-in and the UI.
struct host_world {
    LilvWorld *world = lilv_world_new();
    std::vector<std::string> uris;
    std::mutex uris_lock;  // the audio thread never maps, but instantiation and the UI may overlap
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle self, const char *uri) -> LV2_URID {
                         auto &w = *static_cast<host_world *>(self);
                         std::lock_guard<std::mutex> hold(w.uris_lock);
                         for (size_t i = 0; i < w.uris.size(); ++i)
                             if (w.uris[i] == uri) return LV2_URID(i + 1);
                         w.uris.emplace_back(uri);
                         return LV2_URID(w.uris.size());
                     }};
    LV2_Feature map_feature{LV2_URID__map, &map};
    const LV2_Feature *features[2] = {&map_feature, nullptr};

    host_world() {
        const std::string bundle = std::string("file://") + ZENTROVA_TEST_BUILD_DIR + "/Zentrova.lv2/";
        LilvNode *uri = lilv_new_uri(world, bundle.c_str());
        lilv_world_load_bundle(world, uri);
        lilv_node_free(uri);
    }
    ~host_world() { lilv_world_free(world); }
    const LilvPlugin *plugin(const char *plugin_uri) {
        LilvNode *uri = lilv_new_uri(world, plugin_uri);
        const LilvPlugin *found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
        return found;
    }
};

// A 220 Hz saw at half scale: something for the input follower to follow.
std::vector<float> saw(size_t frames) {
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i) out[i] = 0.5f * (2.0f * std::fmod(float(i) * 220.0f / 48000.0f, 1.0f) - 1.0f);
    return out;
}

// The plug-in, running block after block on its own thread as a host's audio thread would, on a
// saw's block over and over; nothing it makes is kept.
struct running_dsp {
    static constexpr uint32_t k_block = 256;
    host_world world;
    const LilvPlugin *plugin = world.plugin(k_stereo);
    LilvInstance *instance = lilv_plugin_instantiate(plugin, 48000, world.features);
    std::vector<float> controls = control_defaults();
    std::vector<std::vector<float>> input{saw(k_block), saw(k_block)}, output{2, std::vector<float>(k_block)};
    std::mutex lock;  // between the audio thread's block and the host's reading of the ports
    std::atomic<long> blocks{0};
    std::atomic<bool> stop{false};
    std::thread audio;

    running_dsp() {
        uint32_t audio_in = 0, audio_out = 0;
        LilvNode *audio_class = lilv_new_uri(world.world, LV2_CORE__AudioPort);
        LilvNode *input_class = lilv_new_uri(world.world, LV2_CORE__InputPort);
        LilvNode *atom_class = lilv_new_uri(world.world, LV2_ATOM__AtomPort);
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort *port = lilv_plugin_get_port_by_index(plugin, i);
            void *buffer = &controls[i];
            if (lilv_port_is_a(plugin, port, audio_class))
                buffer = lilv_port_is_a(plugin, port, input_class) ? input[audio_in++].data() : output[audio_out++].data();
            else if (lilv_port_is_a(plugin, port, atom_class)) buffer = nullptr;  // the optional MIDI input
            else if (std::isnan(controls[i])) controls[i] = 0;                     // outputs
            lilv_instance_connect_port(instance, i, buffer);
        }
        lilv_node_free(audio_class);
        lilv_node_free(input_class);
        lilv_node_free(atom_class);
        lilv_instance_activate(instance);
        audio = std::thread([this] {
            while (!stop) {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    lilv_instance_run(instance, k_block);
                }
                ++blocks;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~running_dsp() {
        stop = true;
        audio.join();
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    std::vector<float> control_defaults() {
        std::vector<float> values(lilv_plugin_get_num_ports(plugin), NAN);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, values.data());
        return values;
    }
    float control(uint32_t port) {
        std::lock_guard<std::mutex> hold(lock);
        return controls[port];
    }
};

struct write_record {
    uint32_t port;
    float value;
};

struct ui_options {
    const char *plugin = k_stereo;
    bool embedded = true;
    float host_scale = 0;  // ui:scaleFactor through the options feature; 0: none given
    bool send_values = true;  // as jalv.gtk3 does; the console jalv sends a shown UI none
};

class ui_host : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string config = std::string(ZENTROVA_TEST_BUILD_DIR) + "/lv2ui-test/config";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);  // the editor's colour preferences
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "no X display (run under xvfb-run)";
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        bundle = std::string(ZENTROVA_TEST_BUILD_DIR) + "/Zentrova.lv2/";
        library = dlopen((bundle + "zentrova_lv2_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<const LV2UI_Descriptor *(*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        idle = static_cast<const LV2UI_Idle_Interface *>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idle, nullptr);
    }
    void TearDown() override {
        close_ui();
        if (library) dlclose(library);
        if (display) XCloseDisplay(display);
    }

    void open_ui(ui_options o = {}) {
        LV2_Feature parent_feature{LV2_UI__parent, reinterpret_cast<void *>(parent)};
        LV2UI_Resize resize{this, [](LV2UI_Feature_Handle self, int w, int h) {
                                static_cast<ui_host *>(self)->reported_size = {w, h};
                                return 0;
                            }};
        LV2_Feature resize_feature{LV2_UI__resize, &resize};
        LV2_URID_Map *map = &dsp.world.map;
        LV2_Feature map_feature{LV2_URID__map, map};
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, map->map(map->handle, LV2_UI__scaleFactor), sizeof(float),
             map->map(map->handle, LV2_ATOM__Float), &o.host_scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        LV2_Feature options_feature{LV2_OPTIONS__options, const_cast<LV2_Options_Option *>(options)};
        std::vector<const LV2_Feature *> features{&resize_feature, &map_feature};
        if (o.embedded) features.push_back(&parent_feature);
        if (o.host_scale > 0) features.push_back(&options_feature);
        features.push_back(nullptr);
        LV2UI_Widget widget_pointer = nullptr;
        handle = descriptor->instantiate(descriptor, o.plugin, bundle.c_str(), &ui_host::write, this, &widget_pointer,
                                         features.data());
        ASSERT_NE(handle, nullptr);
        widget = reinterpret_cast<uintptr_t>(widget_pointer);
        // As hosts do: every control port's value once (the plug-in's defaults), then the level now and then.
        parameter_base = std::strcmp(o.plugin, k_stereo) == 0 ? 4 : 2;
        for (uint32_t id = 0; o.send_values && id < 16; ++id) send(parameter_base + id, dsp.control(4 + id));
        if (o.embedded) pump();
    }
    void close_ui() {
        if (handle) descriptor->cleanup(handle);
        handle = nullptr;
    }
    void send(uint32_t port, float value) { descriptor->port_event(handle, port, sizeof value, 0, &value); }
    // The host's UI thread for a while: idle calls, as suil makes them.
    void pump(int rounds = 20) {
        for (int i = 0; i < rounds; ++i) {
            ASSERT_EQ(idle->idle(handle), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    static void write(LV2UI_Controller self, uint32_t port, uint32_t size, uint32_t format, const void *buffer) {
        ASSERT_EQ(format, 0u);
        ASSERT_EQ(size, sizeof(float));
        static_cast<ui_host *>(self)->writes.push_back({port, *static_cast<const float *>(buffer)});
    }
    // The editor's pixels in a rectangle given in window pixels from the top left.
    std::vector<unsigned long> pixels(int x, int y, int w, int h) {
        XSync(display, False);
        XImage *image = XGetImage(display, widget, x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        std::vector<unsigned long> out;
        for (int j = 0; image && j < h; ++j)
            for (int i = 0; i < w; ++i) out.push_back(XGetPixel(image, i, j));
        if (image) XDestroyImage(image);
        return out;
    }
    int child_count() {
        ::Window root, parent_of, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, parent, &root, &parent_of, &children, &count);
        if (children) XFree(children);
        return int(count);
    }

    running_dsp dsp;
    Display *display = nullptr;
    ::Window parent = 0;
    std::string bundle;
    void *library = nullptr;
    const LV2UI_Descriptor *descriptor = nullptr;
    const LV2UI_Idle_Interface *idle = nullptr;
    LV2UI_Handle handle = nullptr;
    unsigned long widget = 0;
    uint32_t parameter_base = 4;  // the first parameter port: after the audio ports
    std::pair<int, int> reported_size{0, 0};
    std::vector<write_record> writes;
};

// The knob in window pixels at scale 1 (the description places it at 260, 237, 180 x 180, y up
// in a 490-point-high view), and the level meter (255, 140, 190 x 22).
constexpr int k_knob[4] = {260, 490 - 237 - 180, 180, 180};
constexpr int k_meter[4] = {255, 490 - 140 - 22, 190, 22};

TEST_F(ui_host, embeds_the_editor_at_the_toolkit_or_host_scale_and_reports_its_size) {
    const struct {
        const char *toolkit_scale;
        float host_scale;
        std::pair<int, int> size;
    } cases[] = {{"1", 0, {700, 490}}, {"2", 0, {1400, 980}}, {"1", 1.5f, {1050, 735}}};
    for (const auto &c : cases) {
        setenv("ZENTROVA_SCALE", c.toolkit_scale, 1);
        open_ui({.host_scale = c.host_scale});
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, widget, &attributes);
        EXPECT_EQ(reported_size, c.size) << "scale " << c.toolkit_scale << ", host " << c.host_scale;
        EXPECT_EQ(std::make_pair(attributes.width, attributes.height), c.size) << "scale " << c.toolkit_scale;
        EXPECT_EQ(child_count(), 1);
        close_ui();
    }
    unsetenv("ZENTROVA_SCALE");
}

// Hosts without embedding: no parent, the show interface opens a window of the editor's own.
TEST_F(ui_host, shows_a_window_of_its_own_when_the_host_does_not_embed) {
    const auto *show = static_cast<const LV2UI_Show_Interface *>(descriptor->extension_data(LV2_UI__showInterface));
    ASSERT_NE(show, nullptr);
    open_ui({.embedded = false, .send_values = false});
    EXPECT_EQ(widget, 0u);
    auto named_windows = [&] {
        ::Window root, parent_of, *children = nullptr;
        unsigned count = 0, found = 0;
        XSync(display, False);
        XQueryTree(display, DefaultRootWindow(display), &root, &parent_of, &children, &count);
        for (unsigned i = 0; i < count; ++i) {
            char *name = nullptr;
            XWindowAttributes a{};
            XGetWindowAttributes(display, children[i], &a);
            if (XFetchName(display, children[i], &name) && name) {
                found += std::strcmp(name, "Zentrova") == 0 && a.map_state == IsViewable && a.width == 700;
                XFree(name);
            }
        }
        if (children) XFree(children);
        return found;
    };
    ASSERT_EQ(show->show(handle), 0);
    EXPECT_EQ(idle->idle(handle), 0);
    EXPECT_EQ(named_windows(), 1u);
    ASSERT_EQ(show->hide(handle), 0);
    EXPECT_EQ(named_windows(), 0u);
    EXPECT_NE(idle->idle(handle), 0) << "a hidden UI must tell the host it is closed";
    ASSERT_EQ(show->show(handle), 0);  // shown again, as jalv does after a hide
    EXPECT_EQ(named_windows(), 1u);
    // The host never said what its ports hold: the editor's refresh must not reset them.
    for (int i = 0; i < 10; ++i) idle->idle(handle);
    EXPECT_TRUE(writes.empty()) << "the UI wrote " << writes.size() << " values, first to port " << writes[0].port;
}

TEST_F(ui_host, host_values_move_the_controls_and_are_not_echoed) {
    setenv("ZENTROVA_SCALE", "1", 1);
    for (const char *plugin : {k_stereo, k_mono}) {
        open_ui({.plugin = plugin});
        const uint32_t formant_level = parameter_base + 1, level = parameter_base + 16;
        const auto knob_before = pixels(k_knob[0], k_knob[1], k_knob[2], k_knob[3]);
        send(formant_level, -40.0f);
        pump();
        EXPECT_NE(pixels(k_knob[0], k_knob[1], k_knob[2], k_knob[3]), knob_before) << plugin << ": the knob did not move";
        const auto meter_before = pixels(k_meter[0], k_meter[1], k_meter[2], k_meter[3]);
        send(level, 0.5f);
        pump();
        EXPECT_NE(pixels(k_meter[0], k_meter[1], k_meter[2], k_meter[3]), meter_before) << plugin << ": the meter did not move";
        EXPECT_TRUE(writes.empty()) << plugin << ": the UI wrote " << writes.size() << " values back";
        close_ui();
    }
}

TEST_F(ui_host, a_drag_writes_the_port_once_per_change_and_the_echo_stops_there) {
    setenv("ZENTROVA_SCALE", "1", 1);
    open_ui();
    // A real drag through the X server, as the user's mouse would make it.
    int x = 0, y = 0;
    ::Window child;
    // The knob takes its value from the pointer's angle around its centre (350, 163): a press low
    // on its left side sets a low value, and the drag turns it further.
    XTranslateCoordinates(display, widget, DefaultRootWindow(display), 300, 213, &x, &y, &child);
    XTestFakeMotionEvent(display, -1, x, y, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    for (int step = 1; step <= 10; ++step) {
        XTestFakeMotionEvent(display, -1, x - 2 * step, y - 3 * step, 0);
        XFlush(display);
        pump(2);
    }
    XTestFakeButtonEvent(display, 1, False, 0);
    XFlush(display);
    pump();
    ASSERT_FALSE(writes.empty()) << "the drag reached no port";
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].port, k_formant_level_port);
        if (i > 0) {
            EXPECT_NE(writes[i].value, writes[i - 1].value) << "the same value written twice";
        }
    }
    const float dragged = writes.back().value;
    EXPECT_LT(dragged, 0.0f);
    EXPECT_GE(dragged, -80.0f);
    // The host echoes the written value back, as jalv does: nothing more is written.
    const size_t count = writes.size();
    send(k_formant_level_port, dragged);
    pump();
    EXPECT_EQ(writes.size(), count);
}

// Hosts close a plug-in's window before they free its UI (suil's GTK wrapper does): the editor's
// window is gone by then, which must not end the host's process through Xlib's error handler.
TEST_F(ui_host, survives_a_host_that_destroys_the_parent_window_first) {
    open_ui();
    XDestroyWindow(display, parent);
    XSync(display, False);
    pump(2);
    close_ui();
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    open_ui();
    EXPECT_EQ(child_count(), 1) << "no editor after the first one's parent went away";
}

long resident_kib() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long open_descriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST_F(ui_host, opening_and_closing_fifty_times_leaks_nothing_and_the_dsp_runs_on) {
    setenv("ZENTROVA_SCALE", "1", 1);
    [[maybe_unused]] long resident_after_warm_up = 0;  // not read under the address sanitizer
    long descriptors_after_warm_up = 0;
    const int cycles = getenv("ZENTROVA_UI_CYCLES") ? std::atoi(getenv("ZENTROVA_UI_CYCLES")) : 50;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        open_ui();
        send(k_level_port, dsp.control(k_level_port));
        pump(2);
        close_ui();
        XSync(display, False);
        ASSERT_EQ(child_count(), 0) << "cycle " << cycle << " left a window behind";
        // The plug-in renders on while no UI is open.
        const long blocks = dsp.blocks;
        for (int wait = 0; wait < 500 && dsp.blocks < blocks + 3; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_GE(dsp.blocks, blocks + 3) << "the DSP stopped while the UI was closed (cycle " << cycle << ")";
        if (cycle == std::min(9, cycles - 1)) {
            resident_after_warm_up = resident_kib();
            descriptors_after_warm_up = open_descriptors();
        }
    }
    EXPECT_EQ(open_descriptors(), descriptors_after_warm_up) << "X connections or files left open";
#if !defined(__SANITIZE_ADDRESS__)  // the address sanitizer's quarantine holds freed memory; its leak check runs instead
    // One editor window's back buffer alone is 700 x 490 x 4 bytes (1.3 MiB): forty leaked would be 50 MiB.
    EXPECT_LT(resident_kib() - resident_after_warm_up, 8 * 1024);
#endif
    EXPECT_GT(dsp.control(k_level_port), 0.0f) << "the plug-in's level port never moved";
    EXPECT_TRUE(writes.empty());
}

}  // namespace
