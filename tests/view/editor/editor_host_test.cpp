// The editor as a host sees it: obtained through the Cocoa UI property, bound to a live instance,
// following it through the listener service and writing the user's edits back.
#include "editor_fixture.h"

#include <cmath>
#include <map>

namespace editor_test {
namespace {

constexpr AudioUnitParameterID continuous[] = {0, 1, 6, 7, 9, 10, 11, 12, 13, 14};
constexpr AudioUnitParameterID menus[] = {2, 3, 4, 5, 8};

// What every control of the editor shows: parameter id -> value (menus: the selected index).
std::map<AudioUnitParameterID, double> shown(const HFZentrovaView &view) {
    std::map<AudioUnitParameterID, double> values;
    for (AudioUnitParameterID id : continuous) values[id] = view.parameter_view(id)->current_value();
    for (AudioUnitParameterID id : menus) values[id] = view.menu_view(id)->indexOfSelectedItem();
    return values;
}

TEST_F(EditorTest, TheFactoryNamedByTheCocoaUIPropertyBindsItsViewToTheInstance) {
    // Values the instance holds before any editor exists.
    const std::map<AudioUnitParameterID, float> stored = {{0, -20}, {2, 5}, {3, 9}, {8, 3}, {9, 1200}, {12, -33}};
    for (const auto &[id, value] : stored) host.store(id, value);
    host::cocoa_view opened = host::open_cocoa_view(host.unit);
    ASSERT_TRUE(opened.view) << opened.error;
    EXPECT_EQ(opened.factory_description, "Harrowfield: Zentrova");
    EXPECT_EQ(opened.interface_version, 0u);
    auto *view = dynamic_cast<HFZentrovaView *>(opened.view.get());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->bound_unit(), host.unit);
    deliver_events();
    // The full refresh shows every value of the instance, the defaults included.
    std::map<AudioUnitParameterID, double> expected;
    for (AudioUnitParameterID id : continuous) expected[id] = host.get(id);
    for (AudioUnitParameterID id : menus) expected[id] = host.get(id);
    EXPECT_EQ(shown(*view), expected);
    // The knob starts on "Formant Level (dB)".
    EXPECT_EQ(view->selected_parameter_view(), view->parameter_view(1));
}

TEST_F(EditorTest, AMenuClickWritesItsParameterWhichReachesTheChainAndIsNotEchoed) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    host.set(8, 1);  // Sweep Up, so the filter moves and its type shows in the sound
    deliver_events();
    const long events_before = e.view->parameter_events_received();
    e.window->click(e.right_end_of(e.view->menu_view(2)));  // the right end steps to the next item
    EXPECT_EQ(host.get(2), 1.0f);
    deliver_events();
    EXPECT_EQ(e.view->parameter_events_received(), events_before) << "the editor heard its own edit";
    EXPECT_EQ(e.view->menu_view(2)->indexOfSelectedItem(), 1);

    // The instance's chain filters as one set to "Two Stage LP" by a host does.
    zentrova_test::zentrova_host reference{2};
    reference.initialize();
    reference.set(8, 1);
    reference.set(2, 1);
    deliver_events();
    zentrova_test::channels edited, expected;
    for (int block = 0; block < 16; ++block) {
        const std::vector<float> input = zentrova_test::bursts(512, 4410, 0.5f, 512 * block);
        edited = host.render({input, input});
        expected = reference.render({input, input});
        ASSERT_EQ(edited, expected) << "block " << block;
    }
    const std::vector<float> input = zentrova_test::bursts(512);
    reference.set(2, 0);
    deliver_events();
    EXPECT_NE(reference.render({input, input}), host.render({input, input}));
}

