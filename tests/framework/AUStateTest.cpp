// Saved state: the class-info dictionary, its checks on restore, malformed states, and preset
// files written and read as a host writes them.
#include "tests/framework/FrameworkTestHost.h"

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace fwtest;

namespace {

constexpr SInt32 kType = 0x61756678, kSubtype = 0x66777467, kManufacturer = 0x54657374;  // aufx fwtg Test

// Holds one CoreFoundation reference.
template <class T = CFTypeRef> struct Ref {
    T ref = nullptr;
    Ref() = default;
    explicit Ref(T r) : ref(r) {}
    ~Ref() {
        if (ref != nullptr) CFRelease(ref);
    }
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    operator T() const { return ref; }
};

CFDictionaryRef Save(AudioUnit unit) {
    CFPropertyListRef state = nullptr;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state), noErr);
    return static_cast<CFDictionaryRef>(state);
}

OSStatus Restore(AudioUnit unit, CFPropertyListRef state) {
    return Set(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
}

SInt64 NumberAt(CFDictionaryRef dict, CFStringRef key) {
    SInt64 value = -999;
    auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, key));
    EXPECT_NE(number, nullptr);
    if (number != nullptr) CFNumberGetValue(number, kCFNumberSInt64Type, &value);
    return value;
}

std::vector<UInt8> BlobOf(CFDictionaryRef dict) {
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
    if (data == nullptr) return {};
    const UInt8 *bytes = CFDataGetBytePtr(data);
    return std::vector<UInt8>(bytes, bytes + CFDataGetLength(data));
}

std::string Text(CFTypeRef string) {
    return string != nullptr ? CFStringGetCStringPtr(static_cast<CFStringRef>(string), kCFStringEncodingUTF8) : "";
}

void PutBigEndian(std::vector<UInt8> &blob, UInt32 value) {
    for (int shift = 24; shift >= 0; shift -= 8) blob.push_back(UInt8(value >> shift));
}

// A valid state for the test component, with the parameter blob given.
CFMutableDictionaryRef StateWith(const std::vector<UInt8> &blob) {
    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    auto put = [&](CFStringRef key, SInt32 value) {
        Ref<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
        CFDictionarySetValue(dict, key, number);
    };
    put(CFSTR("version"), 0);
    put(CFSTR("type"), kType);
    put(CFSTR("subtype"), kSubtype);
    put(CFSTR("manufacturer"), kManufacturer);
    Ref<CFDataRef> data(CFDataCreate(nullptr, blob.data(), CFIndex(blob.size())));
    CFDictionarySetValue(dict, CFSTR("data"), data);
    CFDictionarySetValue(dict, CFSTR("name"), CFSTR("Restored"));
    return dict;
}

// One global-scope record setting the gain.
std::vector<UInt8> GainBlob(Float32 gain, AudioUnitElement element = 0, UInt32 scope = 0) {
    std::vector<UInt8> blob;
    PutBigEndian(blob, scope);
    PutBigEndian(blob, element);
    PutBigEndian(blob, 1);
    PutBigEndian(blob, TestGain::kGain);
    UInt32 bits;
    std::memcpy(&bits, &gain, 4);
    PutBigEndian(blob, bits);
    return blob;
}

Float32 Gain(AudioUnit unit) {
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(AudioUnitGetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, &value), noErr);
    return value;
}

std::string PresetName(AudioUnit unit) {
    AUPreset preset{};
    EXPECT_EQ(Get(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, preset), noErr);
    std::string name = Text(preset.presetName);
    if (preset.presetName != nullptr) CFRelease(preset.presetName);
    return name + "#" + std::to_string(preset.presetNumber);
}

// Sixteen indexed parameters, as the real effect declares them.
class SixteenParameters : public TestGain {
public:
    explicit SixteenParameters(AudioComponentInstance instance) : TestGain(instance) {
        Globals()->UseIndexedParameters(16);
    }
};

}  // namespace

