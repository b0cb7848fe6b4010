// The component registry: registering bundles, finding components, and refusing broken bundles
// with a status and a message that names the bundle.
#include "au_test_support.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace au_test;

namespace {

constexpr OSType kBadType = 0x62416464;  // 'bAdd': the identity every broken bundle below declares

std::string component_entry(const std::string &extra, const std::string &factory = "AuFixtureEntry") {
    std::string entry = "<dict><key>type</key><string>bAdd</string><key>subtype</key><string>case</string>"
                        "<key>manufacturer</key><string>Zntv</string><key>name</key><string>broken</string>";
    if (!factory.empty()) entry += "<key>factoryFunction</key><string>" + factory + "</string>";
    return entry + extra + "</dict>";
}

std::string info_plist(const std::string &executable, const std::string &components) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>org.zentrova.tests.broken</string>"
           "<key>CFBundleExecutable</key><string>" + executable + "</string>" + components + "</dict></plist>";
}

std::string components_key(const std::string &entries) {
    return "<key>AudioComponents</key><array>" + entries + "</array>";
}

struct BadBundle {
    const char *name;
    OSStatus status;
    const char *problem;  // a word the message must contain besides the path
    std::string info;     // Info.plist contents; empty: no Info.plist at all
    std::string object;   // contents of Contents/x86_64-linux/Broken.so; "fixture": the real fixture; empty: none
};

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the first search of this process over `search`; exits 0 when it found exactly the two
// fixture components.
[[noreturn]] void scan_in_this_process(const std::string &search, const std::string &home) {
    setenv("AUDIO_COMPONENT_PATH", search.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
    AudioComponentDescription fixture{au_fixture::kType, 0, 0, 0, 0};
    AudioComponent found = AudioComponentFindNext(nullptr, &fixture);
    AudioComponentDescription desc{};
    AudioComponentGetDescription(found, &desc);
    const bool ok = found && desc.componentSubType == au_fixture::kSubType && AudioComponentCount(&fixture) == 2;
    std::exit(ok ? 0 : 1);
}

}  // namespace

TEST(AuRegistry, RegistersTheFixtureBundleWithTheIdentityOfItsInfoPlist) {
    AudioComponent first = nullptr;
    ASSERT_EQ(AudioComponentRegisterBundle(fixture_bundle_path().c_str(), &first), noErr);
    ASSERT_NE(first, nullptr);

    AudioComponentDescription desc{};
    ASSERT_EQ(AudioComponentGetDescription(first, &desc), noErr);
    EXPECT_EQ(desc.componentType, au_fixture::kType);
    EXPECT_EQ(desc.componentSubType, au_fixture::kSubType);
    EXPECT_EQ(desc.componentManufacturer, au_fixture::kManufacturer);

    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(first, &version), noErr);
    EXPECT_EQ(version, au_fixture::kVersion);

    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(first, &name), noErr);
    char text[64] = {};
    ASSERT_TRUE(CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8));
    EXPECT_STREQ(text, "Zentrova tests: fixture");
    CFRelease(name);

    // The component's own bundle is known to CoreFoundation, where a component finds its resources.
    CFStringRef identifier = CFStringCreateWithCString(nullptr, au_fixture::kBundleIdentifier, kCFStringEncodingUTF8);
    EXPECT_NE(CFBundleGetBundleWithIdentifier(identifier), nullptr);
    CFRelease(identifier);
}

TEST(AuRegistry, RegisteringTheSameFolderAgainAnswersTheSameComponent) {
    AudioComponent first = nullptr, again = nullptr, spelled_differently = nullptr;
    ASSERT_EQ(AudioComponentRegisterBundle(fixture_bundle_path().c_str(), &first), noErr);
    ASSERT_EQ(AudioComponentRegisterBundle(fixture_bundle_path().c_str(), &again), noErr);
    const std::string other_spelling = std::string(PLATFORM_FIXTURE_DIR) + "/./AuFixture.component/";
    ASSERT_EQ(AudioComponentRegisterBundle(other_spelling.c_str(), &spelled_differently), noErr);
    EXPECT_EQ(first, again);
    EXPECT_EQ(first, spelled_differently);

    // ... and registers its components once.
    AudioComponentDescription fixture_type{au_fixture::kType, 0, 0, 0, 0};
    EXPECT_EQ(AudioComponentCount(&fixture_type), 2u);
}

