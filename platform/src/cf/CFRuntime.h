// The object model shared by every CoreFoundation type of the stand-in: a reference-counted base
// with a type id, value equality and a hash, plus the private layouts of the value types that
// the property-list code walks. Private to libauplatform.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cf {

// Type ids. Zero is never a valid id, so CFGetTypeID(garbage) == 0 matches no type.
enum : CFTypeID {
    kStringTypeID = 1,
    kNumberTypeID,
    kBooleanTypeID,
    kDataTypeID,
    kArrayTypeID,
    kDictionaryTypeID,
    kURLTypeID,
    kErrorTypeID,
    kBundleTypeID,
    kRunLoopTypeID,
    kRunLoopSourceTypeID,
};

inline constexpr size_t kMagicOffset = sizeof(void *);

// Every object starts with this base. The magic word lets the C entry points tell a CF object from
// a stray pointer (for example a value of an array created without callbacks) and answer with a
// failure instead of reading a foreign object as one of ours.
struct Object {
    static constexpr uint32_t kMagic = 0xCF0B1EC7u;

    explicit Object(CFTypeID type_id) : type(type_id) {
        if (reinterpret_cast<const char *>(&magic) != reinterpret_cast<const char *>(this) + kMagicOffset) __builtin_trap();
    }
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;
    virtual ~Object() { magic = 0; }

    // Called only with another object of the same type id.
    virtual bool equal(const Object &other) const { return this == &other; }
    virtual CFHashCode hash() const { return static_cast<CFHashCode>(reinterpret_cast<uintptr_t>(this) >> 4); }
    virtual std::string describe() const;

    uint32_t magic = kMagic;
    const CFTypeID type;
    // Constants (CFSTR strings, the two booleans) are immortal: retain and release skip them, so
    // they may be shared between threads without touching a count.
    bool immortal = false;
    std::atomic<long> retain_count{1};
};

// The magic word follows the vtable pointer (Itanium C++ ABI: a polymorphic class without bases
// puts its first member right after it; Object's constructor checks that). It is read as raw
// bytes, because reading it as a member of a pointer that may not be an Object is undefined.
inline const Object *object(CFTypeRef ref) {
    if (ref == nullptr) return nullptr;
    uint32_t magic;
    __builtin_memcpy(&magic, static_cast<const char *>(ref) + kMagicOffset, sizeof magic);
    return magic == Object::kMagic ? static_cast<const Object *>(ref) : nullptr;
}

// The object behind ref when it is of type T (T::kTypeID), else null.
template <class T>
T *as(CFTypeRef ref) {
    const Object *o = object(ref);
    if (o == nullptr || o->type != T::kTypeID) return nullptr;
    return static_cast<T *>(const_cast<Object *>(o));
}

// FNV-1a: strings from any source hash alike.
inline CFHashCode hash_bytes(const void *data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return static_cast<CFHashCode>(h);
}

// Creates a CFString from UTF-8 that is known to be valid.
CFStringRef make_string(std::string_view utf8);
// True when bytes form valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);
// The UTF-8 contents of a CFString, or empty for anything else.
std::string_view string_view(CFTypeRef ref);

// A new error in the Cocoa domain whose description is the given sentence.
CFErrorRef make_error(CFIndex code, const std::string &description);
// Stores a new error in *out when out is not null (and nothing otherwise).
void set_error(CFErrorRef *out, CFIndex code, const std::string &description);

// Logs a diagnostic line on standard error, prefixed with the subsystem name.
void log(const char *subsystem, const std::string &message);

}  // namespace cf

struct __CFString final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kStringTypeID;
    explicit __CFString(std::string_view text);
    bool equal(const Object &other) const override;
    CFHashCode hash() const override { return cf::hash_bytes(utf8.data(), utf8.size()); }
    std::string describe() const override { return utf8; }

    std::string utf8;
    CFIndex utf16_length;
};

struct __CFNumber final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kNumberTypeID;
    __CFNumber() : Object(kTypeID) {}
    bool equal(const Object &other) const override;
    CFHashCode hash() const override;
    std::string describe() const override;

    CFNumberType canonical_type = kCFNumberSInt64Type;  // one of the six sized types
    bool is_float = false;
    int64_t integer = 0;
    double real = 0.0;  // Float32 values are held exactly as doubles
};

struct __CFBoolean final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kBooleanTypeID;
    explicit __CFBoolean(bool v) : Object(kTypeID), value(v) { immortal = true; }
    CFHashCode hash() const override { return value ? 1 : 0; }
    std::string describe() const override { return value ? "true" : "false"; }
    const bool value;
};

struct __CFData final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kDataTypeID;
    __CFData() : Object(kTypeID) {}
    bool equal(const Object &other) const override;
    CFHashCode hash() const override { return cf::hash_bytes(bytes.data(), bytes.size() < 80 ? bytes.size() : 80); }
    std::string describe() const override;

    std::vector<UInt8> bytes;
    bool is_mutable = false;
};

struct __CFArray final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kArrayTypeID;
    __CFArray(const CFArrayCallBacks *cb, bool mutable_array);
    ~__CFArray() override;
    bool equal(const Object &other) const override;
    CFHashCode hash() const override { return static_cast<CFHashCode>(values.size()); }
    std::string describe() const override;

    const void *retain_value(const void *v) const;
    void release_value(const void *v) const;
    bool values_equal(const void *a, const void *b) const;

    std::vector<const void *> values;
    CFArrayCallBacks callbacks{};  // all null: values stored as they are
    bool is_mutable;
};

struct __CFDictionary final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kDictionaryTypeID;
    __CFDictionary(const CFDictionaryKeyCallBacks *kcb, const CFDictionaryValueCallBacks *vcb, bool mutable_dict);
    ~__CFDictionary() override;
    bool equal(const Object &other) const override;
    CFHashCode hash() const override { return static_cast<CFHashCode>(entries.size()); }
    std::string describe() const override;

    struct Entry {
        const void *key;
        const void *value;
        CFHashCode hash;
    };
    CFHashCode key_hash(const void *key) const;
    bool keys_equal(const void *a, const void *b) const;
    bool values_equal(const void *a, const void *b) const;
    // Index into entries of the entry whose key equals key, or -1.
    long find(const void *key) const;
    // Adds or replaces; retains through the callbacks.
    void set(const void *key, const void *value, bool replace_existing, bool add_missing);
    void remove(const void *key);
    void clear();
    void reindex();

    // Insertion order is kept in entries; index maps a key hash to the positions holding it.
    std::vector<Entry> entries;
    std::unordered_multimap<CFHashCode, size_t> index;
    CFDictionaryKeyCallBacks key_callbacks{};
    CFDictionaryValueCallBacks value_callbacks{};
    bool is_mutable;
};

struct __CFURL final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kURLTypeID;
    __CFURL(std::string absolute_path, bool directory);
    ~__CFURL() override;
    bool equal(const Object &other) const override;
    CFHashCode hash() const override { return cf::hash_bytes(path.data(), path.size()); }
    std::string describe() const override;

    std::string path;  // absolute, normalised, no trailing slash except for "/"
    bool is_directory;
    CFStringRef url_string;  // "file://..." form, owned
};

struct __CFError final : cf::Object {
    static constexpr CFTypeID kTypeID = cf::kErrorTypeID;
    __CFError() : Object(kTypeID) {}
    ~__CFError() override;
    std::string describe() const override;

    CFStringRef domain = nullptr;
    CFIndex code = 0;
    CFDictionaryRef user_info = nullptr;
};