TEST_F(EditorTest, HostChangesMoveTheirControlsOnly) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    const struct {
        AudioUnitParameterID id;
        float value;
        double shown;  // what the parameter's control then shows
    } cases[] = {
        {12, -30, -30}, {2, 2.9f, 2}, {8, 4, 4}, {6, 0.25f, 0.25}, {1, -20, -20}, {13, 15000, 15000},
    };
    for (const auto &c : cases) {
        auto before = shown(*e.view);
        host.set(c.id, c.value);
        deliver_events();
        before[c.id] = c.shown;
        EXPECT_EQ(shown(*e.view), before) << "parameter " << c.id;
    }
    EXPECT_EQ(e.view->level_meter()->critical_level(), -30.0f);
    // The knob follows the selected control ("Formant Level (dB)", set to -20 above).
    EXPECT_DOUBLE_EQ(e.view->knob()->current_value(), -20);

    // "MIDI Control" has no control: nothing changes, the knob is only re-synchronised.
    const auto before = shown(*e.view);
    const long events = e.view->parameter_events_received();
    host.set(15, 0.7f);
    deliver_events();
    EXPECT_EQ(e.view->parameter_events_received(), events + 1);
    EXPECT_EQ(shown(*e.view), before);
    EXPECT_DOUBLE_EQ(e.view->knob()->current_value(), -20);
}

TEST_F(EditorTest, TurningTheKnobOnSensitivityMovesTheMetersCriticalLevel) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    auto *sensitivity = e.view->parameter_view(12);
    e.window->click(e.centre_of(sensitivity));
    ASSERT_EQ(e.view->selected_parameter_view(), sensitivity);
    EXPECT_FALSE(e.view->parameter_view(1)->is_selected());
    // Pointing straight up sets the middle of the range.
    const ui::Rect knob = e.view->knob()->convert_rect_to_view(e.view->knob()->bounds(), nullptr);
    e.window->click({knob.mid_x(), knob.max_y() - 20});
    EXPECT_NEAR(host.get(12), -40, 0.01);
    EXPECT_NEAR(sensitivity->current_value(), -40, 0.01);
    EXPECT_NEAR(e.view->level_meter()->critical_level(), -40, 0.01);
}

// Every way of editing "Sensitivity (dB)" writes parameter 12 and moves the meter's boundary.
TEST_F(EditorTest, EditingSensitivityByDragOrTypedEntryMovesTheCriticalLevel) {
    enum gesture { drag_up_10, typed };
    const struct { const char *what; gesture g; const char *text; float expected; } cases[] = {
        {"drag up 10 points", drag_up_10, "", -8},
        {"typed -45", typed, "-45", -45},
        {"typed past the top, clamped", typed, "12", 0},
    };
    for (const auto &c : cases) {
        editor e(host.unit);
        ASSERT_NE(e.view, nullptr);
        host.set(12, -12);
        deliver_events();
        const ui::Point centre = e.centre_of(e.view->parameter_view(12));
        if (c.g == drag_up_10) {
            e.window->drag(centre, {centre.x, centre.y + 10});
        } else {
            e.window->double_click(centre);
            e.window->type_text(c.text);
            e.window->key_down(ui::Key::return_key);
        }
        EXPECT_EQ(host.get(12), c.expected) << c.what;
        EXPECT_EQ(e.view->level_meter()->critical_level(), c.expected) << c.what;
        EXPECT_DOUBLE_EQ(e.view->knob()->current_value(), c.expected) << c.what << ": the knob follows";
    }
}

// Events the editor has no use for leave every control, the knob and the meter as they were.
TEST_F(EditorTest, UnknownEventsAndAnUnreadablePropertyChangeNothing) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    e.view->level_meter()->set_level(0.25f);
    const auto before = shown(*e.view);
    const long events = e.view->parameter_events_received();
    AudioUnitEvent gesture{};
    gesture.mEventType = kAudioUnitEvent_BeginParameterChangeGesture;
    gesture.mArgument.mParameter = {host.unit, 1, kAudioUnitScope_Global, 0};
    testing::internal::CaptureStderr();
    e.view->_eventListener(nullptr, &gesture, -3);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Error: Got an update for an unknown parameter."), std::string::npos) << log;
    e.view->property_update_from_au(4242);  // no such property: the meter keeps its level
    EXPECT_EQ(shown(*e.view), before);
    EXPECT_EQ(e.view->parameter_events_received(), events);
    EXPECT_DOUBLE_EQ(e.view->knob()->current_value(), before.at(1));
    EXPECT_EQ(e.view->level_meter()->level(), 0.25f);
}