TEST(SaveState, AFreshInstance) {
    Unit unit;
    Ref<CFDictionaryRef> state(Save(unit));
    ASSERT_NE(state.ref, nullptr);
    EXPECT_EQ(NumberAt(state, CFSTR("version")), 0);
    EXPECT_EQ(NumberAt(state, CFSTR("type")), kType);
    EXPECT_EQ(NumberAt(state, CFSTR("subtype")), kSubtype);
    EXPECT_EQ(NumberAt(state, CFSTR("manufacturer")), kManufacturer);
    EXPECT_EQ(Text(CFDictionaryGetValue(state, CFSTR("name"))), "Untitled");
    EXPECT_FALSE(CFDictionaryContainsKey(state, CFSTR("element-name")));
    EXPECT_FALSE(CFDictionaryContainsKey(state, CFSTR("render-quality")));
    EXPECT_FALSE(CFDictionaryContainsKey(state, CFSTR("cpu-load")));
    const std::vector<UInt8> expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2,              // scope 0, element 0, 2
                                         0, 0, 0, 0, 0x3F, 0x80, 0, 0,                    // id 0 = 1.0
                                         0, 0, 0, 1, 0x3E, 0x80, 0, 0};                   // id 1 = 0.25
    EXPECT_EQ(BlobOf(state), expected);

    // With sixteen parameters the blob is one record of 140 bytes; without a component the
    // identity is all zeros.
    SixteenParameters sixteen(nullptr);
    sixteen.PostConstructor();
    CFPropertyListRef saved = nullptr;
    ASSERT_EQ(sixteen.SaveState(&saved), noErr);
    Ref<CFDictionaryRef> sixteenState(static_cast<CFDictionaryRef>(saved));
    const std::vector<UInt8> blob = BlobOf(sixteenState);
    ASSERT_EQ(blob.size(), 140u);
    EXPECT_EQ(std::vector<UInt8>(blob.begin(), blob.begin() + 12),
              (std::vector<UInt8>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10}));
    EXPECT_EQ(NumberAt(sixteenState, CFSTR("subtype")), 0);
}

TEST(SaveState, ElementNamesAreSavedByScopeAndElement) {
    Unit unit;
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, CFSTR("Main")), noErr);
    Ref<CFDictionaryRef> state(Save(unit));
    auto names = static_cast<CFDictionaryRef>(CFDictionaryGetValue(state, CFSTR("element-name")));
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(CFDictionaryGetCount(names), 1);
    auto output = static_cast<CFDictionaryRef>(CFDictionaryGetValue(names, CFSTR("2")));
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(Text(CFDictionaryGetValue(output, CFSTR("0"))), "Main");

    // And they come back into a second instance.
    Unit second;
    ASSERT_EQ(Restore(second, state), noErr);
    CFStringRef name = nullptr;
    ASSERT_EQ(Get(second, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, name), noErr);
    EXPECT_EQ(Text(name), "Main");
    CFRelease(name);
}

TEST(RestoreState, AcceptsAnotherTypeAndResetsThePresetName) {
    Unit unit;
    Ref<CFMutableDictionaryRef> state(StateWith(GainBlob(0.5f)));
    SInt32 otherType = 0x61756d66;
    Ref<CFNumberRef> type(CFNumberCreate(nullptr, kCFNumberSInt32Type, &otherType));
    CFDictionarySetValue(state, CFSTR("type"), type);
    ASSERT_EQ(Restore(unit, state), noErr);
    EXPECT_EQ(Gain(unit), 0.5f);
    EXPECT_EQ(PresetName(unit), "Restored#-1");

    CFDictionaryRemoveValue(state, CFSTR("name"));
    ASSERT_EQ(Set(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-3, CFSTR("Mine")}), noErr);
    ASSERT_EQ(Restore(unit, state), noErr);
    EXPECT_EQ(PresetName(unit), "Untitled#-1");

    // An empty blob changes no parameter but still replaces the preset.
    Ref<CFMutableDictionaryRef> empty(StateWith({}));
    ASSERT_EQ(AudioUnitSetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, 2.0f, 0), noErr);
    ASSERT_EQ(Restore(unit, empty), noErr);
    EXPECT_EQ(Gain(unit), 2.0f);
    EXPECT_EQ(PresetName(unit), "Restored#-1");
}

TEST(RestoreState, BlobRecordsAreWalkedUntilTheyEnd) {
    Unit unit;
    // A record for a missing element (element 1 of the global scope) ends the walk without error:
    // the later record is not applied.
    std::vector<UInt8> blob = GainBlob(3.0f, /*element*/ 1);
    const std::vector<UInt8> later = GainBlob(0.75f);
    blob.insert(blob.end(), later.begin(), later.end());
    Ref<CFMutableDictionaryRef> missing(StateWith(blob));
    EXPECT_EQ(Restore(unit, missing), noErr);
    EXPECT_EQ(Gain(unit), 1.0f);

    // A record cut short ends it too.
    std::vector<UInt8> cut = GainBlob(0.75f);
    cut.resize(cut.size() - 1);
    Ref<CFMutableDictionaryRef> shortened(StateWith(cut));
    EXPECT_EQ(Restore(unit, shortened), noErr);
    EXPECT_EQ(Gain(unit), 1.0f);

    // A record claiming four billion pairs is not read past the end of the blob.
    std::vector<UInt8> huge = GainBlob(0.75f);
    huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
    Ref<CFMutableDictionaryRef> boastful(StateWith(huge));
    EXPECT_EQ(Restore(unit, boastful), noErr);
    EXPECT_EQ(Gain(unit), 1.0f);

    Ref<CFMutableDictionaryRef> badScope(StateWith(GainBlob(0.75f, 0, 5)));
    EXPECT_EQ(Restore(unit, badScope), kAudioUnitErr_InvalidScope);

    // An unknown parameter fails the restore; what came before it stays applied, the preset stays.
    std::vector<UInt8> unknown;
    PutBigEndian(unknown, 0);
    PutBigEndian(unknown, 0);
    PutBigEndian(unknown, 2);
    PutBigEndian(unknown, TestGain::kGain);
    PutBigEndian(unknown, 0x40000000);  // 2.0f
    PutBigEndian(unknown, 9);
    PutBigEndian(unknown, 0);
    Ref<CFMutableDictionaryRef> failing(StateWith(unknown));
    ASSERT_EQ(Set(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-2, CFSTR("Before")}), noErr);
    EXPECT_EQ(Restore(unit, failing), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(Gain(unit), 2.0f);
    EXPECT_EQ(PresetName(unit), "Before#-2");
}

