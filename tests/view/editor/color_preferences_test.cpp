// The stored form of the editor's colours and the rules of the preference store, against a
// temporary config folder.
#include "view/editor/color_preferences.h"

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

using view::color_preference;

namespace {

std::vector<uint8_t> swapped_components(std::vector<uint8_t> bytes) {
    for (size_t at = 4; at + 8 <= bytes.size(); at += 8) std::reverse(bytes.begin() + at, bytes.begin() + at + 8);
    return bytes;
}

TEST(ColorEncoding, RoundTripsAndWritesBigEndianWhateverTheMachine) {
    const ui::Color colors[] = {{0.0, 0.15, 0.8, 1.0}, {0.8, 0.65, 0.2, 1.0}, {1, 1, 1, 0}, {0.123456789, 0, 1, 0.5}};
    for (const ui::Color &c : colors) {
        const auto bytes = view::encode_color(c);
        EXPECT_EQ(view::decode_color(bytes.data(), bytes.size()), c);
    }
    // Alpha 1.0 is 3FF0000000000000: the last eight bytes, most significant first.
    const auto bytes = view::encode_color({0, 0, 0, 1});
    std::vector<uint8_t> expected(36, 0);
    std::copy_n("RGBA", 4, expected.begin());
    expected[28] = 0x3F;
    expected[29] = 0xF0;
    EXPECT_EQ(bytes, expected);
}

TEST(ColorEncoding, AnythingElseIsRefused) {
    const auto good = view::encode_color({0.8, 0.65, 0.2, 1.0});
    auto wrong_tag = good;
    wrong_tag[0] = 'X';
    auto out_of_range = view::encode_color({0.5, 0.5, 0.5, 1.0});
    out_of_range[4] = 0x40;  // red becomes 2.0 and more
    const auto not_a_number = view::encode_color({std::numeric_limits<double>::quiet_NaN(), 0, 0, 1});
    const struct {
        const char *what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"one byte short", {good.begin(), good.end() - 1}},
        {"one byte long", [&] { auto b = good; b.push_back(0); return b; }()},
        {"another tag", wrong_tag},
        {"components in the other byte order", swapped_components(good)},
        {"a component above 1", out_of_range},
        {"NaN", not_a_number},
    };
    for (const auto &c : cases) EXPECT_FALSE(view::decode_color(c.bytes.data(), c.bytes.size())) << c.what;
}

class ColorStore : public ::testing::Test {
protected:
    void SetUp() override {
        _folder = std::filesystem::temp_directory_path() /
                  ("zentrova-prefs-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(_folder);
        setenv("XDG_CONFIG_HOME", _folder.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(_folder); }

    static void store_raw(color_preference which, CFPropertyListRef value) {
        CFStringRef key = CFStringCreateWithCString(nullptr, view::color_preference_key(which), kCFStringEncodingUTF8);
        CFPreferencesSetValue(key, value, kCFPreferencesAnyApplication, kCFPreferencesCurrentUser,
                              kCFPreferencesCurrentHost);
        CFPreferencesSynchronize(kCFPreferencesAnyApplication, kCFPreferencesCurrentUser, kCFPreferencesCurrentHost);
        CFRelease(key);
    }
    std::filesystem::path _folder;
};

const ui::Color teal{0, 0.5, 0.5, 1};
const ui::Color pink{1, 0.4, 0.7, 1};

TEST_F(ColorStore, DefaultsAreWrittenOnceAsAPair) {
    view::ensure_color_preferences();
    EXPECT_TRUE(std::filesystem::exists(_folder / "zentrova-preferences/.GlobalPreferences.plist"));
    EXPECT_EQ(view::read_color_preference(color_preference::info), ui::Color(0.0, 0.15, 0.8, 1.0));
    EXPECT_EQ(view::read_color_preference(color_preference::readout), ui::Color(0.8, 0.65, 0.2, 1.0));

    // Both present: kept. One missing: both back to their defaults.
    const struct {
        bool remove_info, remove_readout;
        ui::Color info_after, readout_after;
    } cases[] = {
        {false, false, teal, pink},
        {true, false, view::default_color(color_preference::info), view::default_color(color_preference::readout)},
        {false, true, view::default_color(color_preference::info), view::default_color(color_preference::readout)},
    };
    for (const auto &c : cases) {
        view::write_color_preference(color_preference::info, teal);
        view::write_color_preference(color_preference::readout, pink);
        if (c.remove_info) store_raw(color_preference::info, nullptr);
        if (c.remove_readout) store_raw(color_preference::readout, nullptr);
        view::ensure_color_preferences();
        EXPECT_EQ(view::read_color_preference(color_preference::info), c.info_after);
        EXPECT_EQ(view::read_color_preference(color_preference::readout), c.readout_after);
    }
}

TEST_F(ColorStore, UnreadableValuesFallBackWithoutBeingReplaced) {
    view::write_color_preference(color_preference::readout, pink);
    const uint8_t junk[] = {1, 2, 3};
    CFDataRef data = CFDataCreate(nullptr, junk, sizeof junk);
    store_raw(color_preference::info, data);
    CFRelease(data);
    view::ensure_color_preferences();  // both keys are present: nothing is rewritten
    EXPECT_EQ(view::read_color_preference(color_preference::info), view::default_color(color_preference::info));
    EXPECT_EQ(view::read_color_preference(color_preference::readout), pink);
    store_raw(color_preference::readout, CFSTR("pink"));  // not even data
    EXPECT_EQ(view::read_color_preference(color_preference::readout), view::default_color(color_preference::readout));
}

}  // namespace
