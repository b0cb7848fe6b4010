// Preferences: stored per application id under the XDG config folder, merged with changes made
// by other processes, written atomically, and tolerant of corrupt files.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class CFPreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cf_prefs_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        file_ = root_ / "zentrova-preferences" / (app_name() + ".plist");
    }
    void TearDown() override { fs::remove_all(root_); }

    // One application id per test: the store caches by file, and every test has its own folder.
    static std::string app_name() { return std::string("com.example.") + ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
    CFStringRef app() {
        if (app_ == nullptr) app_ = CFStringCreateWithCString(nullptr, app_name().c_str(), kCFStringEncodingUTF8);
        return app_;
    }

    CFDictionaryRef file_contents() {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string bytes = ss.str();
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
        CFPropertyListFormat format = 0;
        CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, 0, &format, nullptr);
        CFRelease(data);
        EXPECT_EQ(format, kCFPropertyListXMLFormat_v1_0);
        return static_cast<CFDictionaryRef>(plist);
    }

    void write_file(const std::string &text) {
        fs::create_directories(file_.parent_path());
        std::ofstream(file_, std::ios::binary) << text;
    }

    ~CFPreferencesTest() override { CFRelease(app_); }

    fs::path root_, file_;
    CFStringRef app_ = nullptr;
};

TEST_F(CFPreferencesTest, ValuesPersistAsXMLAndCopiesAreIndependent) {
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("com.harrowfield.velder_info_color"), app()), nullptr);
    CFMutableDictionaryRef colour = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                              &kCFTypeDictionaryValueCallBacks);
    double red = 0.25;
    CFNumberRef r = CFNumberCreate(nullptr, kCFNumberFloat64Type, &red);
    CFDictionarySetValue(colour, CFSTR("red"), r);
    CFPreferencesSetAppValue(CFSTR("com.harrowfield.velder_info_color"), colour, app());
    CFDictionarySetValue(colour, CFSTR("red"), CFSTR("changed after setting"));

    CFPropertyListRef stored = CFPreferencesCopyAppValue(CFSTR("com.harrowfield.velder_info_color"), app());
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(static_cast<CFDictionaryRef>(stored), CFSTR("red")), r));
    CFRelease(stored);
    EXPECT_FALSE(fs::exists(file_)) << "nothing written before synchronising";

    ASSERT_TRUE(CFPreferencesAppSynchronize(app()));
    CFDictionaryRef on_disk = file_contents();
    ASSERT_NE(on_disk, nullptr);
    auto saved = static_cast<CFDictionaryRef>(CFDictionaryGetValue(on_disk, CFSTR("com.harrowfield.velder_info_color")));
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(saved, CFSTR("red")), r));
    CFRelease(on_disk);
    EXPECT_EQ(fs::status(file_.parent_path()).permissions() & fs::perms::others_all, fs::perms::none);

    CFPreferencesSetValue(CFSTR("com.harrowfield.velder_info_color"), nullptr, app(), kCFPreferencesCurrentUser,
                          kCFPreferencesAnyHost);
    ASSERT_TRUE(CFPreferencesSynchronize(app(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
    on_disk = file_contents();
    EXPECT_EQ(CFDictionaryGetCount(on_disk), 0) << "a NULL value removes the key";
    CFRelease(on_disk);
    CFRelease(r);
    CFRelease(colour);
}

TEST_F(CFPreferencesTest, SynchronizeMergesChangesMadeByOthers) {
    CFPreferencesSetAppValue(CFSTR("mine"), CFSTR("1"), app());
    // Another process wrote the file meanwhile, with a key of its own.
    write_file("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>theirs</key><string>2</string></dict></plist>");
    ASSERT_TRUE(CFPreferencesAppSynchronize(app()));
    CFDictionaryRef on_disk = file_contents();
    EXPECT_EQ(CFDictionaryGetCount(on_disk), 2);
    CFRelease(on_disk);
    CFPropertyListRef theirs = CFPreferencesCopyAppValue(CFSTR("theirs"), app());
    EXPECT_TRUE(CFEqual(theirs, CFSTR("2")));
    CFRelease(theirs);

    // With nothing of ours pending, synchronising just picks up the file.
    write_file("<plist><dict><key>theirs</key><string>3</string></dict></plist>");
    ASSERT_TRUE(CFPreferencesAppSynchronize(app()));
    theirs = CFPreferencesCopyAppValue(CFSTR("theirs"), app());
    EXPECT_TRUE(CFEqual(theirs, CFSTR("3")));
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("mine"), app()), nullptr) << "the file no longer has it";
    CFRelease(theirs);
}

TEST_F(CFPreferencesTest, CorruptFileReadsAsEmptyAndIsKeptAside) {
    write_file("<plist><dict><key>a</key><array><array>garbage");
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("a"), app()), nullptr);
    CFPreferencesSetAppValue(CFSTR("b"), kCFBooleanTrue, app());
    ASSERT_TRUE(CFPreferencesAppSynchronize(app()));
    EXPECT_TRUE(fs::exists(file_.string() + ".corrupt"));
    CFDictionaryRef on_disk = file_contents();
    ASSERT_NE(on_disk, nullptr);
    EXPECT_EQ(CFDictionaryGetValue(on_disk, CFSTR("b")), kCFBooleanTrue);
    CFRelease(on_disk);
    // No temporary files are left behind.
    int files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(file_.parent_path())) ++files;
    EXPECT_EQ(files, 2);
}

TEST_F(CFPreferencesTest, UnsafeApplicationIdsAndValuesAreRefused) {
    CFPreferencesSetAppValue(CFSTR("k"), CFSTR("v"), CFSTR("../escape"));
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("k"), CFSTR("../escape")), nullptr);
    EXPECT_FALSE(CFPreferencesAppSynchronize(CFSTR("../escape")));
    EXPECT_FALSE(fs::exists(root_ / "escape.plist"));

    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>("/tmp"), 4, true);
    CFPreferencesSetAppValue(CFSTR("url"), url, app());  // not a property-list value: ignored
    EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("url"), app()), nullptr);
    CFRelease(url);
}

}  // namespace
