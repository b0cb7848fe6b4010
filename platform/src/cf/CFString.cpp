// CFString: immutable text held as UTF-8. CFSTR constants are interned once per distinct text and
// live for the whole process.
// Thread-safety: strings are immutable; the intern table is guarded by a mutex, so CFSTR may be
// used from any thread except the render thread (it may allocate on first use of a literal).
#include "cf/CFRuntime.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

namespace {

CFIndex utf16_length_of(std::string_view utf8) {
    CFIndex units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++units;  // a lead byte starts a code point
        if (c >= 0xF0) ++units;           // four-byte sequences need a surrogate pair
    }
    return units;
}

// Converts bytes in the given encoding to UTF-8; false when they are not valid in it.
// MacRoman is accepted for its ASCII half only: the text this system passes in that encoding is
// plain ASCII, and guessing at the upper half would silently change characters.
bool decode(const UInt8 *bytes, size_t size, CFStringEncoding encoding, bool external, std::string &out) {
    std::string_view in(reinterpret_cast<const char *>(bytes), size);
    switch (encoding) {
    case kCFStringEncodingUTF8:
        if (external && in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
        if (!cf::is_valid_utf8(in)) return false;
        out.assign(in);
        return true;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        for (unsigned char c : in)
            if (c >= 0x80) return false;
        out.assign(in);
        return true;
    case kCFStringEncodingISOLatin1:
        out.clear();
        for (unsigned char c : in) {
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
            } else {
                out.push_back(static_cast<char>(0xC0 | (c >> 6)));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        return true;
    default:
        return false;
    }
}

// Converts UTF-8 to the given encoding; false when a character has no representation in it.
bool encode(std::string_view utf8, CFStringEncoding encoding, std::string &out) {
    switch (encoding) {
    case kCFStringEncodingUTF8:
        out.assign(utf8);
        return true;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        for (unsigned char c : utf8)
            if (c >= 0x80) return false;
        out.assign(utf8);
        return true;
    case kCFStringEncodingISOLatin1:
        out.clear();
        for (size_t i = 0; i < utf8.size(); ++i) {
            auto c = static_cast<unsigned char>(utf8[i]);
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
            } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
                out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)));
                ++i;
            } else {
                return false;
            }
        }
        return true;
    default:
        return false;
    }
}

struct InternTable {
    std::mutex mutex;
    std::map<std::string, __CFString *, std::less<>> strings;
};

InternTable &intern_table() {
    static auto *table = new InternTable;  // never destroyed: constants outlive static destructors
    return *table;
}

const __CFString *string_of(CFStringRef s) { return cf::as<__CFString>(s); }

}  // namespace

__CFString::__CFString(std::string_view text) : Object(kTypeID), utf8(text), utf16_length(utf16_length_of(text)) {}

bool __CFString::equal(const Object &other) const { return utf8 == static_cast<const __CFString &>(other).utf8; }

