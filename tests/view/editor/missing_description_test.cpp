// An editor bundle whose main interface description is missing: the factory logs the editor's
// message and the host gets no view. Runs on a copy of the component, the only one this process
// registers.
#include "../../effect/zentrova_host.h"
#include "tools/zentrova-editor/cocoa_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(EditorBundle, AMissingInterfaceDescriptionIsLoggedAndGivesNoView) {
    const fs::path copy = fs::temp_directory_path() / ("zentrova-no-nib-" + std::to_string(::getpid()));
    fs::remove_all(copy);
    fs::create_directories(copy);
    fs::copy(fs::path(ZENTROVA_TEST_BUILD_DIR) / "Zentrova.component", copy / "Zentrova.component",
             fs::copy_options::recursive);
    const fs::path resources = copy / "Zentrova.component/Contents/Resources/HFZentrovaViewFactory.bundle/Contents/Resources";
    ASSERT_TRUE(fs::remove(resources / "HFZentrovaView.plist"));
    setenv("AUDIO_COMPONENT_PATH", copy.c_str(), 1);  // before the registry's first scan

    zentrova_test::zentrova_host host(2);
    testing::internal::CaptureStderr();
    const zentrova_editor::cocoa_view opened = zentrova_editor::open_cocoa_view(host.unit);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened.view);
    EXPECT_EQ(opened.factory_description, "Harrowfield: Zentrova");  // the bundle itself loaded
    EXPECT_NE(log.find("Zentrova: Unable to load nib for view."), std::string::npos) << log;
    fs::remove_all(copy);
}

}  // namespace
