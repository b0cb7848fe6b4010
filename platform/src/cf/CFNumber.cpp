// CFNumber and CFBoolean. A number keeps the sized type it was created with (Int becomes SInt32,
// Double becomes Float64, ...) and converts on request.
// Thread-safety: immutable; any thread.
#include "cf/CFRuntime.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

// The sized type behind each CFNumberType, or 0 for an unknown type.
CFNumberType canonical(CFNumberType type) {
    switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType: return kCFNumberSInt8Type;
    case kCFNumberSInt16Type:
    case kCFNumberShortType: return kCFNumberSInt16Type;
    case kCFNumberSInt32Type:
    case kCFNumberIntType: return kCFNumberSInt32Type;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType: return kCFNumberSInt64Type;
    case kCFNumberFloat32Type:
    case kCFNumberFloatType: return kCFNumberFloat32Type;
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType: return kCFNumberFloat64Type;
    default: return 0;
    }
}

CFIndex byte_size(CFNumberType sized) {
    switch (sized) {
    case kCFNumberSInt8Type: return 1;
    case kCFNumberSInt16Type: return 2;
    case kCFNumberSInt32Type:
    case kCFNumberFloat32Type: return 4;
    default: return 8;
    }
}

bool integral_value(const __CFNumber &n, int64_t &out) {
    if (!n.is_float) {
        out = n.integer;
        return true;
    }
    // 2^63 itself is out of range, so compare against it with <.
    if (!(n.real >= -9223372036854775808.0 && n.real < 9223372036854775808.0) || n.real != std::trunc(n.real)) return false;
    out = static_cast<int64_t>(n.real);
    return true;
}

template <class T>
bool store_integer(const __CFNumber &n, void *out) {
    constexpr int64_t lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
    int64_t v;
    bool exact = true;
    if (n.is_float) {
        double d = n.real;
        if (std::isnan(d)) {
            v = 0;
            exact = false;
        } else {
            double t = std::trunc(d);
            exact = t == d && t >= -9223372036854775808.0 && t < 9223372036854775808.0;
            v = t <= -9223372036854775808.0 ? INT64_MIN : t >= 9223372036854775808.0 ? INT64_MAX : static_cast<int64_t>(t);
        }
    } else {
        v = n.integer;
    }
    // Out of range values are stored saturated, the nearest value the type holds.
    if (v < lo) {
        v = lo;
        exact = false;
    } else if (v > hi) {
        v = hi;
        exact = false;
    }
    T t = static_cast<T>(v);
    std::memcpy(out, &t, sizeof t);
    return exact;
}

}  // namespace

bool __CFNumber::equal(const Object &other) const {
    const auto &o = static_cast<const __CFNumber &>(other);
    if (!is_float && !o.is_float) return integer == o.integer;
    if (is_float && o.is_float) return real == o.real || (std::isnan(real) && std::isnan(o.real));
    // Mixed: equal only when the float holds exactly that integer.
    const __CFNumber &f = is_float ? *this : o;
    const __CFNumber &i = is_float ? o : *this;
    int64_t v;
    return integral_value(f, v) && v == i.integer;
}

CFHashCode __CFNumber::hash() const {
    int64_t v;
    if (integral_value(*this, v)) return static_cast<CFHashCode>(v);  // 1 and 1.0 hash alike
    return cf::hash_bytes(&real, sizeof real);
}

std::string __CFNumber::describe() const {
    char text[40];
    if (is_float)
        std::snprintf(text, sizeof text, "%.17g", real);
    else
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(integer));
    return text;
}

CFTypeID CFNumberGetTypeID(void) { return cf::kNumberTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType the_type, const void *value_ptr) {
    CFNumberType sized = canonical(the_type);
    if (sized == 0 || value_ptr == nullptr) return nullptr;
    auto *n = new __CFNumber;
    n->canonical_type = sized;
    switch (sized) {
    case kCFNumberSInt8Type: { int8_t v; std::memcpy(&v, value_ptr, 1); n->integer = v; break; }
    case kCFNumberSInt16Type: { int16_t v; std::memcpy(&v, value_ptr, 2); n->integer = v; break; }
    case kCFNumberSInt32Type: { int32_t v; std::memcpy(&v, value_ptr, 4); n->integer = v; break; }
    case kCFNumberSInt64Type: { int64_t v; std::memcpy(&v, value_ptr, 8); n->integer = v; break; }
    case kCFNumberFloat32Type: { float v; std::memcpy(&v, value_ptr, 4); n->real = v; n->is_float = true; break; }
    default: { double v; std::memcpy(&v, value_ptr, 8); n->real = v; n->is_float = true; break; }
    }
    return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const auto *n = cf::as<__CFNumber>(number);
    return n != nullptr ? n->canonical_type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
    const auto *n = cf::as<__CFNumber>(number);
    return n != nullptr ? byte_size(n->canonical_type) : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const auto *n = cf::as<__CFNumber>(number);
    return n != nullptr && n->is_float;
}

// The value is always stored (a best attempt when lossy); the answer says whether it is exact.
// Float to float conversions count as exact unless a finite value overflows: rounding 0.1 to the
// nearest Float32 is what a caller asking for Float32 wants.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType the_type, void *value_ptr) {
    const auto *n = cf::as<__CFNumber>(number);
    CFNumberType sized = canonical(the_type);
    if (n == nullptr || sized == 0 || value_ptr == nullptr) return false;
    switch (sized) {
    case kCFNumberSInt8Type: return store_integer<int8_t>(*n, value_ptr);
    case kCFNumberSInt16Type: return store_integer<int16_t>(*n, value_ptr);
    case kCFNumberSInt32Type: return store_integer<int32_t>(*n, value_ptr);
    case kCFNumberSInt64Type: return store_integer<int64_t>(*n, value_ptr);
    case kCFNumberFloat32Type: {
        float f = n->is_float ? static_cast<float>(n->real) : static_cast<float>(n->integer);
        std::memcpy(value_ptr, &f, sizeof f);
        if (n->is_float) return !(std::isfinite(n->real) && std::isinf(f));
        return f < 9223372036854775808.0f && static_cast<int64_t>(f) == n->integer;
    }
    default: {
        double d = n->is_float ? n->real : static_cast<double>(n->integer);
        std::memcpy(value_ptr, &d, sizeof d);
        return n->is_float || (d < 9223372036854775808.0 && static_cast<int64_t>(d) == n->integer);
    }
    }
}

namespace {
__CFBoolean true_object(true);
__CFBoolean false_object(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &true_object;
const CFBooleanRef kCFBooleanFalse = &false_object;

CFTypeID CFBooleanGetTypeID(void) { return cf::kBooleanTypeID; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    const auto *b = cf::as<__CFBoolean>(boolean);
    return b != nullptr && b->value;
}
