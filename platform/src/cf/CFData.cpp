// CFData and CFMutableData: a byte buffer.
// Thread-safety: immutable data may be read from any thread; mutable data belongs to one thread
// at a time.
#include "cf/CFRuntime.h"

#include <cstdio>
#include <cstring>

namespace {

__CFData *mutable_data(CFMutableDataRef ref) {
    __CFData *d = cf::as<__CFData>(ref);
    // Mutating immutable data would break every holder that assumed it constant: refuse.
    return d != nullptr && d->is_mutable ? d : nullptr;
}

// Data can hold at most what a signed CFIndex counts; refuse growth beyond a sane bound instead of
// letting a negative or absurd length reach the allocator.
constexpr CFIndex kMaxLength = CFIndex(1) << 40;

const UInt8 kEmpty[1] = {0};

}  // namespace

bool __CFData::equal(const Object &other) const { return bytes == static_cast<const __CFData &>(other).bytes; }

std::string __CFData::describe() const {
    std::string text = "<" + std::to_string(bytes.size()) + " bytes:";
    char hex[4];
    for (size_t i = 0; i < bytes.size() && i < 32; ++i) {
        std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
        text += hex;
    }
    return text + (bytes.size() > 32 ? " ...>" : ">");
}

CFTypeID CFDataGetTypeID(void) { return cf::kDataTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8 *bytes, CFIndex length) {
    if (length < 0 || length > kMaxLength || (bytes == nullptr && length > 0)) return nullptr;
    auto *d = new __CFData;
    d->bytes.assign(bytes, bytes + length);
    return d;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    if (capacity < 0 || capacity > kMaxLength) return nullptr;
    auto *d = new __CFData;
    d->is_mutable = true;
    d->bytes.reserve(static_cast<size_t>(capacity));
    return d;
}

CFIndex CFDataGetLength(CFDataRef the_data) {
    const auto *d = cf::as<__CFData>(the_data);
    return d != nullptr ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8 *CFDataGetBytePtr(CFDataRef the_data) {
    const auto *d = cf::as<__CFData>(the_data);
    if (d == nullptr) return nullptr;
    return d->bytes.empty() ? kEmpty : d->bytes.data();
}

UInt8 *CFDataGetMutableBytePtr(CFMutableDataRef the_data) {
    __CFData *d = mutable_data(the_data);
    if (d == nullptr) return nullptr;
    return d->bytes.empty() ? const_cast<UInt8 *>(kEmpty) : d->bytes.data();
}

// A range outside the data copies nothing (the original platform would crash).
void CFDataGetBytes(CFDataRef the_data, CFRange range, UInt8 *buffer) {
    const auto *d = cf::as<__CFData>(the_data);
    if (d == nullptr || buffer == nullptr || range.location < 0 || range.length < 0) return;
    auto size = static_cast<CFIndex>(d->bytes.size());
    if (range.location > size || range.length > size - range.location) return;
    if (range.length > 0) std::memcpy(buffer, d->bytes.data() + range.location, static_cast<size_t>(range.length));
}

void CFDataAppendBytes(CFMutableDataRef the_data, const UInt8 *bytes, CFIndex length) {
    __CFData *d = mutable_data(the_data);
    if (d == nullptr || length <= 0 || bytes == nullptr) return;
    if (length > kMaxLength - static_cast<CFIndex>(d->bytes.size())) return;
    d->bytes.insert(d->bytes.end(), bytes, bytes + length);
}

// Growth fills with zeros, as on the original platform.
void CFDataSetLength(CFMutableDataRef the_data, CFIndex length) {
    __CFData *d = mutable_data(the_data);
    if (d == nullptr || length < 0 || length > kMaxLength) return;
    d->bytes.resize(static_cast<size_t>(length), 0);
}
