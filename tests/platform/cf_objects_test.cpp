// CoreFoundation value objects: lifetimes, strings from different sources, number conversions,
// containers with and without callbacks.
#include <CoreFoundation/CoreFoundation.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

std::string text_of(CFStringRef s) {
    const char *p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8);
    return p != nullptr ? p : "<null>";
}

CFNumberRef make_sint32(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }

TEST(CFObjects, RetainReleaseCountsAndConstantsAreImmortal) {
    CFStringRef s = CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s);  // freed here: ASan reports any later use

    CFStringRef k = CFSTR("constant");
    for (int i = 0; i < 5; ++i) CFRelease(k);  // over-releasing a constant must not free it
    EXPECT_EQ(text_of(k), "constant");
    EXPECT_EQ(CFSTR("constant"), k) << "one object per distinct literal";
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));

    CFRelease(nullptr);  // tolerated
    EXPECT_EQ(CFRetain(nullptr), nullptr);
}

TEST(CFObjects, ContainersReleaseWhatTheyRetained) {
    CFNumberRef n = make_sint32(7);
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, n);
    CFArrayAppendValue(array, n);
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, CFSTR("n"), n);
    CFDictionarySetValue(dict, CFSTR("n"), n);  // replacing a value by itself must not free it
    EXPECT_EQ(CFGetRetainCount(n), 4);
    CFArrayRemoveValueAtIndex(array, 0);
    EXPECT_EQ(CFGetRetainCount(n), 3);
    CFRelease(array);
    EXPECT_EQ(CFGetRetainCount(n), 2);
    CFRelease(dict);
    EXPECT_EQ(CFGetRetainCount(n), 1);
    CFRelease(n);
}

TEST(CFObjects, ArrayWithoutCallbacksStoresForeignPointersUntouched) {
    // The parameter value-string arrays are built this way; the values need not even be CF objects.
    static const char *names[] = {"a", "b"};
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, nullptr);
    CFArrayAppendValue(array, names[0]);
    CFArrayAppendValue(array, names[1]);
    CFStringRef s = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
    CFArrayAppendValue(array, s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), names[1]);
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 3), nullptr) << "out of range answers NULL";
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 3), s), 2);
    CFRelease(array);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s);
}

TEST(CFStrings, CreatedAndConstantStringsAreEqualKeys) {
    CFStringRef created = CFStringCreateWithCString(nullptr, "element-name", kCFStringEncodingASCII);
    CFStringRef bytes = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>("element-names"), 12,
                                                kCFStringEncodingUTF8, false);
    EXPECT_TRUE(CFEqual(created, CFSTR("element-name")));
    EXPECT_TRUE(CFEqual(bytes, created));
    EXPECT_EQ(CFHash(created), CFHash(CFSTR("element-name")));
    EXPECT_FALSE(CFEqual(created, CFSTR("element-nam")));

    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, CFSTR("element-name"), kCFBooleanTrue);
    EXPECT_EQ(CFDictionaryGetValue(dict, created), kCFBooleanTrue);
    CFDictionarySetValue(dict, bytes, kCFBooleanFalse);  // same key from a third source: replaces
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("element-name")), kCFBooleanFalse);
    CFRelease(dict);
    CFRelease(created);
    CFRelease(bytes);
}

TEST(CFStrings, EncodingsLengthsAndBufferLimits) {
    CFStringRef latin = CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingISOLatin1);
    EXPECT_EQ(text_of(latin), "caf\xC3\xA9");
    EXPECT_EQ(CFStringGetLength(latin), 4);
    char buffer[8];
    EXPECT_TRUE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingISOLatin1));
    EXPECT_STREQ(buffer, "caf\xE9");
    EXPECT_FALSE(CFStringGetCString(latin, buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_FALSE(CFStringGetCString(latin, buffer, 5, kCFStringEncodingUTF8)) << "5 bytes + NUL do not fit in 5";
    EXPECT_TRUE(CFStringGetCString(latin, buffer, 6, kCFStringEncodingUTF8));
    CFRelease(latin);

    CFStringRef emoji = CFStringCreateWithCString(nullptr, "a\xF0\x9F\x8E\xB5", kCFStringEncodingUTF8);
    EXPECT_EQ(CFStringGetLength(emoji), 3) << "a surrogate pair counts two UTF-16 units";
    CFRelease(emoji);

    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8), nullptr) << "overlong form";
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr) << "surrogate";
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xE2\x82", kCFStringEncodingUTF8), nullptr) << "truncated";
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xE9", kCFStringEncodingASCII), nullptr);
}

TEST(CFStrings, CompareAndNumericValues) {
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("ABC"), kCFCompareCaseInsensitive), kCFCompareEqualTo);
    EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("ab"), CFSTR("abc"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringCompare(CFSTR("file10"), CFSTR("file9"), kCFCompareNumerically), kCFCompareGreaterThan);
    EXPECT_EQ(CFStringCompare(CFSTR("file10"), CFSTR("file9"), 0), kCFCompareLessThan);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("  -42dB")), -42);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("99999999999")), INT32_MAX);
    EXPECT_EQ(CFStringGetIntValue(CFSTR("x")), 0);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR(" -2.5e3")), -2500.0);
    EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(CFSTR("+0.25")), 0.25);
}