TEST(RestoreState, RefusesForeignOrDamagedStatesWithoutChangingAnything) {
    Unit unit;
    auto refused = [&](CFPropertyListRef state, OSStatus expected) {
        EXPECT_EQ(Restore(unit, state), expected);
        EXPECT_EQ(Gain(unit), 1.0f);
        EXPECT_EQ(PresetName(unit), "Untitled#-1");
    };
    refused(CFSTR("not a dictionary"), kAudioUnitErr_InvalidPropertyValue);
    refused(nullptr, kAudioUnitErr_InvalidPropertyValue);

    auto variant = [&](CFStringRef key, CFTypeRef value) {
        CFMutableDictionaryRef state = StateWith(GainBlob(0.5f));
        if (value == nullptr)
            CFDictionaryRemoveValue(state, key);
        else
            CFDictionarySetValue(state, key, value);
        return state;
    };
    SInt32 one = 1, otherCode = 0x41424344;
    Ref<CFNumberRef> numberOne(CFNumberCreate(nullptr, kCFNumberSInt32Type, &one));
    Ref<CFNumberRef> other(CFNumberCreate(nullptr, kCFNumberSInt32Type, &otherCode));
    Ref<CFDataRef> someData(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>("xy"), 2));
    const std::pair<CFStringRef, CFTypeRef> damaged[] = {
        {CFSTR("part"), numberOne},         {CFSTR("version"), nullptr},      {CFSTR("version"), numberOne},
        {CFSTR("version"), CFSTR("0")},     {CFSTR("subtype"), other},        {CFSTR("subtype"), nullptr},
        {CFSTR("manufacturer"), other},     {CFSTR("manufacturer"), nullptr}, {CFSTR("data"), numberOne},
        {CFSTR("name"), someData},          {CFSTR("element-name"), CFSTR("2")},
    };
    for (const auto &[key, value] : damaged) {
        Ref<CFMutableDictionaryRef> state(variant(key, value));
        SCOPED_TRACE(Text(key));
        refused(state, kAudioUnitErr_InvalidPropertyValue);
    }

    Ref<CFMutableDictionaryRef> good(StateWith(GainBlob(0.5f)));
    CFPropertyListRef reference = good;
    EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &reference, 4),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Set(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Input, 0, reference), kAudioUnitErr_InvalidScope);
}

