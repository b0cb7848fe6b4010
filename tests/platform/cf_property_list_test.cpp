// Property lists: XML and binary round trips of a saved-state-like dictionary, and refusal of
// garbage, truncated, over-deep, self-multiplying and oversized input.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string text_of(CFStringRef s) {
    const char *p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
    return p != nullptr ? p : "<null>";
}

CFDataRef data_of(const std::string &bytes) {
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
}

void put(CFMutableDictionaryRef d, const char *key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(d, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFNumberRef sint32(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }

CFMutableDictionaryRef new_dict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

// A dictionary shaped like a saved effect state.
CFDictionaryRef class_info() {
    CFMutableDictionaryRef d = new_dict();
    put(d, "version", sint32(0));
    put(d, "type", sint32(0x61756678));      // 'aufx'
    put(d, "manufacturer", sint32(-10868));  // a negative 32-bit value must survive unsigned storage
    std::vector<UInt8> blob(140);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<UInt8>(i * 37 + 11);
    put(d, "data", CFDataCreate(nullptr, blob.data(), static_cast<CFIndex>(blob.size())));
    put(d, "name", CFStringCreateWithCString(nullptr, "Untitled \xC3\xA9", kCFStringEncodingUTF8));
    Float32 quality = 0.1f;
    put(d, "render-quality", CFNumberCreate(nullptr, kCFNumberFloat32Type, &quality));
    Float64 load = 1.0 / 3.0;
    put(d, "cpu-load", CFNumberCreate(nullptr, kCFNumberFloat64Type, &load));
    CFMutableDictionaryRef names = new_dict();
    put(names, "0", CFStringCreateWithCString(nullptr, "Input", kCFStringEncodingUTF8));
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(list, kCFBooleanTrue);
    CFArrayAppendValue(list, kCFBooleanFalse);
    put(names, "flags", list);
    SInt64 wide = -(SInt64(1) << 40);
    put(names, "wide", CFNumberCreate(nullptr, kCFNumberSInt64Type, &wide));
    put(d, "element-name", names);
    return d;
}

struct Refusal {
    bool refused;
    std::string reason;
};

Refusal read(const std::string &bytes) {
    CFDataRef data = data_of(bytes);
    CFErrorRef error = nullptr;
    CFPropertyListRef result = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, &error);
    CFRelease(data);
    Refusal r{result == nullptr, ""};
    if (error != nullptr) {
        CFStringRef text = CFErrorCopyDescription(error);
        r.reason = text_of(text);
        EXPECT_EQ(CFErrorGetCode(error), kCFPropertyListReadCorruptError);
        CFRelease(text);
        CFRelease(error);
    }
    EXPECT_EQ(result == nullptr, error != nullptr) << "an error exactly when there is no result";
    CFRelease(result);
    return r;
}

// Builds a binary property list from encoded objects (marker byte and payload, references as
// two-byte big-endian indices), with the top object first.
std::string bplist(const std::vector<std::string> &objects) {
    std::string out = "bplist00";
    std::vector<uint32_t> offsets;
    for (const auto &o : objects) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        out += o;
    }
    uint64_t table = out.size();
    for (uint32_t off : offsets)
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>(off >> s));
    std::string trailer(32, '\0');
    trailer[6] = 4;  // offset size
    trailer[7] = 2;  // reference size
    auto be64 = [&](size_t at, uint64_t v) {
        for (int k = 0; k < 8; ++k) trailer[at + k] = static_cast<char>(v >> (56 - 8 * k));
    };
    be64(8, objects.size());
    be64(16, 0);
    be64(24, table);
    return out + trailer;
}

std::string ref(uint16_t i) { return {static_cast<char>(i >> 8), static_cast<char>(i & 0xFF)}; }

std::string array_of(const std::vector<uint16_t> &refs) {
    std::string o;
    if (refs.size() < 15) {
        o.push_back(static_cast<char>(0xA0 | refs.size()));
    } else {
        o += "\xAF\x11";
        o += ref(static_cast<uint16_t>(refs.size()));
    }
    for (uint16_t r : refs) o += ref(r);
    return o;
}

TEST(CFPropertyList, ClassInfoRoundTripsInXMLAndBinary) {
    CFDictionaryRef original = class_info();
    for (CFPropertyListFormat format : {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        SCOPED_TRACE(format);
        CFErrorRef error = nullptr;
        CFDataRef bytes = CFPropertyListCreateData(nullptr, original, format, 0, &error);
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(error, nullptr);
        CFPropertyListFormat seen = 0;
        CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, bytes, kCFPropertyListImmutable, &seen, &error);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(seen, format);
        EXPECT_TRUE(CFEqual(back, original));

        auto dict = static_cast<CFDictionaryRef>(back);
        auto manufacturer = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("manufacturer")));
        EXPECT_EQ(CFNumberGetType(manufacturer), kCFNumberSInt64Type) << "integers read as SInt64";
        SInt32 m = 0;
        EXPECT_TRUE(CFNumberGetValue(manufacturer, kCFNumberSInt32Type, &m));
        EXPECT_EQ(m, -10868);
        Float32 q = 0;
        auto quality = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("render-quality")));
        EXPECT_TRUE(CFNumberGetValue(quality, kCFNumberFloat32Type, &q));
        EXPECT_EQ(q, 0.1f);
        Float64 load = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("cpu-load"))), kCFNumberFloat64Type, &load);
        EXPECT_EQ(load, 1.0 / 3.0) << "doubles keep every bit";
        CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(dict), CFSTR("name"), CFSTR("changed"));
        EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFSTR("name")), CFDictionaryGetValue(original, CFSTR("name"))))
            << "immutable result";
        CFRelease(back);
        CFRelease(bytes);
    }
    CFRelease(original);
}