namespace cf {

bool is_valid_utf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t n;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;  // truncated sequence
        for (size_t k = 1; k <= n; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

CFStringRef make_string(std::string_view utf8) { return new __CFString(utf8); }

std::string_view string_view(CFTypeRef ref) {
    const __CFString *s = as<__CFString>(ref);
    return s != nullptr ? std::string_view(s->utf8) : std::string_view();
}

}  // namespace cf

CFTypeID CFStringGetTypeID(void) { return cf::kStringTypeID; }

CFStringRef __CFStringMakeConstantString(const char *c_str) {
    if (c_str == nullptr) return nullptr;
    std::string_view text(c_str);
    if (!cf::is_valid_utf8(text)) return nullptr;
    InternTable &table = intern_table();
    std::lock_guard lock(table.mutex);
    auto it = table.strings.find(text);
    if (it != table.strings.end()) return it->second;
    auto *s = new __CFString(text);
    s->immortal = true;
    table.strings.emplace(std::string(text), s);
    return s;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char *c_str, CFStringEncoding encoding) {
    if (c_str == nullptr) return nullptr;
    std::string utf8;
    if (!decode(reinterpret_cast<const UInt8 *>(c_str), std::strlen(c_str), encoding, false, utf8)) return nullptr;
    return new __CFString(utf8);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8 *bytes, CFIndex num_bytes, CFStringEncoding encoding,
                                   Boolean is_external_representation) {
    if (num_bytes < 0 || (bytes == nullptr && num_bytes > 0)) return nullptr;
    std::string utf8;
    if (!decode(bytes, static_cast<size_t>(num_bytes), encoding, is_external_representation, utf8)) return nullptr;
    return new __CFString(utf8);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef the_string) {
    const __CFString *s = string_of(the_string);
    if (s == nullptr) return nullptr;
    // Strings are immutable, so a copy is the same object.
    return static_cast<CFStringRef>(CFRetain(the_string));
}

CFIndex CFStringGetLength(CFStringRef the_string) {
    const __CFString *s = string_of(the_string);
    return s != nullptr ? s->utf16_length : 0;
}

Boolean CFStringGetCString(CFStringRef the_string, char *buffer, CFIndex buffer_size, CFStringEncoding encoding) {
    const __CFString *s = string_of(the_string);
    if (s == nullptr || buffer == nullptr || buffer_size <= 0) return false;
    std::string out;
    if (!encode(s->utf8, encoding, out) || out.find('\0') != std::string::npos) return false;
    if (static_cast<CFIndex>(out.size()) + 1 > buffer_size) return false;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return true;
}

const char *CFStringGetCStringPtr(CFStringRef the_string, CFStringEncoding encoding) {
    const __CFString *s = string_of(the_string);
    if (s == nullptr) return nullptr;
    if (encoding == kCFStringEncodingUTF8) return s->utf8.c_str();
    // ASCII text is its own ASCII, MacRoman and Latin-1 form.
    for (unsigned char c : s->utf8)
        if (c >= 0x80) return nullptr;
    return s->utf8.c_str();
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    if (length < 0) return 0;
    // A UTF-16 unit takes at most three UTF-8 bytes (a surrogate pair is two units for four bytes).
    return encoding == kCFStringEncodingUTF8 ? length * 3 : length;
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options) {
    std::string_view x = cf::string_view(a), y = cf::string_view(b);
    auto fold = [&](unsigned char c) -> unsigned char {
        return (options & kCFCompareCaseInsensitive) && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
    };
    auto is_digit = [](unsigned char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        auto cx = static_cast<unsigned char>(x[i]), cy = static_cast<unsigned char>(y[j]);
        if ((options & kCFCompareNumerically) && is_digit(cx) && is_digit(cy)) {
            // Compare digit runs by value: "file9" < "file10". Leading zeros do not count.
            size_t si = i, sj = j;
            while (i < x.size() && is_digit(static_cast<unsigned char>(x[i]))) ++i;
            while (j < y.size() && is_digit(static_cast<unsigned char>(y[j]))) ++j;
            std::string_view dx = x.substr(si, i - si), dy = y.substr(sj, j - sj);
            while (dx.size() > 1 && dx[0] == '0') dx.remove_prefix(1);
            while (dy.size() > 1 && dy[0] == '0') dy.remove_prefix(1);
            if (dx.size() != dy.size()) return dx.size() < dy.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
            int c = dx.compare(dy);
            if (c != 0) return c < 0 ? kCFCompareLessThan : kCFCompareGreaterThan;
            continue;
        }
        cx = fold(cx);
        cy = fold(cy);
        if (cx != cy) return cx < cy ? kCFCompareLessThan : kCFCompareGreaterThan;
        ++i;
        ++j;
    }
    bool x_left = i < x.size(), y_left = j < y.size();
    if (x_left == y_left) return kCFCompareEqualTo;
    return x_left ? kCFCompareGreaterThan : kCFCompareLessThan;
}

SInt32 CFStringGetIntValue(CFStringRef str) {
    std::string_view s = cf::string_view(str);
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;  // saturate
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<SInt32>(value);
}

double CFStringGetDoubleValue(CFStringRef str) {
    std::string_view s = cf::string_view(str);
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    if (i < s.size() && s[i] == '+') ++i;
    double value = 0.0;
    // from_chars ignores the locale: "0.5" reads as one half whatever LC_NUMERIC says.
    auto result = std::from_chars(s.data() + i, s.data() + s.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}
