// The controls' answers to pointer, wheel and key events, sent to offscreen windows.
#include "control_test_support.h"
#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Label_View.h"
#include "view/controls/HF_Zentrova_Menu_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using view_test::page;
using Control = HF_Zentrova_Parameter_Control_View;
using Knob = HF_Zentrova_Big_Knob_View;
using Menu = HF_Zentrova_Menu_View;

struct control_page : page<Control> {
    int selections = 0;
    control_page(double minimum, double maximum, double value, int32_t scale)
        : page({50, 40, 200, 30}) {
        control->set_values_minimum(minimum, maximum, minimum, scale);
        control->set_current_value(value);
        control->set_callback([](ui::Object &h, Control &c) {
            static_cast<view_test::recording_host &>(h).values.push_back(c.current_value());
        }, &host);
        control->set_selection_callback([this](ui::Object &, Control &) { ++selections; }, &host);
    }
};

TEST(ParameterControl, DragsAndScrollsStepAndStopAtTheEnds) {
    const struct {
        const char *what;
        double minimum, maximum, value; int32_t scale;
        bool drag; double amount;  // drag: points upward; scroll: wheel units up
        double expected, tolerance;
    } cases[] = {
        {"drag up 10 points", -80, 0, -40, 0, true, 10, -36, 1e-9},
        {"drag down 10 points", -80, 0, -40, 0, true, -10, -44, 1e-9},
        {"one wheel unit on a square law", 0, 2000, 250, 2, false, 1, 252.836, 1e-3},
        {"drag far past the top", -80, 0, -1, 0, true, 500, 0, 0},
        {"drag far past the bottom", -80, 0, -79, 0, true, -500, -80, 0},
        {"wheel past the top", 0, 2000, 1990, 2, false, 40, 2000, 0},
        {"wheel past the bottom", 0, 2000, 5, 2, false, -40, 0, 0},
    };
    for (const auto &c : cases) {
        control_page p(c.minimum, c.maximum, c.value, c.scale);
        const ui::Point start = p.at(100, 15);
        if (c.drag)
            p.window.drag(start, {start.x, start.y + c.amount});
        else
            p.window.scroll_wheel(start, 0, c.amount);
        EXPECT_NEAR(p.control->current_value(), c.expected, c.tolerance) << c.what;
        ASSERT_EQ(p.host.values.size(), 1u) << c.what << ": one callback per step, also at an end";
        EXPECT_EQ(p.host.values[0], p.control->current_value()) << c.what;
    }
}

TEST(ParameterControl, AClickSelectsOnceAndAClickOnASelectedControlSendsNothing) {
    control_page p(-80, 0, -12, 0);
    p.window.click(p.at(100, 15));
    EXPECT_TRUE(p.control->is_selected());
    p.window.click(p.at(100, 15));
    p.window.click(p.at(10, 5));
    EXPECT_EQ(p.selections, 1);
    EXPECT_TRUE(p.host.values.empty());
}

// The entry box: the first click of the double click selects, the second opens it over the
// control; Return applies the typed number clamped to the range, a click elsewhere or Escape
// discards it.
TEST(ParameterControl, TypedEntryAppliesClampedOnReturnAndIsDiscardedOnLossOfFocusOrEscape) {
    enum ending { return_key, click_elsewhere, escape };
    const struct {
        const char *typed; ending end; double expected; size_t callbacks;
    } cases[] = {
        {"-6.5", return_key, -6.5, 1},
        {"500", return_key, 0, 1},
        {"-1000", return_key, -80, 1},
        {"-3", click_elsewhere, -12, 0},
        {"-3", escape, -12, 0},
    };
    for (const auto &c : cases) {
        control_page p(-80, 0, -12, 0);
        auto entry = HF_Zentrova_Pop_Up_View::create_with_field({0, 0, 120, 40});
        p.control->set_pop_up_view(entry.get());
        p.window.double_click(p.at(100, 15));
        ASSERT_NE(p.control->pop_up_window(), nullptr) << c.typed;
        EXPECT_EQ(p.control->pop_up_window()->frame(), (ui::Rect{50, 40, 120, 40}));
        EXPECT_EQ(entry->entry_field()->string(), "-12");
        p.window.type_text(c.typed);  // replaces the value shown: the field has the keyboard
        if (c.end == return_key)
            p.window.key_down(ui::Key::return_key);
        else if (c.end == escape)
            p.window.key_down(ui::Key::escape);
        else
            p.window.click({380, 280});
        EXPECT_EQ(p.control->pop_up_window(), nullptr) << c.typed;
        EXPECT_TRUE(p.window.child_overlays().empty()) << c.typed;
        EXPECT_DOUBLE_EQ(p.control->current_value(), c.expected) << c.typed;
        EXPECT_EQ(p.host.values.size(), c.callbacks) << c.typed;
    }
}