TEST(CFNumbers, ConversionsReportLossAndStoreNearestValue) {
    CFNumberRef big = make_sint32(300);
    SInt8 small = 0;
    EXPECT_FALSE(CFNumberGetValue(big, kCFNumberSInt8Type, &small));
    EXPECT_EQ(small, 127) << "saturated";
    SInt64 wide = 0;
    EXPECT_TRUE(CFNumberGetValue(big, kCFNumberLongLongType, &wide));
    EXPECT_EQ(wide, 300);
    EXPECT_EQ(CFNumberGetType(big), kCFNumberSInt32Type);
    CFRelease(big);

    double d = 3.75;
    CFNumberRef real = CFNumberCreate(nullptr, kCFNumberDoubleType, &d);
    EXPECT_EQ(CFNumberGetType(real), kCFNumberFloat64Type);
    EXPECT_TRUE(CFNumberIsFloatType(real));
    SInt32 i = 0;
    EXPECT_FALSE(CFNumberGetValue(real, kCFNumberSInt32Type, &i));
    EXPECT_EQ(i, 3) << "truncated toward zero";
    Float32 f = 0;
    EXPECT_TRUE(CFNumberGetValue(real, kCFNumberFloat32Type, &f));
    EXPECT_EQ(f, 3.75f);
    CFRelease(real);

    double huge = 1e300;
    CFNumberRef h = CFNumberCreate(nullptr, kCFNumberFloat64Type, &huge);
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberFloat32Type, &f)) << "overflow to infinity is lossy";
    SInt64 s64 = 0;
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberSInt64Type, &s64));
    EXPECT_EQ(s64, INT64_MAX);
    CFRelease(h);

    double nan = std::nan("");
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &nan);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &i));
    CFRelease(n);

    SInt64 not_float_exact = (SInt64(1) << 53) + 1;
    CFNumberRef e = CFNumberCreate(nullptr, kCFNumberSInt64Type, &not_float_exact);
    EXPECT_FALSE(CFNumberGetValue(e, kCFNumberFloat64Type, &d));
    CFRelease(e);

    EXPECT_EQ(CFNumberCreate(nullptr, 0, &d), nullptr);
    EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberMaxType + 1, &d), nullptr);
}

TEST(CFNumbers, EqualityAcrossTypes) {
    CFNumberRef one = make_sint32(1);
    double d1 = 1.0, d15 = 1.5;
    CFNumberRef one_real = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d1);
    CFNumberRef other = CFNumberCreate(nullptr, kCFNumberFloat64Type, &d15);
    EXPECT_TRUE(CFEqual(one, one_real));
    EXPECT_EQ(CFHash(one), CFHash(one_real));
    EXPECT_FALSE(CFEqual(one, other));
    EXPECT_FALSE(CFEqual(one, kCFBooleanTrue)) << "a boolean is not a number";
    CFRelease(one);
    CFRelease(one_real);
    CFRelease(other);
}

TEST(CFData, MutableDataGrowsWithZerosAndImmutableRefusesChange) {
    const UInt8 bytes[] = {1, 2, 3};
    CFMutableDataRef m = CFDataCreateMutable(nullptr, 0);
    CFDataAppendBytes(m, bytes, 3);
    CFDataSetLength(m, 5);
    ASSERT_EQ(CFDataGetLength(m), 5);
    EXPECT_EQ(CFDataGetBytePtr(m)[2], 3);
    EXPECT_EQ(CFDataGetBytePtr(m)[4], 0);
    UInt8 out[2] = {9, 9};
    CFDataGetBytes(m, CFRangeMake(4, 2), out);  // past the end: nothing copied
    EXPECT_EQ(out[0], 9);
    CFDataGetBytes(m, CFRangeMake(1, 2), out);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 3);

    CFDataRef fixed = CFDataCreate(nullptr, bytes, 3);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(fixed), bytes, 3);
    EXPECT_EQ(CFDataGetLength(fixed), 3);
    EXPECT_EQ(CFDataGetMutableBytePtr(const_cast<CFMutableDataRef>(fixed)), nullptr);
    CFDataRef empty = CFDataCreate(nullptr, nullptr, 0);
    EXPECT_NE(CFDataGetBytePtr(empty), nullptr);
    EXPECT_EQ(CFDataCreate(nullptr, bytes, -1), nullptr);
    CFRelease(m);
    CFRelease(fixed);
    CFRelease(empty);
}

