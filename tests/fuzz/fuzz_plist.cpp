// Property-list reading: arbitrary bytes must give a property list or an error, never a crash,
// a leak or a hang; whatever is read must be writable again, and what is written must read back
// (the same values, for the binary format, whose numbers are exact).
#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void round_trip(CFPropertyListRef plist, CFPropertyListFormat format) {
    CFErrorRef error = nullptr;
    CFDataRef written = CFPropertyListCreateData(nullptr, plist, format, 0, &error);
    check(written != nullptr && error == nullptr);
    // Shared binary objects are written out once per reference, so the output may exceed what the
    // reader accepts; only output within the reader's size bound must read back.
    if (CFDataGetLength(written) <= (1 << 20)) {
        CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, written, 0, nullptr, &error);
        check(back != nullptr && error == nullptr);
        if (format == kCFPropertyListBinaryFormat_v1_0) check(CFEqual(back, plist));
        CFRelease(back);
    }
    CFRelease(written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    CFDataRef bytes = CFDataCreate(nullptr, data, static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListFormat format = 0;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, bytes, 0, &format, &error);
    CFRelease(bytes);
    check((plist == nullptr) == (error != nullptr));
    if (plist == nullptr) {
        CFStringRef why = CFErrorCopyDescription(error);
        check(why != nullptr && CFStringGetLength(why) > 0);
        CFRelease(why);
        CFRelease(error);
        return 0;
    }
    check(format == kCFPropertyListXMLFormat_v1_0 || format == kCFPropertyListBinaryFormat_v1_0);
    round_trip(plist, kCFPropertyListBinaryFormat_v1_0);
    round_trip(plist, kCFPropertyListXMLFormat_v1_0);
    CFRelease(plist);
    return 0;
}