// One entry view serves every control: each opening loads its own value and range, so a value
// outside the previous control's range arrives intact, and the confirmation reaches the opener.
TEST(ParameterControl, TheSharedEntryViewServesEachControlWithItsOwnRange) {
    ui::OffscreenWindow window({400, 300});
    auto root = ui::create_view<ui::View>({0, 0, 400, 300});
    auto *unit = static_cast<Control *>(root->add_subview(ui::create_view<Control>({10, 10, 200, 30})));
    auto *db = static_cast<Control *>(root->add_subview(ui::create_view<Control>({10, 100, 200, 30})));
    window.set_content_view(std::move(root));
    auto entry = HF_Zentrova_Pop_Up_View::create_with_field({0, 0, 120, 40});
    unit->set_values_minimum(0, 1, 0, 0);
    unit->set_current_value(0.5);
    db->set_values_minimum(-80, 0, -80, 0);
    db->set_current_value(-12);
    unit->set_pop_up_view(entry.get());
    db->set_pop_up_view(entry.get());

    window.double_click({50, 20});
    window.key_down(ui::Key::return_key);
    window.double_click({50, 110});
    window.key_down(ui::Key::return_key);
    EXPECT_DOUBLE_EQ(unit->current_value(), 0.5);
    EXPECT_DOUBLE_EQ(db->current_value(), -12);
    window.double_click({50, 20});  // reopening after the other control still works
    EXPECT_NE(unit->pop_up_window(), nullptr);
}

struct knob_page : page<Knob> {
    knob_page(double minimum, double maximum, double def, int32_t scale, double value)
        : page({20, 20, 100, 100}) {
        control->set_values_minimum(minimum, maximum, def, scale);
        control->set_current_value(value);
        control->set_callback([](ui::Object &h, Knob &k) {
            static_cast<view_test::recording_host &>(h).values.push_back(k.current_value());
        }, &host);
    }
};

TEST(BigKnob, PressesDoubleClicksAndWheel) {
    enum gesture { press, double_press, wheel };
    // The disc's centre is (50, 50) in the knob's coordinates.
    const struct {
        const char *what; double minimum, maximum, def; int32_t scale; double value;
        gesture g; double x, y; double expected;
    } cases[] = {
        {"pointing straight up is mid-travel", 0, 2000, 250, 2, 0, press, 50, 95, 500},
        {"dead zone, left of straight down", -80, 0, -40, 0, -40, press, 49, 8, -80},
        {"dead zone, right of straight down", -80, 0, -40, 0, -40, press, 51, 8, 0},
        {"pointing at 3 o'clock", -80, 0, -40, 0, -40, press, 95, 50, -80 + 80 * 5.0 / 6.0},
        {"outside the hit ellipse: unchanged", -80, 0, -40, 0, -30, press, 2, 2, -30},
        {"double click resets", 0, 2000, 250, 2, 1500, double_press, 50, 60, 250},
        {"double click outside the disc resets", -80, 0, -40, 0, -10, double_press, 2, 98, -40},
        {"one wheel unit", -80, 0, -40, 0, -40, wheel, 50, 50, -39.92},
        {"wheel past the top", -80, 0, -40, 0, -0.1, wheel, 50, 50, 0},
    };
    for (const auto &c : cases) {
        knob_page p(c.minimum, c.maximum, c.def, c.scale, c.value);
        if (c.g == press)
            p.window.mouse_down(p.at(c.x, c.y), 1);
        else if (c.g == double_press)
            p.window.mouse_down(p.at(c.x, c.y), 2);
        else
            p.window.scroll_wheel(p.at(c.x, c.y), 0, c.expected == 0 ? 100 : 1);
        EXPECT_NEAR(p.control->current_value(), c.expected, 1e-3 * (c.maximum - c.minimum)) << c.what;
        ASSERT_EQ(p.host.values.size(), 1u) << c.what;
        EXPECT_EQ(p.host.values[0], p.control->current_value()) << c.what;
    }
}

