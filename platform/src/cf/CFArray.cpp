// CFArray and CFMutableArray: an ordered list of values, retained through the callbacks given at
// creation (none when the callbacks pointer is NULL: the parameter value-string arrays rely on that).
// Thread-safety: an immutable array may be read from any thread; a mutable one belongs to one
// thread at a time.
#include "cf/CFRuntime.h"

namespace {

__CFArray *mutable_array(CFMutableArrayRef ref) {
    __CFArray *a = cf::as<__CFArray>(ref);
    return a != nullptr && a->is_mutable ? a : nullptr;
}

bool valid_range(const __CFArray &a, CFRange r) {
    auto n = static_cast<CFIndex>(a.values.size());
    return r.location >= 0 && r.length >= 0 && r.location <= n && r.length <= n - r.location;
}

__CFArray *copy_of(const __CFArray &source, bool mutable_copy) {
    auto *a = new __CFArray(nullptr, mutable_copy);
    a->callbacks = source.callbacks;
    a->values.reserve(source.values.size());
    for (const void *v : source.values) a->values.push_back(a->retain_value(v));
    return a;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {
    0,
    [](CFAllocatorRef, const void *v) -> const void * { return CFRetain(v); },
    [](CFAllocatorRef, const void *v) { CFRelease(v); },
    [](const void *v) -> CFStringRef { return CFCopyDescription(v); },
    [](const void *a, const void *b) -> Boolean { return CFEqual(a, b); },
};

__CFArray::__CFArray(const CFArrayCallBacks *cb, bool mutable_array) : Object(kTypeID), is_mutable(mutable_array) {
    if (cb != nullptr) callbacks = *cb;
}

__CFArray::~__CFArray() {
    for (const void *v : values) release_value(v);
}

const void *__CFArray::retain_value(const void *v) const {
    return callbacks.retain != nullptr ? callbacks.retain(nullptr, v) : v;
}

void __CFArray::release_value(const void *v) const {
    if (callbacks.release != nullptr) callbacks.release(nullptr, v);
}

bool __CFArray::values_equal(const void *a, const void *b) const {
    return a == b || (callbacks.equal != nullptr && callbacks.equal(a, b));
}

bool __CFArray::equal(const Object &other) const {
    const auto &o = static_cast<const __CFArray &>(other);
    if (values.size() != o.values.size()) return false;
    for (size_t i = 0; i < values.size(); ++i)
        if (!values_equal(values[i], o.values[i])) return false;
    return true;
}

std::string __CFArray::describe() const { return "<array of " + std::to_string(values.size()) + " values>"; }

CFTypeID CFArrayGetTypeID(void) { return cf::kArrayTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void **values, CFIndex num_values, const CFArrayCallBacks *callbacks) {
    if (num_values < 0 || (values == nullptr && num_values > 0)) return nullptr;
    auto *a = new __CFArray(callbacks, false);
    a->values.reserve(static_cast<size_t>(num_values));
    for (CFIndex i = 0; i < num_values; ++i) a->values.push_back(a->retain_value(values[i]));
    return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks *callbacks) {
    if (capacity < 0) return nullptr;
    return new __CFArray(callbacks, true);
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef the_array) {
    const auto *a = cf::as<__CFArray>(the_array);
    return a != nullptr ? copy_of(*a, false) : nullptr;
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFArrayRef the_array) {
    const auto *a = cf::as<__CFArray>(the_array);
    if (a == nullptr || capacity < 0) return nullptr;
    return copy_of(*a, true);
}

CFIndex CFArrayGetCount(CFArrayRef the_array) {
    const auto *a = cf::as<__CFArray>(the_array);
    return a != nullptr ? static_cast<CFIndex>(a->values.size()) : 0;
}

// An index outside the array answers NULL (the original platform would crash).
const void *CFArrayGetValueAtIndex(CFArrayRef the_array, CFIndex idx) {
    const auto *a = cf::as<__CFArray>(the_array);
    if (a == nullptr || idx < 0 || idx >= static_cast<CFIndex>(a->values.size())) return nullptr;
    return a->values[static_cast<size_t>(idx)];
}

void CFArrayAppendValue(CFMutableArrayRef the_array, const void *value) {
    __CFArray *a = mutable_array(the_array);
    if (a != nullptr) a->values.push_back(a->retain_value(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef the_array, CFIndex idx, const void *value) {
    __CFArray *a = mutable_array(the_array);
    if (a == nullptr || idx < 0 || idx > static_cast<CFIndex>(a->values.size())) return;
    a->values.insert(a->values.begin() + idx, a->retain_value(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef the_array, CFIndex idx, const void *value) {
    __CFArray *a = mutable_array(the_array);
    if (a == nullptr || idx < 0 || idx > static_cast<CFIndex>(a->values.size())) return;
    if (idx == static_cast<CFIndex>(a->values.size())) {
        a->values.push_back(a->retain_value(value));
        return;
    }
    // Retain the new value before releasing the old: they may be the same object.
    const void *retained = a->retain_value(value);
    a->release_value(a->values[static_cast<size_t>(idx)]);
    a->values[static_cast<size_t>(idx)] = retained;
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef the_array, CFIndex idx) {
    __CFArray *a = mutable_array(the_array);
    if (a == nullptr || idx < 0 || idx >= static_cast<CFIndex>(a->values.size())) return;
    const void *v = a->values[static_cast<size_t>(idx)];
    a->values.erase(a->values.begin() + idx);
    a->release_value(v);
}

void CFArrayRemoveAllValues(CFMutableArrayRef the_array) {
    __CFArray *a = mutable_array(the_array);
    if (a == nullptr) return;
    std::vector<const void *> old;
    old.swap(a->values);
    for (const void *v : old) a->release_value(v);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef the_array, CFRange range, const void *value) {
    const auto *a = cf::as<__CFArray>(the_array);
    if (a == nullptr || !valid_range(*a, range)) return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (a->values_equal(a->values[static_cast<size_t>(i)], value)) return i;
    return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef the_array, CFRange range, const void *value) {
    return CFArrayGetFirstIndexOfValue(the_array, range, value) != kCFNotFound;
}

void CFArrayApplyFunction(CFArrayRef the_array, CFRange range, CFArrayApplierFunction applier, void *context) {
    const auto *a = cf::as<__CFArray>(the_array);
    if (a == nullptr || applier == nullptr || !valid_range(*a, range)) return;
    for (CFIndex i = range.location; i < range.location + range.length; ++i) applier(a->values[static_cast<size_t>(i)], context);
}