TEST(CFPropertyList, XMLKeepsKeyOrderAndMutableOptionGivesMutableContainers) {
    CFDictionaryRef original = class_info();
    CFDataRef xml = CFPropertyListCreateData(nullptr, original, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    std::string text(reinterpret_cast<const char *>(CFDataGetBytePtr(xml)), static_cast<size_t>(CFDataGetLength(xml)));
    EXPECT_LT(text.find("<key>version</key>"), text.find("<key>type</key>"));
    EXPECT_LT(text.find("<key>type</key>"), text.find("<key>data</key>"));
    EXPECT_NE(text.find("<integer>-10868</integer>"), std::string::npos) << text;

    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListMutableContainers, nullptr, nullptr);
    auto names = static_cast<CFMutableDictionaryRef>(
        const_cast<void *>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(back), CFSTR("element-name"))));
    CFDictionarySetValue(names, CFSTR("1"), CFSTR("Output"));
    EXPECT_EQ(CFDictionaryGetCount(names), 4);
    CFRelease(back);
    CFRelease(xml);
    CFRelease(original);
}

TEST(CFPropertyList, NonPropertyListObjectsAreRefusedOnWrite) {
    CFMutableDictionaryRef d = new_dict();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>("/tmp"), 4, true);
    put(d, "url", url);
    CFErrorRef error = nullptr;
    EXPECT_EQ(CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, &error), nullptr);
    ASSERT_NE(error, nullptr);
    CFRelease(error);
    EXPECT_FALSE(CFPropertyListIsValid(d, kCFPropertyListBinaryFormat_v1_0));
    CFRelease(d);

    CFMutableDictionaryRef numeric_key = new_dict();
    CFNumberRef k = sint32(1);
    CFDictionarySetValue(numeric_key, k, k);
    CFRelease(k);
    EXPECT_EQ(CFPropertyListCreateData(nullptr, numeric_key, kCFPropertyListBinaryFormat_v1_0, 0, nullptr), nullptr);
    CFRelease(numeric_key);

    // An array that contains itself: refused by the depth bound instead of recursing forever.
    CFMutableArrayRef loop = CFArrayCreateMutable(nullptr, 0, nullptr);
    CFArrayAppendValue(loop, loop);
    EXPECT_EQ(CFPropertyListCreateData(nullptr, loop, kCFPropertyListXMLFormat_v1_0, 0, nullptr), nullptr);
    CFRelease(loop);
    EXPECT_EQ(CFPropertyListCreateData(nullptr, CFSTR("x"), kCFPropertyListOpenStepFormat, 0, nullptr), nullptr);
}

TEST(CFPropertyList, NestingUpToTheBoundIsRead) {
    // 64 arrays inside each other is legal and must round trip in both formats; 65 is refused.
    for (int levels : {64, 65}) {
        CFMutableArrayRef inner = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (int i = 1; i < levels; ++i) {
            CFMutableArrayRef outer = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
            CFArrayAppendValue(outer, inner);
            CFRelease(inner);
            inner = outer;
        }
        CFDataRef xml = CFPropertyListCreateData(nullptr, inner, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
        CFDataRef bin = CFPropertyListCreateData(nullptr, inner, kCFPropertyListBinaryFormat_v1_0, 0, nullptr);
        EXPECT_EQ(xml != nullptr, levels == 64);
        EXPECT_EQ(bin != nullptr, levels == 64);
        for (CFDataRef data : {xml, bin}) {
            if (data == nullptr) continue;
            CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr);
            EXPECT_TRUE(CFEqual(back, inner));
            CFRelease(back);
            CFRelease(data);
        }
        CFRelease(inner);
    }
}