TEST(AuRegistry, FindNextTreatsZeroFieldsAsWildcardsAndWalksInRegistrationOrder) {
    ASSERT_NE(fixture_component(), nullptr);
    AudioComponentDescription by_type{au_fixture::kType, 0, 0, 0, 0};
    AudioComponent a = AudioComponentFindNext(nullptr, &by_type);
    AudioComponent b = AudioComponentFindNext(a, &by_type);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(AudioComponentFindNext(b, &by_type), nullptr);
    AudioComponentDescription da{}, db{};
    AudioComponentGetDescription(a, &da);
    AudioComponentGetDescription(b, &db);
    EXPECT_EQ(da.componentSubType, au_fixture::kSubType);  // Info.plist order
    EXPECT_EQ(db.componentSubType, au_fixture::kFailingSubType);

    AudioComponentDescription exact{au_fixture::kType, au_fixture::kFailingSubType, au_fixture::kManufacturer, 0, 0};
    EXPECT_EQ(AudioComponentFindNext(nullptr, &exact), b);
    AudioComponentDescription by_manufacturer{0, 0, au_fixture::kManufacturer, 0, 0};
    EXPECT_GE(AudioComponentCount(&by_manufacturer), 2u);
    AudioComponentDescription nobody{au_fixture::kType, 0x6E6F6E65 /* 'none' */, 0, 0, 0};
    EXPECT_EQ(AudioComponentFindNext(nullptr, &nobody), nullptr);
    EXPECT_EQ(AudioComponentCount(&nobody), 0u);
}

TEST(AuRegistry, LookUpsRefuseNullArguments) {
    AudioComponentDescription desc{};
    UInt32 version = 0;
    CFStringRef name = nullptr;
    EXPECT_EQ(AudioComponentGetDescription(nullptr, &desc), paramErr);
    EXPECT_EQ(AudioComponentGetVersion(nullptr, &version), paramErr);
    EXPECT_EQ(AudioComponentCopyName(nullptr, &name), paramErr);
    EXPECT_EQ(AudioComponentGetDescription(fixture_component(), nullptr), paramErr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioComponentRegisterBundle(nullptr, nullptr), paramErr);
    testing::internal::GetCapturedStderr();
}