TEST(CFDictionaries, KeepInsertionOrderThroughRemovalAndCopy) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    const char *names[] = {"version", "type", "subtype", "manufacturer", "data", "name"};
    for (const char *name : names) {
        CFStringRef key = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
        CFDictionarySetValue(d, key, key);
        CFRelease(key);
    }
    CFDictionaryRemoveValue(d, CFSTR("subtype"));
    CFDictionaryAddValue(d, CFSTR("type"), kCFBooleanTrue);  // Add keeps an existing value
    CFDictionaryReplaceValue(d, CFSTR("absent"), kCFBooleanTrue);  // Replace adds nothing
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, d);
    CFDictionarySetValue(copy, CFSTR("name"), kCFBooleanFalse);
    ASSERT_EQ(CFDictionaryGetCount(copy), 5);
    const void *keys[5];
    CFDictionaryGetKeysAndValues(copy, keys, nullptr);
    const char *expected[] = {"version", "type", "manufacturer", "data", "name"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(text_of(static_cast<CFStringRef>(keys[i])), expected[i]);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, CFSTR("name")), CFSTR("name"))) << "the copy is independent";
    EXPECT_FALSE(CFEqual(d, copy));
    CFDictionarySetValue(copy, CFSTR("name"), CFSTR("name"));
    EXPECT_TRUE(CFEqual(d, copy));
    CFRelease(copy);
    CFRelease(d);
}

TEST(CFDictionaries, ManyKeysStayFindable) {
    // Enough keys to force collisions in any hash table and many rehashes.
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    for (SInt32 i = 0; i < 5000; ++i) {
        CFNumberRef k = make_sint32(i);
        CFDictionarySetValue(d, k, k);
        CFRelease(k);
    }
    for (SInt32 i = 0; i < 5000; i += 2) {
        CFNumberRef k = make_sint32(i);
        CFDictionaryRemoveValue(d, k);
        CFRelease(k);
    }
    EXPECT_EQ(CFDictionaryGetCount(d), 2500);
    for (SInt32 i = 0; i < 5000; ++i) {
        double key = i;  // a Float64 key equal to the SInt32 key finds it
        CFNumberRef k = CFNumberCreate(nullptr, kCFNumberFloat64Type, &key);
        EXPECT_EQ(CFDictionaryContainsKey(d, k), i % 2 == 1) << i;
        CFRelease(k);
    }
    CFRelease(d);
}

TEST(CFDictionaries, NullCallbacksCompareKeysByIdentity) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFStringRef a = CFStringCreateWithCString(nullptr, "k", kCFStringEncodingUTF8);
    CFStringRef b = CFStringCreateWithCString(nullptr, "k", kCFStringEncodingUTF8);
    CFDictionarySetValue(d, a, a);
    EXPECT_EQ(CFGetRetainCount(a), 1);
    EXPECT_FALSE(CFDictionaryContainsKey(d, b));
    EXPECT_TRUE(CFDictionaryContainsKey(d, a));
    CFRelease(d);
    CFRelease(a);
    CFRelease(b);
}

TEST(CFObjects, WrongTypesAnswerEmptyInsteadOfMisreading) {
    CFNumberRef n = make_sint32(5);
    EXPECT_EQ(CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(n), CFSTR("x")), nullptr);
    EXPECT_EQ(CFArrayGetCount(reinterpret_cast<CFArrayRef>(n)), 0);
    EXPECT_EQ(CFDataGetBytePtr(reinterpret_cast<CFDataRef>(n)), nullptr);
    char buffer[8];
    EXPECT_FALSE(CFStringGetCString(reinterpret_cast<CFStringRef>(n), buffer, 8, kCFStringEncodingUTF8));
    SInt32 v;
    EXPECT_FALSE(CFNumberGetValue(reinterpret_cast<CFNumberRef>(CFSTR("5")), kCFNumberSInt32Type, &v));
    int not_cf[4] = {1, 2, 3, 4};
    EXPECT_EQ(CFGetTypeID(not_cf), 0u);
    CFRelease(n);
}

TEST(CFURLs, FilePathsNormaliseAndCompose) {
    CFURLRef dir = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8 *>("/tmp//x/./b dir/"),
                                                           16, true);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(text_of(CFURLGetString(dir)), "file:///tmp/x/b%20dir/");
    CFURLRef file = CFURLCreateCopyAppendingPathComponent(nullptr, dir, CFSTR("Info.plist"), false);
    UInt8 path[64];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(file, true, path, sizeof path));
    EXPECT_STREQ(reinterpret_cast<char *>(path), "/tmp/x/b dir/Info.plist");
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(file, true, path, 10)) << "too small a buffer";
    CFStringRef last = CFURLCopyLastPathComponent(file);
    EXPECT_EQ(text_of(last), "Info.plist");
    CFURLRef parent = CFURLCreateCopyDeletingLastPathComponent(nullptr, file);
    EXPECT_TRUE(CFEqual(parent, dir));
    CFRelease(last);
    CFRelease(parent);
    CFRelease(file);
    CFRelease(dir);
}

TEST(CFErrors, DescriptionNamesTheProblem) {
    CFErrorRef generic = CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr);
    CFStringRef text = CFErrorCopyDescription(generic);
    EXPECT_NE(text_of(text).find("error 2"), std::string::npos) << text_of(text);
    CFRelease(text);
    CFRelease(generic);
    EXPECT_EQ(CFErrorCreate(nullptr, nullptr, 1, nullptr), nullptr);
}

}  // namespace
