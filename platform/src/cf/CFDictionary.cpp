// CFDictionary and CFMutableDictionary: key-value pairs that keep their insertion order (so that a
// saved state or preference file lists its keys in the order they were set), with keys compared
// and hashed through the key callbacks: a key made by CFSTR finds a value stored under an equal
// key created at run time.
// Thread-safety: an immutable dictionary may be read from any thread; a mutable one belongs to
// one thread at a time.
#include "cf/CFRuntime.h"

namespace {

__CFDictionary *mutable_dictionary(CFMutableDictionaryRef ref) {
    __CFDictionary *d = cf::as<__CFDictionary>(ref);
    return d != nullptr && d->is_mutable ? d : nullptr;
}

const void *retain_cf(CFAllocatorRef, const void *v) { return CFRetain(v); }
void release_cf(CFAllocatorRef, const void *v) { CFRelease(v); }
CFStringRef describe_cf(const void *v) { return CFCopyDescription(v); }
Boolean equal_cf(const void *a, const void *b) { return CFEqual(a, b); }
CFHashCode hash_cf(const void *v) { return CFHash(v); }
const void *copy_string(CFAllocatorRef, const void *v) { return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(v)); }

__CFDictionary *copy_of(const __CFDictionary &source, bool mutable_copy) {
    auto *d = new __CFDictionary(&source.key_callbacks, &source.value_callbacks, mutable_copy);
    d->entries.reserve(source.entries.size());
    for (const auto &e : source.entries) d->set(e.key, e.value, false, true);
    return d;
}

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, retain_cf, release_cf, describe_cf, equal_cf, hash_cf};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0, copy_string, release_cf, describe_cf, equal_cf, hash_cf};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retain_cf, release_cf, describe_cf, equal_cf};

__CFDictionary::__CFDictionary(const CFDictionaryKeyCallBacks *kcb, const CFDictionaryValueCallBacks *vcb, bool mutable_dict)
    : Object(kTypeID), is_mutable(mutable_dict) {
    if (kcb != nullptr) key_callbacks = *kcb;
    if (vcb != nullptr) value_callbacks = *vcb;
}

__CFDictionary::~__CFDictionary() { clear(); }

CFHashCode __CFDictionary::key_hash(const void *key) const {
    if (key_callbacks.hash != nullptr) return key_callbacks.hash(key);
    return static_cast<CFHashCode>(reinterpret_cast<uintptr_t>(key) >> 4);
}

bool __CFDictionary::keys_equal(const void *a, const void *b) const {
    return a == b || (key_callbacks.equal != nullptr && key_callbacks.equal(a, b));
}

bool __CFDictionary::values_equal(const void *a, const void *b) const {
    return a == b || (value_callbacks.equal != nullptr && value_callbacks.equal(a, b));
}

long __CFDictionary::find(const void *key) const {
    auto range = index.equal_range(key_hash(key));
    for (auto it = range.first; it != range.second; ++it)
        if (keys_equal(entries[it->second].key, key)) return static_cast<long>(it->second);
    return -1;
}

void __CFDictionary::set(const void *key, const void *value, bool replace_existing, bool add_missing) {
    long i = find(key);
    if (i >= 0) {
        if (!replace_existing) return;
        // Retain the new value before releasing the old: they may be the same object.
        const void *retained = value_callbacks.retain != nullptr ? value_callbacks.retain(nullptr, value) : value;
        const void *old = entries[static_cast<size_t>(i)].value;
        entries[static_cast<size_t>(i)].value = retained;
        if (value_callbacks.release != nullptr) value_callbacks.release(nullptr, old);
        return;
    }
    if (!add_missing) return;
    const void *k = key_callbacks.retain != nullptr ? key_callbacks.retain(nullptr, key) : key;
    const void *v = value_callbacks.retain != nullptr ? value_callbacks.retain(nullptr, value) : value;
    CFHashCode h = key_hash(k);
    entries.push_back({k, v, h});
    index.emplace(h, entries.size() - 1);
}

void __CFDictionary::remove(const void *key) {
    long i = find(key);
    if (i < 0) return;
    Entry e = entries[static_cast<size_t>(i)];
    entries.erase(entries.begin() + i);
    reindex();
    // Released after the entry is gone, so a release callback that reads the dictionary sees it
    // consistent.
    if (key_callbacks.release != nullptr) key_callbacks.release(nullptr, e.key);
    if (value_callbacks.release != nullptr) value_callbacks.release(nullptr, e.value);
}

