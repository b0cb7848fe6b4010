// A host with a Zentrova instance and its editor, obtained through the Cocoa UI property and
// shown in an offscreen window that takes synthetic events. The preferences live in a temporary
// config folder of the test's own.
#pragma once

#include "../../effect/zentrova_host.h"
#include "host/cocoa_view.h"
#include "view/controls/HF_Volume_Response_View.h"
#include "view/controls/HF_Zentrova_Big_Knob_View.h"
#include "view/controls/HF_Zentrova_Label_View.h"
#include "view/controls/HF_Zentrova_Menu_View.h"
#include "view/controls/HF_Zentrova_Parameter_Control_View.h"
#include "view/editor/HFZentrovaView.h"

#include "ui/OffscreenWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace editor_test {

using zentrova_test::deliver_events;

struct editor {
    std::unique_ptr<ui::OffscreenWindow> window;
    HFZentrovaView *view = nullptr;

    explicit editor(AudioUnit unit) {
        host::cocoa_view opened = host::open_cocoa_view(unit);
        EXPECT_TRUE(opened.view) << opened.error;
        if (!opened.view) return;
        view = dynamic_cast<HFZentrovaView *>(opened.view.get());
        EXPECT_NE(view, nullptr);
        window = std::make_unique<ui::OffscreenWindow>(opened.view->frame().size());
        window->set_content_view(std::move(opened.view));
        deliver_events();
    }
    // The centre of a view, in window coordinates.
    ui::Point centre_of(const ui::View *v) const {
        const ui::Rect r = v->convert_rect_to_view(v->bounds(), nullptr);
        return {r.mid_x(), r.mid_y()};
    }
    ui::Point right_end_of(const ui::View *v) const {
        const ui::Rect r = v->convert_rect_to_view(v->bounds(), nullptr);
        return {r.max_x() - 4, r.mid_y()};
    }
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        _config = std::filesystem::temp_directory_path() /
                  ("zentrova-editor-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(_config);
        setenv("XDG_CONFIG_HOME", _config.c_str(), 1);
        host.initialize();
        deliver_events();
    }
    void TearDown() override { std::filesystem::remove_all(_config); }

    std::filesystem::path preferences_file() const { return _config / "zentrova-preferences/.GlobalPreferences.plist"; }

    zentrova_test::zentrova_host host{2};
    std::filesystem::path _config;
};

}  // namespace editor_test