TEST(BigKnob, DragsFollowOnlyAPressInsideTheDisc) {
    knob_page p(-80, 0, -80, 0, -40);
    p.window.mouse_down(p.at(2, 2));  // outside: no drag state
    p.window.mouse_dragged(p.at(95, 50));
    p.window.mouse_up(p.at(95, 50));
    EXPECT_DOUBLE_EQ(p.control->current_value(), -40);
    p.window.mouse_down(p.at(50, 95));
    p.window.mouse_dragged(p.at(95, 50));
    EXPECT_NEAR(p.control->current_value(), -80 + 80 * 5.0 / 6.0, 1e-3);
    p.window.mouse_up(p.at(95, 50));
    EXPECT_EQ(p.host.values.size(), 3u);  // both presses and the one live drag
}

TEST(BigKnob, SettersClampWithoutCallingBackAndKeepTheValueAcrossARepeatedRange) {
    knob_page p(0, 2000, 250, 2, 700);
    p.control->set_values_minimum(0, 2000, 250, 2);
    p.control->set_values_minimum(0, 2000, 250, 2);
    EXPECT_NEAR(p.control->current_value(), 700, 1e-9);
    p.control->set_current_value(5000);
    EXPECT_DOUBLE_EQ(p.control->current_value(), 2000);
    p.control->set_values_minimum(-80, 0, -12, 0);  // value re-expressed, then clamped
    EXPECT_DOUBLE_EQ(p.control->current_value(), 0);
    p.control->set_current_value(NAN);
    EXPECT_DOUBLE_EQ(p.control->current_value(), 0);
    EXPECT_TRUE(p.host.values.empty());

    // A maximum below the minimum collapses the range onto the maximum; pointing still works.
    p.control->set_values_minimum(5, 3, 4, 0);
    p.window.click(p.at(95, 50));
    EXPECT_EQ(p.host.values, std::vector<double>{3});
    EXPECT_TRUE(std::isfinite(p.control->indicator_center().x));
}

TEST(ParameterControl, ANaNValueKeepsTheLastRealOne) {
    control_page p(-80, 0, -12, 0);
    p.control->set_current_value(NAN);
    p.window.scroll_wheel(p.at(100, 15), 0, 1);
    EXPECT_NEAR(p.host.values.at(0), -11.84, 1e-9);
}

struct menu_page : page<Menu> {
    ui::PopUpButton store;
    menu_page(bool with_store, int items, int selected) : page({100, 100, 150, 20}) {
        if (with_store) control->set_menu_button(&store);
        for (int i = 0; i < items; ++i) control->append_item("Item " + std::to_string(i));
        control->select_index(selected);
        control->set_callback([](ui::Object &h, Menu &m) {
            static_cast<view_test::recording_host &>(h).values.push_back(m.indexOfSelectedItem());
        }, &host);
    }
};