void __CFDictionary::clear() {
    std::vector<Entry> old;
    old.swap(entries);
    index.clear();
    for (const auto &e : old) {
        if (key_callbacks.release != nullptr) key_callbacks.release(nullptr, e.key);
        if (value_callbacks.release != nullptr) value_callbacks.release(nullptr, e.value);
    }
}

void __CFDictionary::reindex() {
    index.clear();
    for (size_t i = 0; i < entries.size(); ++i) index.emplace(entries[i].hash, i);
}

bool __CFDictionary::equal(const Object &other) const {
    const auto &o = static_cast<const __CFDictionary &>(other);
    if (entries.size() != o.entries.size()) return false;
    for (const auto &e : entries) {
        long j = o.find(e.key);
        if (j < 0 || !values_equal(e.value, o.entries[static_cast<size_t>(j)].value)) return false;
    }
    return true;
}

std::string __CFDictionary::describe() const { return "<dictionary of " + std::to_string(entries.size()) + " entries>"; }

CFTypeID CFDictionaryGetTypeID(void) { return cf::kDictionaryTypeID; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void **keys, const void **values, CFIndex num_values,
                                   const CFDictionaryKeyCallBacks *key_callbacks,
                                   const CFDictionaryValueCallBacks *value_callbacks) {
    if (num_values < 0 || (num_values > 0 && (keys == nullptr || values == nullptr))) return nullptr;
    auto *d = new __CFDictionary(key_callbacks, value_callbacks, false);
    // A repeated key keeps its last value, as a series of CFDictionarySetValue would.
    for (CFIndex i = 0; i < num_values; ++i) d->set(keys[i], values[i], true, true);
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks *key_callbacks,
                                                 const CFDictionaryValueCallBacks *value_callbacks) {
    if (capacity < 0) return nullptr;
    return new __CFDictionary(key_callbacks, value_callbacks, true);
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef the_dict) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    return d != nullptr ? copy_of(*d, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFDictionaryRef the_dict) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    if (d == nullptr || capacity < 0) return nullptr;
    return copy_of(*d, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef the_dict) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    return d != nullptr ? static_cast<CFIndex>(d->entries.size()) : 0;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef the_dict, const void *key) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    return d != nullptr && d->find(key) >= 0;
}

const void *CFDictionaryGetValue(CFDictionaryRef the_dict, const void *key) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    if (d == nullptr) return nullptr;
    long i = d->find(key);
    return i >= 0 ? d->entries[static_cast<size_t>(i)].value : nullptr;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef the_dict, const void *key, const void **value) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    if (d == nullptr) return false;
    long i = d->find(key);
    if (i < 0) return false;
    if (value != nullptr) *value = d->entries[static_cast<size_t>(i)].value;
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef the_dict, const void **keys, const void **values) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    if (d == nullptr) return;
    for (size_t i = 0; i < d->entries.size(); ++i) {
        if (keys != nullptr) keys[i] = d->entries[i].key;
        if (values != nullptr) values[i] = d->entries[i].value;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef the_dict, CFDictionaryApplierFunction applier, void *context) {
    const auto *d = cf::as<__CFDictionary>(the_dict);
    if (d == nullptr || applier == nullptr) return;
    for (const auto &e : d->entries) applier(e.key, e.value, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef the_dict, const void *key, const void *value) {
    if (__CFDictionary *d = mutable_dictionary(the_dict)) d->set(key, value, false, true);
}

void CFDictionarySetValue(CFMutableDictionaryRef the_dict, const void *key, const void *value) {
    if (__CFDictionary *d = mutable_dictionary(the_dict)) d->set(key, value, true, true);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef the_dict, const void *key, const void *value) {
    if (__CFDictionary *d = mutable_dictionary(the_dict)) d->set(key, value, true, false);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef the_dict, const void *key) {
    if (__CFDictionary *d = mutable_dictionary(the_dict)) d->remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef the_dict) {
    if (__CFDictionary *d = mutable_dictionary(the_dict)) d->clear();
}