TEST(RestoreState, ElementNamesAreBoundedTypedAndGrowScopesOnlyWhileUninitialized) {
    Unit unit;
    int elementCountChanges = 0;
    auto listener = [](void *count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        ++*static_cast<int *>(count);
    };
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_ElementCount, listener, &elementCountChanges), noErr);

    auto namesState = [](std::initializer_list<std::pair<const char *, CFTypeRef>> globalNames) {
        CFMutableDictionaryRef state = StateWith({});
        Ref<CFMutableDictionaryRef> scopes(
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        Ref<CFMutableDictionaryRef> global(
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
        for (const auto &[index, name] : globalNames) {
            Ref<CFStringRef> key(CFStringCreateWithCString(nullptr, index, kCFStringEncodingUTF8));
            CFDictionarySetValue(global, key, name);
        }
        CFDictionarySetValue(scopes, CFSTR("0"), global);
        CFDictionarySetValue(scopes, CFSTR("1"), CFSTR("not a dictionary"));  // ignored
        CFDictionarySetValue(state, CFSTR("element-name"), scopes);
        return state;
    };
    int number = 3;
    Ref<CFNumberRef> notAName(CFNumberCreate(nullptr, kCFNumberIntType, &number));

    // Element four billion is beyond the bound and ignored; non-decimal keys and non-string
    // names are ignored; element 3 grows the global scope to four elements.
    Ref<CFMutableDictionaryRef> state(namesState({{"4000000000", CFSTR("far")}, {"x1", CFSTR("odd")},
                                                  {"2", notAName}, {"3", CFSTR("third")}, {"0", CFSTR("first")}}));
    ASSERT_EQ(Restore(unit, state), noErr);
    UInt32 count = 0;
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Global, 0, count), noErr);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(elementCountChanges, 1);
    CFStringRef name = nullptr;
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Global, 3, name), noErr);
    EXPECT_EQ(Text(name), "third");
    CFRelease(name);
    EXPECT_EQ(Get(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Global, 2, name), kAudioUnitErr_InvalidPropertyValue);

    Ref<CFMutableDictionaryRef> onlyFar(namesState({{"4000000000", CFSTR("far")}}));
    ASSERT_EQ(Restore(unit, onlyFar), noErr);
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Global, 0, count), noErr);
    EXPECT_EQ(count, 4u);

    // While initialized, names of missing elements are dropped rather than growing the scope.
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    Ref<CFMutableDictionaryRef> grow(namesState({{"6", CFSTR("sixth")}, {"1", CFSTR("second")}}));
    ASSERT_EQ(Restore(unit, grow), noErr);
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementCount, kAudioUnitScope_Global, 0, count), noErr);
    EXPECT_EQ(count, 4u);
    ASSERT_EQ(Get(unit, kAudioUnitProperty_ElementName, kAudioUnitScope_Global, 1, name), noErr);
    EXPECT_EQ(Text(name), "second");
    CFRelease(name);
}

TEST(PresetFiles, AStateWrittenToAFileRestoresBitForBit) {
    Unit source;
    // Values whose bits a decimal round trip could lose: a third, negative zero, a denormal.
    ASSERT_EQ(AudioUnitSetParameter(source, TestGain::kGain, kAudioUnitScope_Global, 0, 1.0f / 3.0f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(source, TestGain::kSpare, kAudioUnitScope_Global, 0, -0.0f, 0), noErr);
    ASSERT_EQ(Set(source, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, AUPreset{-1, CFSTR("Vowels")}), noErr);
    Ref<CFDictionaryRef> state(Save(source));

    CFErrorRef error = nullptr;
    Ref<CFDataRef> xml(CFPropertyListCreateData(nullptr, state, kCFPropertyListXMLFormat_v1_0, 0, &error));
    ASSERT_NE(xml.ref, nullptr);
    const std::string path = ::testing::TempDir() + "framework_state_test.aupreset";
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char *>(CFDataGetBytePtr(xml)), CFDataGetLength(xml));
    }
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    EXPECT_NE(bytes.find("<plist"), std::string::npos);

    Ref<CFDataRef> read(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), CFIndex(bytes.size())));
    Ref<> restored(CFPropertyListCreateWithData(nullptr, read, kCFPropertyListImmutable, nullptr, &error));
    ASSERT_NE(restored.ref, nullptr);
    Unit target;
    ASSERT_EQ(Restore(target, restored), noErr);
    for (AudioUnitParameterID id : {TestGain::kGain, TestGain::kSpare}) {
        AudioUnitParameterValue a = 0, b = 0;
        ASSERT_EQ(AudioUnitGetParameter(source, id, kAudioUnitScope_Global, 0, &a), noErr);
        ASSERT_EQ(AudioUnitGetParameter(target, id, kAudioUnitScope_Global, 0, &b), noErr);
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "parameter " << id;
    }
    EXPECT_EQ(PresetName(target), "Vowels#-1");
}

TEST(PresetFiles, DataThatWouldCrashTheParserIsRefusedBeforeRestore) {
    auto nested = [](size_t depth, size_t padding) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
        for (size_t i = 0; i < depth; ++i) xml += "<array>";
        xml += std::string(padding, ' ');
        for (size_t i = 0; i < depth; ++i) xml += "</array>";
        return xml + "</plist>";
    };
    Unit unit;
    for (const std::string &xml : {nested(10000, 0), nested(200000, 0)}) {
        Ref<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(xml.data()), CFIndex(xml.size())));
        CFErrorRef error = nullptr;
        Ref<> plist(CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error));
        EXPECT_EQ(plist.ref, nullptr) << xml.size() << " bytes";
        ASSERT_NE(error, nullptr);
        Ref<CFStringRef> description(CFErrorCopyDescription(error));
        EXPECT_FALSE(Text(description).empty());
        CFRelease(error);
        // What a host hands on after such a failure (nothing) is refused, and nothing changes.
        EXPECT_EQ(Restore(unit, plist.ref), kAudioUnitErr_InvalidPropertyValue);
        EXPECT_EQ(Gain(unit), 1.0f);
    }
}