TEST(AuRegistry, RefusesBrokenBundlesWithAStatusAndAMessageNamingThePath) {
    const std::string good_entry = components_key(component_entry(""));
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>AudioComponents</key>";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    const std::vector<BadBundle> cases = {
        {"NoInfoPlist", kAudioUnitErr_InvalidFile, "Info.plist", "", "fixture"},
        {"Garbage", kAudioUnitErr_InvalidFile, "malformed", "this is <not> a property list\x01\x02", "fixture"},
        {"RootIsArray", kAudioUnitErr_InvalidFile, "root", "<?xml version=\"1.0\"?><plist><array/></plist>", "fixture"},
        {"DeeplyNested", kAudioUnitErr_InvalidFile, "malformed", deep, "fixture"},
        {"Huge", kAudioUnitErr_InvalidFile, "Info.plist", info_plist("Broken", good_entry) + std::string(1 << 21, ' '),
         "fixture"},
        {"NoComponents", kAudioUnitErr_InvalidFile, "AudioComponents", info_plist("Broken", ""), "fixture"},
        {"EmptyComponents", kAudioUnitErr_InvalidFile, "AudioComponents", info_plist("Broken", components_key("")),
         "fixture"},
        {"NoEntryName", kAudioUnitErr_InvalidFile, "factoryFunction",
         info_plist("Broken", components_key(component_entry("", ""))), "fixture"},
        {"FiveCharType", kAudioUnitErr_InvalidFile, "type",
         info_plist("Broken", components_key("<dict><key>type</key><string>aufxx</string></dict>")), "fixture"},
        {"NegativeVersion", kAudioUnitErr_InvalidFile, "version",
         info_plist("Broken", components_key(component_entry("<key>version</key><integer>-1</integer>"))), "fixture"},
        {"TextVersion", kAudioUnitErr_InvalidFile, "version",
         info_plist("Broken", components_key(component_entry("<key>version</key><string>1</string>"))), "fixture"},
        {"NoExecutableKey", kAudioUnitErr_InvalidFile, "CFBundleExecutable",
         "<?xml version=\"1.0\"?><plist><dict>" + good_entry + "</dict></plist>", "fixture"},
        {"ExecutableEscapes", kAudioUnitErr_InvalidFile, "CFBundleExecutable", info_plist("../../Broken", good_entry),
         "fixture"},
        {"MissingObject", kAudioUnitErr_InvalidFile, "shared object", info_plist("Broken", good_entry), ""},
        {"ObjectNotElf", kAudioUnitErr_InvalidFile, "cannot load", info_plist("Broken", good_entry),
         "not an ELF file\n"},
        {"MissingSymbol", kAudioUnitErr_InvalidFile, "NoSuchEntry",
         info_plist("Broken", components_key(component_entry("", "NoSuchEntry"))), "fixture"},
        // One good entry does not carry a broken one in with it.
        {"SecondEntryBroken", kAudioUnitErr_InvalidFile, "NoSuchEntry",
         info_plist("Broken", components_key(component_entry("") + component_entry("", "NoSuchEntry"))), "fixture"},
    };
    ScratchFolder scratch;
    const std::string fixture_object = read_all(fixture_object_path());
    ASSERT_FALSE(fixture_object.empty());
    for (const BadBundle &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bundle = scratch.path() + "/" + c.name + ".component";
        std::filesystem::create_directories(bundle + "/Contents/x86_64-linux");
        if (!c.info.empty()) write_file(bundle + "/Contents/Info.plist", c.info);
        if (!c.object.empty())
            write_file(bundle + "/Contents/x86_64-linux/Broken.so", c.object == "fixture" ? fixture_object : c.object);

        AudioComponent component = reinterpret_cast<AudioComponent>(&scratch);  // must be overwritten
        testing::internal::CaptureStderr();
        const OSStatus status = AudioComponentRegisterBundle(bundle.c_str(), &component);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(component, nullptr);
        EXPECT_NE(message.find(bundle), std::string::npos) << message;
        EXPECT_NE(message.find(c.problem), std::string::npos) << message;
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    }
    AudioComponentDescription bad{kBadType, 0, 0, 0, 0};
    EXPECT_EQ(AudioComponentCount(&bad), 0u);

    // A bundle that is not there at all is "file not found".
    const std::string missing = scratch.path() + "/Missing.component";
    testing::internal::CaptureStderr();
    EXPECT_EQ(AudioComponentRegisterBundle(missing.c_str(), nullptr), fnfErr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(missing), std::string::npos);
}

// The search path is read once per process, so each case runs in a fresh child process.
TEST(AuRegistryScan, FindsBundlesOnTheSearchPathAndReportsBrokenOnes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ScratchFolder scratch;
    const std::string good = scratch.path() + "/Good.component/Contents";
    write_file(good + "/Info.plist", read_all(fixture_bundle_path() + "/Contents/Info.plist"));
    write_file(good + "/x86_64-linux/AuFixture.so", read_all(fixture_object_path()));
    std::filesystem::create_directories(scratch.path() + "/Broken.component/Contents");
    write_file(scratch.path() + "/readme.txt", "not a bundle");
    const std::string search = scratch.path() + "/missing-folder::" + scratch.path();

    EXPECT_EXIT(scan_in_this_process(search, scratch.path()),
                testing::ExitedWithCode(0), "Broken\\.component refused");
}
