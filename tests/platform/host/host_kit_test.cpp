// The host kit where a host relies on it to be exact: strings of any length and script, finding a
// bundle only where it is promised to look, and a refused request reported as a failure.
#include "au_test_support.h"

#include "host/cf_string.h"
#include "host/component.h"
#include "host/parameters.h"

#include <unistd.h>

using namespace au_test;
namespace fs = std::filesystem;

TEST(HostString, ConvertsAnyStringToUtf8Whole) {
    const std::string long_text(5000, 'x');  // past any fixed buffer a helper might use
    const std::string script = "Gr\xC3\xB6\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9D\x84\x9E";  // 2-, 3- and 4-byte forms
    const struct {
        const char *name;
        CFStringRef text;
        std::string want;
    } cases[] = {
        {"null", nullptr, ""},
        {"empty", CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8), ""},
        {"constant", CFSTR("Formant Level"), "Formant Level"},
        {"non-ASCII", CFStringCreateWithCString(nullptr, script.c_str(), kCFStringEncodingUTF8), script},
        {"Latin-1 source", CFStringCreateWithCString(nullptr, "\xE9t\xE9", kCFStringEncodingISOLatin1),
         "\xC3\xA9t\xC3\xA9"},
        {"long", CFStringCreateWithCString(nullptr, long_text.c_str(), kCFStringEncodingUTF8), long_text},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(host::to_string(c.text), c.want);
        if (c.text != nullptr) CFRelease(c.text);
    }
}

// Where a plug-in looks for the component it wraps: inside its own bundle, beside it, beside the
// folder a link resolves to; never in the working directory, whatever the path it is given.
TEST(HostComponent, RegistersABundleOnlyWhereItLooks) {
    ScratchFolder scratch;
    const fs::path root = scratch.path(), fixture = fixture_bundle_path();
    const std::string name = "AuFixture.component";
    fs::create_directories(root / "inside.lv2");
    fs::create_symlink(fixture, root / "inside.lv2" / name);
    fs::create_directories(root / "build/plugin.lv2");
    fs::create_symlink(fixture, root / "build" / name);
    fs::create_directories(root / "links");
    fs::create_directory_symlink(root / "build/plugin.lv2", root / "links/plugin.lv2");
    fs::create_directories(root / "empty.lv2");
    fs::create_symlink(fixture, root / name);  // in the working directory, set below
    const fs::path previous = fs::current_path();
    fs::current_path(root);

    EXPECT_NE(host::register_bundle_beside(root / "inside.lv2/", name), nullptr);
    EXPECT_NE(host::register_bundle_beside(root / "build/plugin.lv2", name), nullptr);
    EXPECT_NE(host::register_bundle_beside(root / "links/plugin.lv2", name), nullptr);
    EXPECT_EQ(host::register_bundle_beside(root / "links/empty.lv2", name), nullptr);  // no such folder
    EXPECT_EQ(host::register_bundle_beside("", name), nullptr);
    EXPECT_EQ(host::register_bundle_beside(root / "empty.lv2" / "nested", name), nullptr);
    fs::current_path(previous);
}

TEST(HostParameters, AUnitThatRefusesTheListIsAFailureNotAnEmptyList) {
    FixtureUnit unit;  // the fixture answers no parameter properties
    try {
        host::read_parameters(unit);
        ADD_FAILURE() << "no failure reported";
    } catch (const host::status_error &e) {
        EXPECT_EQ(e.status, kAudioUnitErr_InvalidProperty);
        EXPECT_NE(std::string(e.what()).find("parameter list"), std::string::npos) << e.what();
    }
}