TEST(Menu, CapsStepWithWrapAroundAndADoubleClickDoesNothing) {
    const struct { const char *what; int selected; double x; int clicks; int expected; size_t callbacks; } cases[] = {
        {"left from the first", 0, 5, 1, 4, 1},
        {"right from the last", 4, 145, 1, 0, 1},
        {"left from the middle", 2, 5, 1, 1, 1},
        {"right from the middle", 2, 145, 1, 3, 1},
        {"second press of a double click", 2, 145, 2, 2, 0},
    };
    for (const auto &c : cases) {
        menu_page p(true, 5, c.selected);
        p.window.mouse_down(p.at(c.x, 10), c.clicks);
        EXPECT_EQ(p.control->is_left_pressed() || p.control->is_right_pressed(), c.clicks == 1) << c.what;
        p.window.mouse_up(p.at(c.x, 10));
        EXPECT_EQ(p.control->indexOfSelectedItem(), c.expected) << c.what;
        EXPECT_EQ(p.host.values.size(), c.callbacks) << c.what;
        EXPECT_FALSE(p.control->is_left_pressed() || p.control->is_right_pressed()) << c.what;
    }
}

TEST(Menu, TheItemListCallsBackWhenPickedOrDismissed) {
    for (bool pick : {true, false}) {
        menu_page p(true, 5, 1);
        p.window.click(p.at(75, 10));
        ASSERT_TRUE(p.store.is_list_open());
        EXPECT_TRUE(p.host.values.empty()) << "no callback while the list is open";
        if (pick) {
            ui::ItemList *list = p.store.open_list();
            const ui::Rect row = list->convert_rect_to_view(list->row_rect(3), nullptr);
            const ui::Point o = p.store.open_overlay()->frame().origin();
            p.window.click({o.x + row.mid_x(), o.y + row.mid_y()});
        } else {
            p.window.click({5, 5});
        }
        EXPECT_FALSE(p.store.is_list_open());
        EXPECT_EQ(p.host.values, std::vector<double>{pick ? 3.0 : 1.0}) << (pick ? "picked" : "dismissed");
    }
}

TEST(Menu, WithoutAStoreItAnswersMinusOneAndNeverCallsBack) {
    menu_page p(false, 3, 1);
    for (double x : {5.0, 75.0, 145.0}) p.window.click(p.at(x, 10));
    EXPECT_EQ(p.control->indexOfSelectedItem(), -1);
    EXPECT_EQ(p.control->numberOfItems(), 0);
    EXPECT_TRUE(p.host.values.empty());
    EXPECT_TRUE(p.window.child_overlays().empty());
}

TEST(Button, EveryPressOfADoubleClickCallsBack) {
    page<HF_Zentrova_Button_View> p({10, 10, 120, 20});
    int presses = 0;
    p.control->set_callback([&](ui::Object &, HF_Zentrova_Button_View &) { ++presses; }, &p.host);
    p.window.double_click(p.at(60, 10));
    EXPECT_EQ(presses, 2);
}

TEST(LevelMeter, DecibelMapping) {
    page<HF_Volume_Response_View> p({0, 0, 300, 20});
    HF_Volume_Response_View &m = *p.control;
    m.set_db_minimum(-72, 0);
    const double right = m.graph_frame().max_x(), left = m.graph_frame().x;
    const struct { float level; double db, x; } cases[] = {
        {1.0f, 0, right},
        {0.5f, -6.0206, right - 6.0206 * (right - left) / 72},
        {0.0f, -72, left},
        {-0.5f, -72, left},
    };
    for (const auto &c : cases) {
        m.set_level(c.level);
        EXPECT_NEAR(m.level_db(), c.db, 1e-4) << c.level;
        EXPECT_NEAR(m.location_for_db(static_cast<float>(m.level_db())), c.x, 1e-3) << c.level;
        EXPECT_NEAR(m.db_for_location(static_cast<float>(c.x)), c.db, 1e-3) << c.level;
    }
}

}  // namespace
