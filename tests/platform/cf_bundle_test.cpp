// Bundles: opening a bundle folder, finding it by identifier, resource lookup and loading code,
// with a temporary bundle laid out as the component bundles are.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string path_of(CFURLRef url) {
    char buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(buffer), sizeof buffer)) return "<none>";
    return buffer;
}

CFURLRef url_of(const fs::path &p) {
    std::string s = p.string();
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>(s.c_str()),
                                                   static_cast<CFIndex>(s.size()), true);
}

void write(const fs::path &p, const std::string &text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string info_plist(const std::string &id, const std::string &executable) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>" + id + "</string>"
           "<key>CFBundleExecutable</key><string>" + executable + "</string>"
           "<key>CFBundleVersion</key><string>1.0</string></dict></plist>";
}

class CFBundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cf_bundle_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    // A bundle named name with the given identifier, the fixture as its executable, and resources.
    fs::path make_bundle(const std::string &name, const std::string &id) {
        fs::path b = root_ / name;
        write(b / "Contents/Info.plist", info_plist(id, "Fixture"));
        fs::create_directories(b / "Contents/x86_64-linux");
        fs::copy_file(fs::path(PLATFORM_FIXTURE_DIR) / "cf_bundle_fixture.so", b / "Contents/x86_64-linux/Fixture.so");
        fs::create_directories(b / "Contents/Resources/HFZentrovaViewFactory.bundle/Contents");
        write(b / "Contents/Resources/views/HFZentrovaView.plist", "<plist/>");
        write(b / "Contents/Resources/notes.txt", "x");
        return b;
    }

    fs::path root_;
};

TEST_F(CFBundleTest, CreatedBundleIsFoundByIdentifierAndOpenedOnce) {
    fs::path b = make_bundle("Found.component", "com.example.cf.found");
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.example.cf.found")), nullptr) << "not opened yet";
    CFURLRef url = url_of(b);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(CFGetTypeID(bundle), CFBundleGetTypeID());
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.example.cf.found")), bundle);
    EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(bundle), CFSTR("com.example.cf.found")));
    EXPECT_TRUE(CFEqual(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleVersion")), CFSTR("1.0")));

    CFURLRef other_spelling = url_of(root_ / "." / "Found.component/");
    CFBundleRef again = CFBundleCreate(nullptr, other_spelling);
    EXPECT_EQ(again, bundle) << "the same folder is one bundle";
    CFRelease(again);
    CFRelease(other_spelling);
    CFRelease(bundle);
    CFRelease(url);
    // The process keeps opened bundles: the lookup still answers after the caller's release.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.example.cf.found")), bundle);
}

TEST_F(CFBundleTest, ResourceURLsAnswerOnlyForExistingResources) {
    fs::path b = make_bundle("Res.component", "com.example.cf.res");
    CFURLRef url = url_of(b);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);
    fs::path resources = fs::canonical(b) / "Contents/Resources";

    CFURLRef editor = CFBundleCopyResourceURL(bundle, CFSTR("HFZentrovaViewFactory"), CFSTR("bundle"), nullptr);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(path_of(editor), (resources / "HFZentrovaViewFactory.bundle").string());
    EXPECT_TRUE(CFURLHasDirectoryPath(editor));
    CFRelease(editor);

    CFURLRef view = CFBundleCopyResourceURL(bundle, CFSTR("HFZentrovaView"), CFSTR(".plist"), CFSTR("views"));
    EXPECT_EQ(path_of(view), (resources / "views/HFZentrovaView.plist").string());
    CFRelease(view);
    CFURLRef untyped = CFBundleCopyResourceURL(bundle, CFSTR("notes.txt"), nullptr, nullptr);
    EXPECT_NE(untyped, nullptr);
    CFRelease(untyped);

    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("HFZentrovaView"), CFSTR("plist"), nullptr), nullptr) << "wrong subdir";
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("Missing"), CFSTR("bundle"), nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("Info"), CFSTR("plist"), CFSTR("..")), nullptr) << "stays inside";
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("../Info"), CFSTR("plist"), nullptr), nullptr);
    CFRelease(bundle);
}

TEST_F(CFBundleTest, ExecutableLoadsAndFunctionsResolveByName) {
    fs::path b = make_bundle("Code.component", "com.example.cf.code");
    CFURLRef url = url_of(b);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr);
    EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
    auto answer = reinterpret_cast<int (*)()>(CFBundleGetFunctionPointerForName(bundle, CFSTR("cf_bundle_fixture_answer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle));
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("no_such_symbol")), nullptr);
    CFRelease(bundle);
}

TEST_F(CFBundleTest, BrokenBundlesAreRefusedWithoutCrashing) {
    CFURLRef missing = url_of(root_ / "Missing.component");
    EXPECT_EQ(CFBundleCreate(nullptr, missing), nullptr);
    CFRelease(missing);

    write(root_ / "Garbage.component/Contents/Info.plist", "<plist><dict><key>x</key>");
    CFURLRef garbage = url_of(root_ / "Garbage.component");
    EXPECT_EQ(CFBundleCreate(nullptr, garbage), nullptr);
    CFRelease(garbage);

    write(root_ / "Array.component/Contents/Info.plist", "<plist><array/></plist>");
    CFURLRef array = url_of(root_ / "Array.component");
    EXPECT_EQ(CFBundleCreate(nullptr, array), nullptr) << "Info.plist must be a dictionary";
    CFRelease(array);

    // Opens, but its executable is missing or names a path outside the bundle.
    for (const char *exe : {"Absent", "../../Escape"}) {
        fs::path b = root_ / (std::string("NoCode") + (exe[0] == '.' ? "Escape" : "") + ".component");
        write(b / "Contents/Info.plist", info_plist(std::string("com.example.cf.nocode.") + (exe[0] == '.' ? "e" : "a"), exe));
        CFURLRef url = url_of(b);
        CFBundleRef bundle = CFBundleCreate(nullptr, url);
        ASSERT_NE(bundle, nullptr);
        EXPECT_FALSE(CFBundleLoadExecutable(bundle));
        EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("cf_bundle_fixture_answer")), nullptr);
        EXPECT_EQ(CFBundleCopyExecutableURL(bundle), nullptr);
        CFRelease(bundle);
        CFRelease(url);
    }
}

}  // namespace
