// The editor link when the component's own bundle cannot be found under its identifier, or lacks
// the editor: the Cocoa view request fails with fnfErr and writes nothing. Each case registers a
// modified copy of the component bundle in this process only, and never scans the default folders.
#include "zentrova_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using namespace zentrova_test;

namespace {

fs::path copy_bundle(const std::string &name, bool keep_editor, const std::string &identifier) {
    const fs::path source = fs::path(std::getenv("ZENTROVA_BUILD_DIR")) / "Zentrova.component";
    const fs::path target = fs::temp_directory_path() / ("zentrova-test-" + std::to_string(::getpid()) + "-" + name) /
                            "Zentrova.component";
    fs::remove_all(target.parent_path());
    fs::create_directories(target.parent_path());
    fs::copy(source, target, fs::copy_options::recursive);
    if (!keep_editor) fs::remove_all(target / "Contents/Resources/HFZentrovaViewFactory.bundle");
    std::stringstream text;
    text << std::ifstream(target / "Contents/Info.plist").rdbuf();
    const std::string plist = std::regex_replace(text.str(), std::regex("com\\.Harrowfield\\.audiounit\\.Zentrova"),
                                                 identifier);
    std::ofstream(target / "Contents/Info.plist") << plist;
    return target;
}

void expect_no_editor(const fs::path &bundle) {
    AudioComponent component = nullptr;
    ASSERT_EQ(AudioComponentRegisterBundle(bundle.c_str(), &component), noErr);
    zentrova_host host(2, 44100.0, component);
    AudioUnitCocoaViewInfo info{reinterpret_cast<CFURLRef>(0x1), {reinterpret_cast<CFStringRef>(0x2)}};
    UInt32 size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size),
              fnfErr);
    // Nothing was written into the caller's record.
    EXPECT_EQ(info.mCocoaAUViewBundleLocation, reinterpret_cast<CFURLRef>(0x1));
    EXPECT_EQ(info.mCocoaAUViewClass[0], reinterpret_cast<CFStringRef>(0x2));
    fs::remove_all(bundle.parent_path());
}

}  // namespace

TEST(ZentrovaEditorLink, ComponentBundleNotLoadedUnderItsIdentifier) {
    expect_no_editor(copy_bundle("renamed", true, "com.example.renamed-copy"));
}

TEST(ZentrovaEditorLink, EditorBundleMissingFromTheResources) {
    expect_no_editor(copy_bundle("no-editor", false, "com.Harrowfield.audiounit.Zentrova"));
}