TEST_F(EditorTest, RebindingDropsTheFirstInstancesListener) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    zentrova_test::zentrova_host second{2};
    second.initialize();
    second.store(12, -50);
    e.view->setAU(second.unit);
    deliver_events();
    EXPECT_EQ(e.view->parameter_view(12)->current_value(), -50);  // refreshed from the second
    const long events = e.view->parameter_events_received();
    host.set(12, -10);  // the first instance: nobody in the editor listens any more
    deliver_events();
    EXPECT_EQ(e.view->parameter_events_received(), events);
    EXPECT_EQ(e.view->parameter_view(12)->current_value(), -50);
    second.set(12, -5);
    deliver_events();
    EXPECT_EQ(e.view->parameter_view(12)->current_value(), -5);
}

TEST_F(EditorTest, TheMeterFollowsTheLevelReadOut) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    EXPECT_EQ(e.view->level_meter()->level(), 0.0f);
    const std::vector<float> input = zentrova_test::bursts(512, 4410, 0.9f);
    for (int block = 0; block < 27; ++block) host.render({input, input});  // one announcement
    deliver_events();
    const double level = host.follower_level();
    ASSERT_GT(level, 0.01);
    EXPECT_EQ(e.view->level_meter()->level(), static_cast<float>(level));
}

TEST_F(EditorTest, TwoEditorsOnOneInstanceStayInStep) {
    editor first(host.unit), second(host.unit);
    ASSERT_TRUE(first.view && second.view);
    // A drag on a control of one, a menu step in the other.
    const ui::Point dry = first.centre_of(first.view->parameter_view(0));
    first.window->drag(dry, {dry.x, dry.y + 10});
    const float end_formant = host.get(5);
    second.window->click(second.right_end_of(second.view->menu_view(5)));
    deliver_events();
    EXPECT_EQ(host.get(0), -76.0f);  // 0.5 % of the 80 dB span per point upward
    EXPECT_EQ(host.get(5), end_formant + 1);
    EXPECT_EQ(shown(*first.view), shown(*second.view));
    EXPECT_EQ(second.view->parameter_view(0)->current_value(), host.get(0));
}

}  // namespace
}  // namespace editor_test

namespace editor_test {
namespace {

// The title strip names the bound unit's component without its manufacturer: "Zentrova" for the
// effect itself, and for the LV2 editor links the plug-in each stands for.
TEST_F(EditorTest, TheTitleNamesTheBoundUnitsComponent) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    EXPECT_EQ(e.view->title()->description(), "Zentrova");
    EXPECT_EQ(HFZentrovaView::title_for(nullptr), "Zentrova");

    const std::string links = std::string(ZENTROVA_TEST_BUILD_DIR) + "/Zentrova.lv2/ZentrovaEditorLink.component";
    AudioComponent registered = nullptr;
    ASSERT_EQ(AudioComponentRegisterBundle(links.c_str(), &registered), noErr);
    const struct {
        OSType subtype;
        const char *title;
    } cases[] = {{0x5A6E7472 /* 'Zntr' */, "Zentrova"}, {0x5A6E746D /* 'Zntm' */, "Zentrova Mono"}};
    for (const auto &c : cases) {
        const AudioComponentDescription wanted{0x7A6C6E6B /* 'zlnk' */, c.subtype, 0x48726664 /* 'Hrfd' */, 0, 0};
        AudioComponent link = AudioComponentFindNext(nullptr, &wanted);
        ASSERT_NE(link, nullptr) << c.title;
        AudioUnit unit = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(link, &unit), noErr);
        e.view->setAU(unit);
        EXPECT_EQ(e.view->title()->description(), c.title);
        e.view->setAU(nullptr);
        AudioComponentInstanceDispose(unit);
    }
}

}  // namespace
}  // namespace editor_test
