// Damaged interface descriptions of the editor bundle: a missing file, or a description without
// one of the main view's fields, logs the editor's message and gives the host no view (never a
// crash); the order of the views in a description does not matter. Runs on a copy of the
// component, the only one this process registers.
#include "../../effect/zentrova_host.h"
#include "host/cocoa_view.h"

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// Rewrites the description's list of views through `edit`.
void rewrite(const fs::path &file, const std::function<void(CFMutableArrayRef)> &edit) {
    std::ostringstream bytes;
    bytes << std::ifstream(file, std::ios::binary).rdbuf();
    const std::string text = bytes.str();
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), CFIndex(text.size()));
    auto root = static_cast<CFDictionaryRef>(CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr));
    CFRelease(data);
    ASSERT_NE(root, nullptr);
    CFMutableArrayRef views = CFArrayCreateMutableCopy(
        nullptr, 0, static_cast<CFArrayRef>(CFDictionaryGetValue(root, CFSTR("views"))));
    edit(views);
    CFMutableDictionaryRef changed = CFDictionaryCreateMutableCopy(nullptr, 0, root);
    CFDictionarySetValue(changed, CFSTR("views"), views);
    CFDataRef out = CFPropertyListCreateData(nullptr, changed, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(CFDataGetBytePtr(out)),
                                                CFDataGetLength(out));
    for (CFTypeRef r : {CFTypeRef(root), CFTypeRef(views), CFTypeRef(changed), CFTypeRef(out)}) CFRelease(r);
}

CFIndex index_of(CFArrayRef views, CFStringRef id) {
    for (CFIndex i = 0; i < CFArrayGetCount(views); ++i) {
        auto view = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(views, i));
        if (CFEqual(CFDictionaryGetValue(view, CFSTR("id")), id)) return i;
    }
    return -1;
}

TEST(EditorBundle, DamagedDescriptionsGiveNoViewAndTheOrderOfViewsDoesNotMatter) {
    const fs::path copy = fs::temp_directory_path() / ("zentrova-no-nib-" + std::to_string(::getpid()));
    fs::remove_all(copy);
    fs::create_directories(copy);
    fs::copy(fs::path(ZENTROVA_TEST_BUILD_DIR) / "Zentrova.component", copy / "Zentrova.component",
             fs::copy_options::recursive);
    const fs::path description =
        copy / "Zentrova.component/Contents/Resources/HFZentrovaViewFactory.bundle/Contents/Resources/HFZentrovaView.plist";
    const fs::path original = copy / "HFZentrovaView.plist";
    fs::copy_file(description, original);
    setenv("AUDIO_COMPONENT_PATH", copy.c_str(), 1);  // before the registry's first scan
    zentrova_test::zentrova_host host(2);

    const struct {
        const char *what;
        std::function<void()> damage;
        bool gives_view;
    } cases[] = {
        {"as built", [] {}, true},
        {"the shared entry view listed before the main view",
         [&] {
             rewrite(description, [](CFMutableArrayRef views) {
                 for (CFStringRef id : {CFSTR("entry_field"), CFSTR("entry")}) {
                     const CFIndex at = index_of(views, id);
                     CFTypeRef view = CFRetain(CFArrayGetValueAtIndex(views, at));
                     CFArrayRemoveValueAtIndex(views, at);
                     CFArrayInsertValueAtIndex(views, 0, view);
                     CFRelease(view);
                 }
             });
         },
         true},
        {"no knob",
         [&] { rewrite(description, [](CFMutableArrayRef views) { CFArrayRemoveValueAtIndex(views, index_of(views, CFSTR("knob"))); }); },
         false},
        {"no description at all", [&] { fs::remove(description); }, false},
    };
    for (const auto &c : cases) {
        fs::copy_file(original, description, fs::copy_options::overwrite_existing);
        c.damage();
        testing::internal::CaptureStderr();
        const host::cocoa_view opened = host::open_cocoa_view(host.unit);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(bool(opened.view), c.gives_view) << c.what;
        EXPECT_EQ(opened.factory_description, "Harrowfield: Zentrova") << c.what;  // the bundle itself loaded
        EXPECT_EQ(log.find("Zentrova: Unable to load nib for view.") != std::string::npos, !c.gives_view)
            << c.what << ": " << log;
    }
    fs::remove_all(copy);
}

}  // namespace
