// What the editor costs to draw, at 1 and 2 pixels per point: the whole editor (what opening it
// or uncovering it costs), one turn of the big knob inside it (the wheel, the selected parameter
// control following, the effect's parameter written, the two views redrawn), and the knob alone
// on a page moved to a new value (its own drawing and the background under it).
#include <AudioToolbox/AudioToolbox.h>
#include <benchmark/benchmark.h>

#include "host/cocoa_view.h"
#include "host/events.h"
#include "ui/OffscreenWindow.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Panel_View.h"

#include <memory>

namespace {

constexpr OSType four_char_code(const char (&code)[5]) {
    return OSType(code[0]) << 24 | OSType(code[1]) << 16 | OSType(code[2]) << 8 | OSType(code[3]);
}

// An initialised Zentrova instance and its editor in an offscreen window.
struct open_editor {
    AudioUnit unit = nullptr;
    std::unique_ptr<ui::OffscreenWindow> window;
    ui::View *knob = nullptr;  // the main view's last child: it lies on top of all

    open_editor(double scale, benchmark::State &state) {
        const AudioComponentDescription zentrova{kAudioUnitType_Effect, four_char_code("Zntr"),
                                                 four_char_code("Hrfd"), 0, 0};
        AudioComponent component = AudioComponentFindNext(nullptr, &zentrova);
        if (!component || AudioComponentInstanceNew(component, &unit) != noErr) {
            state.SkipWithError("Zentrova not found (set AUDIO_COMPONENT_PATH to the build folder)");
            return;
        }
        AudioUnitInitialize(unit);
        host::cocoa_view editor = host::open_cocoa_view(unit);
        if (!editor.view) {
            state.SkipWithError(("no editor: " + editor.error).c_str());
            return;
        }
        knob = editor.view->subviews().back();
        window = std::make_unique<ui::OffscreenWindow>(editor.view->frame().size(), scale);
        window->set_content_view(std::move(editor.view));
        host::deliver_pending_events();
        window->display();
    }
    ~open_editor() {
        window.reset();
        if (unit) AudioComponentInstanceDispose(unit);
    }
};

void BM_EditorRedraw(benchmark::State &state) {
    open_editor editor(double(state.range(0)), state);
    if (!editor.window) return;
    for (auto _ : state) editor.window->display();
}

void BM_EditorKnobTurn(benchmark::State &state) {
    open_editor editor(double(state.range(0)), state);
    if (!editor.window) return;
    const ui::Rect k = editor.knob->frame();
    double delta = 1;
    for (auto _ : state) {
        editor.window->scroll_wheel({k.mid_x(), k.mid_y()}, 0, delta);
        editor.window->display_if_needed();
        delta = -delta;
    }
    host::deliver_pending_events();
}

void BM_KnobRedraw(benchmark::State &state) {
    ui::OffscreenWindow window({120, 120}, double(state.range(0)));
    auto panel = ui::create_view<HF_Zentrova_Panel_View>({0, 0, 120, 120});
    auto *knob = static_cast<HF_Zentrova_Big_Knob_View *>(
        panel->add_subview(ui::create_view<HF_Zentrova_Big_Knob_View>({10, 10, 100, 100})));
    window.set_content_view(std::move(panel));
    knob->set_values_minimum(-80, 0, -80, 0);
    window.display();
    double value = -40;
    for (auto _ : state) {
        knob->set_current_value(value);
        window.display_if_needed();
        value = value == -40 ? -20 : -40;
    }
}

}  // namespace

BENCHMARK(BM_EditorRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditorKnobTurn)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KnobRedraw)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