TEST(CFPropertyList, DeepAndHugeInputIsRefusedBeforeParsing) {
    std::string deep_xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 10000; ++i) deep_xml += "<array>";
    for (int i = 0; i < 10000; ++i) deep_xml += "</array>";
    deep_xml += "</plist>";
    Refusal r = read(deep_xml);
    EXPECT_TRUE(r.refused);
    EXPECT_NE(r.reason.find("deeper than 64"), std::string::npos) << r.reason;

    // Closing tags hidden in comments must not hide the real nesting.
    std::string hidden = "<plist>";
    for (int i = 0; i < 100; ++i) hidden += "<dict><!-- </dict> --><key>k</key>";
    hidden += "<true/>";
    for (int i = 0; i < 100; ++i) hidden += "</dict>";
    EXPECT_TRUE(read(hidden + "</plist>").refused);

    std::string huge = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    while (huge.size() < 3u * 1024 * 1024) huge += "<array><array><array></array></array></array>";
    huge += "</plist>";
    r = read(huge);
    EXPECT_TRUE(r.refused);
    EXPECT_NE(r.reason.find("at most 1048576"), std::string::npos) << r.reason;

    std::vector<std::string> chain;
    for (uint16_t i = 0; i < 10000; ++i) chain.push_back(i + 1 < 10000 ? array_of({static_cast<uint16_t>(i + 1)}) : array_of({}));
    r = read(bplist(chain));
    EXPECT_TRUE(r.refused);
    EXPECT_NE(r.reason.find("deeper than 64"), std::string::npos) << r.reason;
}

TEST(CFPropertyList, SelfReferencingAndMultiplyingBinaryIsRefused) {
    EXPECT_NE(read(bplist({array_of({0})})).reason.find("contains itself"), std::string::npos);
    EXPECT_TRUE(read(bplist({array_of({1}), array_of({0})})).refused);

    // 40 levels, each an array referring twice to the next: 2^40 nodes once copied per reference.
    std::vector<std::string> laughs;
    for (uint16_t i = 0; i < 40; ++i) laughs.push_back(array_of({static_cast<uint16_t>(i + 1), static_cast<uint16_t>(i + 1)}));
    laughs.push_back("\x09");  // true
    Refusal r = read(bplist(laughs));
    EXPECT_TRUE(r.refused);
    EXPECT_NE(r.reason.find("expand"), std::string::npos) << r.reason;

    // The same sharing within bounds is a valid file.
    std::vector<std::string> shared = {array_of({1, 1, 1}), "\x51x"};
    CFDataRef data = data_of(bplist(shared));
    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(back)), 3);
    CFRelease(back);
    CFRelease(data);
}

TEST(CFPropertyList, GarbageAndTruncatedInputIsRefusedWithAnError) {
    EXPECT_TRUE(read("").refused);
    EXPECT_TRUE(read("hello, world").refused);
    EXPECT_TRUE(read("<plist><dict><key>a</key></plist>").refused);
    EXPECT_TRUE(read("<plist><array><real>1</real>").refused);
    EXPECT_TRUE(read("bplist01xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx").refused);
    // Strings that are not UTF-8 are refused rather than stored as invalid text.
    EXPECT_TRUE(read(bplist({"\x52\xC3\x28"})).refused);
    // A data object claiming more bytes than the file holds.
    EXPECT_TRUE(read(bplist({"\x4F\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF"})).refused);
    // A reference past the object table.
    EXPECT_TRUE(read(bplist({array_of({7})})).refused);
    // Keys with a NUL inside make libplist abort; strings with one could not be written back.
    EXPECT_TRUE(read(bplist({std::string("\xD1\x01\x02", 3), std::string("\x53k\0y", 4), "\x09"})).refused);
    EXPECT_TRUE(read(bplist({std::string("\x61\x00\x00", 3)})).refused);
    EXPECT_TRUE(read("<plist><dict><key>a&#0;b</key><true/></dict></plist>").refused);
    EXPECT_TRUE(read("<plist><dict><key>a&#x00;</key><true/></dict></plist>").refused);
    static const char raw_nul[] = "<plist><string>a\0b</string></plist>";
    EXPECT_TRUE(read(std::string(raw_nul, sizeof raw_nul - 1)).refused);

    // Every prefix of valid files, in both formats, is answered without a crash.
    CFDictionaryRef original = class_info();
    for (CFPropertyListFormat format : {kCFPropertyListXMLFormat_v1_0, kCFPropertyListBinaryFormat_v1_0}) {
        CFDataRef bytes = CFPropertyListCreateData(nullptr, original, format, 0, nullptr);
        std::string whole(reinterpret_cast<const char *>(CFDataGetBytePtr(bytes)), static_cast<size_t>(CFDataGetLength(bytes)));
        // libplist accepts XML whose closing </plist> is missing once the top value is complete.
        size_t complete = format == kCFPropertyListXMLFormat_v1_0 ? whole.rfind("</dict>") : whole.size();
        for (size_t cut = 0; cut < complete; cut += 7) EXPECT_TRUE(read(whole.substr(0, cut)).refused) << cut;
        // Random single-byte corruptions: any answer is fine as long as it is an answer.
        std::mt19937 rng(1234);
        for (int i = 0; i < 300; ++i) {
            std::string bad = whole;
            bad[rng() % bad.size()] = static_cast<char>(rng());
            CFDataRef d = data_of(bad);
            CFErrorRef error = nullptr;
            CFPropertyListRef p = CFPropertyListCreateWithData(nullptr, d, 0, nullptr, &error);
            EXPECT_TRUE((p == nullptr) != (error == nullptr));
            CFRelease(p);
            CFRelease(error);
            CFRelease(d);
        }
        CFRelease(bytes);
    }
    CFRelease(original);
}

}  // namespace
