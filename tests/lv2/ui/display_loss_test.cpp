// The UI's X server goes away under a running host: the UI must say so through its idle interface
// and stop, and the host must live on (Xlib's default would end the whole process from inside
// idle()). The server is one of the test's own, which the test ends itself.
#include "tests/support/private_display.h"

#include <gtest/gtest.h>

#include <lv2/ui/ui.h>

#include <dlfcn.h>

#include <string>

namespace {

void no_write(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void *) {}

}  // namespace

TEST(Lv2UiDisplayLoss, IdleReportsTheLossAndTheHostLivesOn) {
    test_support::private_display display(191);
    if (display.name().empty()) GTEST_SKIP() << "needs xvfb-run";
    display.use();
    setenv("XDG_CONFIG_HOME", (std::string(ZENTROVA_TEST_BUILD_DIR) + "/lv2ui-test/config").c_str(), 1);
    const std::string bundle = std::string(ZENTROVA_TEST_BUILD_DIR) + "/Zentrova.lv2/";
    void *library = dlopen((bundle + "zentrova_lv2_ui.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto *descriptor = reinterpret_cast<const LV2UI_Descriptor *(*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"))(0);
    const auto *idle = static_cast<const LV2UI_Idle_Interface *>(descriptor->extension_data(LV2_UI__idleInterface));
    const auto *show = static_cast<const LV2UI_Show_Interface *>(descriptor->extension_data(LV2_UI__showInterface));
    const LV2_Feature *features[] = {nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = descriptor->instantiate(descriptor, "urn:harrowfield:zentrova:stereo", bundle.c_str(), no_write,
                                              nullptr, &widget, features);
    ASSERT_NE(ui, nullptr);
    ASSERT_EQ(show->show(ui), 0);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(idle->idle(ui), 0);

    display.end();
    // The first call after the loss may still find the connection's buffer writable; within a few
    // the UI knows, and says it is closed. Reaching the end of this test is the host living on.
    int answer = 0;
    for (int i = 0; i < 50 && answer == 0; ++i) {
        const float level = 0.5f;
        descriptor->port_event(ui, 4 + 16, sizeof level, 0, &level);  // the host goes on sending values
        answer = idle->idle(ui);
    }
    EXPECT_NE(answer, 0) << "idle() never reported the lost display";
    EXPECT_NE(idle->idle(ui), 0) << "a UI whose display is gone stays closed";
    descriptor->cleanup(ui);
    dlclose(library);
}
