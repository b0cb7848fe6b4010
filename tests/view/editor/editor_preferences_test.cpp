// The colour preferences as the editor uses them: written when the first editor is built, chosen
// in the panel that the title strip opens, used by the editors built afterwards.
#include "editor_fixture.h"

#include "view/editor/HF_Zentrova_Color_Picker.h"
#include "view/editor/HF_Zentrova_Color_Well.h"
#include "view/editor/HF_Zentrova_Preference_Controller.h"
#include "view/editor/color_preferences.h"

#include <fstream>
#include <sstream>

namespace editor_test {
namespace {

using view::color_preference;

std::string contents(const std::filesystem::path &path) {
    std::ostringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

TEST_F(EditorTest, TheFirstEditorWritesTheDefaultColoursAndUsesThem) {
    ASSERT_FALSE(std::filesystem::exists(preferences_file()));
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    const std::string stored = contents(preferences_file());
    EXPECT_NE(stored.find("com.harrowfield.velder_info_color"), std::string::npos);
    EXPECT_NE(stored.find("com.harrowfield.velder_readout_color"), std::string::npos);
    // Names in the info colour, numbers and menu titles in the read-out colour.
    const ui::Color info{0.0, 0.15, 0.8, 1.0}, readout{0.8, 0.65, 0.2, 1.0};
    EXPECT_EQ(e.view->parameter_view(0)->info_color(), info);
    EXPECT_EQ(e.view->parameter_view(0)->readout_color(), readout);
    EXPECT_EQ(e.view->menu_view(8)->color_for_line(), readout);
}

TEST_F(EditorTest, AColourPickedInThePanelIsUsedByTheNextEditorOnly) {
    editor first(host.unit);
    ASSERT_NE(first.view, nullptr);
    first.window->click(first.centre_of(first.view->title()));
    HF_Zentrova_Preference_Controller *panel = first.view->preferences_controller();
    ASSERT_TRUE(panel && panel->is_open());
    ui::Overlay *overlay = panel->overlay();
    const auto in_window = [&](const ui::View *v, double u, double w) {
        const ui::Rect r = v->convert_rect_to_view(v->bounds(), nullptr);
        return ui::Point{overlay->frame().x + r.x + u * r.width, overlay->frame().y + r.y + w * r.height};
    };
    // The read-out well, then a quarter up the field a third of the way along: a dark green.
    first.window->click(in_window(panel->readout_color_well(), 0.5, 0.6));
    first.window->click(in_window(panel->color_picker(), 1.0 / 3, 0.25));
    const ui::Color picked = panel->readout_color_well()->color();
    EXPECT_NEAR(picked.green, 0.5, 0.02);
    EXPECT_NEAR(picked.red + picked.blue, 0, 0.1);
    EXPECT_EQ(view::read_color_preference(color_preference::readout), picked);
    EXPECT_EQ(panel->info_color_well()->color(), view::default_color(color_preference::info));

    // A click outside closes the panel; this editor keeps the colours it was built with.
    first.window->click({5, 5});
    EXPECT_FALSE(panel->is_open());
    EXPECT_EQ(first.view->parameter_view(12)->readout_color(), view::default_color(color_preference::readout));
    editor second(host.unit);
    ASSERT_NE(second.view, nullptr);
    EXPECT_EQ(second.view->parameter_view(12)->readout_color(), picked);
    EXPECT_EQ(second.view->menu_view(2)->color_for_line(), picked);
    EXPECT_EQ(second.view->parameter_view(12)->info_color(), view::default_color(color_preference::info));
}

TEST_F(EditorTest, ChangeColorFromAnyOtherSenderChangesNothing) {
    editor e(host.unit);
    ASSERT_NE(e.view, nullptr);
    e.view->show_preferences_panel(nullptr);
    HF_Zentrova_Preference_Controller *panel = e.view->preferences_controller();
    ASSERT_NE(panel, nullptr);
    panel->info_color_well()->set_color({1, 0, 0, 1});
    panel->readout_color_well()->set_color({0, 1, 0, 1});
    const std::string before = contents(preferences_file());
    HF_Zentrova_Color_Well stranger;
    for (ui::Object *sender : {static_cast<ui::Object *>(&stranger), static_cast<ui::Object *>(e.view), static_cast<ui::Object *>(nullptr)})
        panel->changeColor(sender);
    EXPECT_EQ(contents(preferences_file()), before);
    EXPECT_EQ(view::read_color_preference(color_preference::info), view::default_color(color_preference::info));
    // The wells themselves do store.
    panel->changeColor(panel->info_color_well());
    EXPECT_EQ(view::read_color_preference(color_preference::info), ui::Color(1, 0, 0, 1));
}

}  // namespace
}  // namespace editor_test
