// Property-list reading and writing, XML and binary, through libplist. Everything libplist cannot
// be trusted with (size, nesting, shared-object expansion) is refused beforehand by the guard; what
// it parses is then checked node by node, so garbage answers NULL and an error, never a crash.
// Thread-safety: any thread; libplist keeps no shared state between calls.
#include "cf/CFPropertyListGuard.h"
#include "cf/CFRuntime.h"

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using cf::kMaxPropertyListDepth;

struct PlistFree {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct CFReleaser {
    void operator()(const void *ref) const { CFRelease(ref); }
};
using CFPtr = std::unique_ptr<const void, CFReleaser>;

// plist_t -> CF. Nodes are type-checked one by one; the guard already bounds the depth, and the
// depth argument bounds it again here so that this function can never recurse without limit.
class Reader {
public:
    explicit Reader(CFOptionFlags options) : options_(options) {}

    CFPropertyListRef convert(plist_t node, int depth) {
        if (node == nullptr) return fail("property list has an empty node");
        if (depth > kMaxPropertyListDepth) return fail("property list nests too deep");
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t v = 0;
            plist_get_bool_val(node, &v);
            return v ? kCFBooleanTrue : kCFBooleanFalse;
        }
        case PLIST_UINT: {
            // libplist keeps every integer as 64 unsigned bits; negative numbers were written as
            // their two's complement, so reading the bits as signed restores them.
            uint64_t v = 0;
            plist_get_uint_val(node, &v);
            auto s = static_cast<int64_t>(v);
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &s);
        }
        case PLIST_UID: {
            uint64_t v = 0;
            plist_get_uid_val(node, &v);
            auto s = static_cast<int64_t>(v);
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &s);
        }
        case PLIST_REAL: {
            double v = 0;
            plist_get_real_val(node, &v);
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
        case PLIST_DATE: {
            // There is no CFDate here: a date reads as its seconds since 2001-01-01 (the platform's
            // absolute time), which keeps the value and lets the rest of the file load.
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            double v = sec + usec * 1e-6;
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char *p = plist_get_string_ptr(node, &length);
            return string(p, length);
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char *p = plist_get_data_ptr(node, &length);
            if (p == nullptr && length > 0) return fail("property list has an unreadable data value");
            if (options_ == kCFPropertyListMutableContainersAndLeaves) {
                CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
                CFDataAppendBytes(d, reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(length));
                return d;
            }
            return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(p), static_cast<CFIndex>(length));
        }
        case PLIST_ARRAY: return array(node, depth);
        case PLIST_DICT: return dictionary(node, depth);
        default: return fail("property list holds a value of a type that cannot be read");
        }
    }

    const std::string &problem() const { return problem_; }

private:
    CFPropertyListRef fail(const std::string &why) {
        if (problem_.empty()) problem_ = why;
        return nullptr;
    }

    CFPropertyListRef string(const char *p, uint64_t length) {
        std::string_view text(p != nullptr ? p : "", p != nullptr ? length : 0);
        if (!cf::is_valid_utf8(text)) return fail("property list holds a string that is not valid UTF-8");
        // libplist writes strings as C strings: one with a NUL inside could not be saved again.
        if (text.find('\0') != std::string_view::npos) return fail("property list holds a string with a NUL character");
        return cf::make_string(text);
    }

    bool mutable_containers() const { return options_ != kCFPropertyListImmutable; }

    CFPropertyListRef array(plist_t node, int depth) {
        uint32_t n = plist_array_get_size(node);
        CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (uint32_t i = 0; i < n; ++i) {
            CFPtr item(convert(plist_array_get_item(node, i), depth + 1));
            if (!item) {
                CFRelease(a);
                return nullptr;
            }
            CFArrayAppendValue(a, item.get());
        }
        return finish(a);
    }

    CFPropertyListRef dictionary(plist_t node, int depth) {
        CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                             &kCFTypeDictionaryValueCallBacks);
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        bool ok = it != nullptr || plist_dict_get_size(node) == 0;
        while (ok && it != nullptr) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (key == nullptr) break;  // end of the dictionary
            std::unique_ptr<char, decltype(&std::free)> key_owner(key, &std::free);
            if (value == nullptr) {
                ok = fail("property list has a dictionary key without a value") != nullptr;
                break;
            }
            CFPtr k(string(key, std::strlen(key)));
            CFPtr v(k ? convert(value, depth + 1) : nullptr);
            if (!v) {
                ok = false;
                break;
            }
            CFDictionarySetValue(d, k.get(), v.get());
        }
        std::free(it);
        if (!ok) {
            CFRelease(d);
            return nullptr;
        }
        return finish(d);
    }

    // Containers are built mutable and frozen when the caller asked for immutable ones.
    template <class T>
    CFPropertyListRef finish(T container) {
        if (!mutable_containers()) {
            auto *o = const_cast<cf::Object *>(cf::object(container));
            if (o->type == cf::kArrayTypeID) static_cast<__CFArray *>(o)->is_mutable = false;
            else static_cast<__CFDictionary *>(o)->is_mutable = false;
        }
        return container;
    }

    CFOptionFlags options_;
    std::string problem_;
};

// CF -> plist_t, refusing anything that is not a property-list object.
class Writer {
public:
    plist_t convert(CFTypeRef ref, int depth) {
        if (depth > kMaxPropertyListDepth)
            return fail("property list nests deeper than " + std::to_string(kMaxPropertyListDepth) +
                        " levels (or contains itself)");
        switch (CFGetTypeID(ref)) {
        case cf::kStringTypeID: {
            std::string_view s = cf::string_view(ref);
            if (s.find('\0') != std::string_view::npos) return fail("property list string contains a NUL character");
            return plist_new_string(std::string(s).c_str());
        }
        case cf::kNumberTypeID: {
            const auto *n = cf::as<__CFNumber>(ref);
            if (n->is_float) return plist_new_real(n->real);
            // Signed values travel as their two's complement bits: libplist has no signed integer.
            return plist_new_uint(static_cast<uint64_t>(n->integer));
        }
        case cf::kBooleanTypeID: return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(ref)));
        case cf::kDataTypeID: {
            const auto *d = cf::as<__CFData>(ref);
            return plist_new_data(reinterpret_cast<const char *>(d->bytes.data()), d->bytes.size());
        }
        case cf::kArrayTypeID: {
            const auto *a = cf::as<__CFArray>(ref);
            PlistPtr node(plist_new_array());
            for (size_t i = 0; i < a->values.size(); ++i) {
                plist_t item = convert(a->values[i], depth + 1);
                if (item == nullptr) return nullptr;
                plist_array_append_item(node.get(), item);
            }
            return node.release();
        }
        case cf::kDictionaryTypeID: {
            const auto *d = cf::as<__CFDictionary>(ref);
            PlistPtr node(plist_new_dict());
            for (const auto &e : d->entries) {
                if (CFGetTypeID(e.key) != cf::kStringTypeID) return fail("property list dictionary has a key that is not a string");
                std::string_view key = cf::string_view(e.key);
                if (key.find('\0') != std::string_view::npos) return fail("property list dictionary key contains a NUL character");
                plist_t item = convert(e.value, depth + 1);
                if (item == nullptr) return nullptr;
                plist_dict_set_item(node.get(), std::string(key).c_str(), item);
            }
            return node.release();
        }
        case 0: return fail(ref == nullptr ? "property list contains a NULL value" : "property list contains a value that is not a CF object");
        default: return fail("property list contains a value that is not a string, number, boolean, data, array or dictionary");
        }
    }

    const std::string &problem() const { return problem_; }

private:
    plist_t fail(const std::string &why) {
        if (problem_.empty()) problem_ = why;
        return nullptr;
    }
    std::string problem_;
};

CFPropertyListRef deep_copy(CFTypeRef ref, CFOptionFlags option, int depth) {
    if (depth > kMaxPropertyListDepth) return nullptr;
    switch (CFGetTypeID(ref)) {
    case cf::kStringTypeID:
    case cf::kNumberTypeID:
    case cf::kBooleanTypeID: return CFRetain(ref);
    case cf::kDataTypeID: {
        const auto *d = cf::as<__CFData>(ref);
        if (option != kCFPropertyListMutableContainersAndLeaves) return CFDataCreate(nullptr, d->bytes.data(), static_cast<CFIndex>(d->bytes.size()));
        CFMutableDataRef m = CFDataCreateMutable(nullptr, 0);
        CFDataAppendBytes(m, d->bytes.data(), static_cast<CFIndex>(d->bytes.size()));
        return m;
    }
    case cf::kArrayTypeID: {
        const auto *a = cf::as<__CFArray>(ref);
        CFMutableArrayRef copy = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        for (const void *v : a->values) {
            CFPtr item(deep_copy(v, option, depth + 1));
            if (!item) {
                CFRelease(copy);
                return nullptr;
            }
            CFArrayAppendValue(copy, item.get());
        }
        if (option == kCFPropertyListImmutable) cf::as<__CFArray>(copy)->is_mutable = false;
        return copy;
    }
    case cf::kDictionaryTypeID: {
        const auto *d = cf::as<__CFDictionary>(ref);
        CFMutableDictionaryRef copy = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                &kCFTypeDictionaryValueCallBacks);
        for (const auto &e : d->entries) {
            CFPtr value(CFGetTypeID(e.key) == cf::kStringTypeID ? deep_copy(e.value, option, depth + 1) : nullptr);
            if (!value) {
                CFRelease(copy);
                return nullptr;
            }
            CFDictionarySetValue(copy, e.key, value.get());
        }
        if (option == kCFPropertyListImmutable) cf::as<__CFDictionary>(copy)->is_mutable = false;
        return copy;
    }
    default: return nullptr;
    }
}

}  // namespace

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef property_list, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef *error) {
    if (error != nullptr) *error = nullptr;
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        cf::set_error(error, kCFPropertyListWriteStreamError,
                      "property lists are written as XML or binary only (format " + std::to_string(format) + ")");
        return nullptr;
    }
    Writer writer;
    PlistPtr root(writer.convert(property_list, 1));
    if (!root) {
        cf::set_error(error, kCFPropertyListWriteStreamError, writer.problem());
        return nullptr;
    }
    char *bytes = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0)
        plist_to_xml(root.get(), &bytes, &length);
    else
        plist_to_bin(root.get(), &bytes, &length);
    if (bytes == nullptr) {
        cf::set_error(error, kCFPropertyListWriteStreamError, "the property list could not be serialised");
        return nullptr;
    }
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes), length);
    if (format == kCFPropertyListXMLFormat_v1_0)
        plist_to_xml_free(bytes);
    else
        plist_to_bin_free(bytes);
    return data;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat *format, CFErrorRef *error) {
    if (error != nullptr) *error = nullptr;
    const auto *d = cf::as<__CFData>(data);
    if (d == nullptr) {
        cf::set_error(error, kCFPropertyListReadCorruptError, "no property list data was given");
        return nullptr;
    }
    cf::PropertyListEncoding encoding = cf::PropertyListEncoding::xml;
    std::string problem = cf::check_property_list_bytes(d->bytes.data(), d->bytes.size(), encoding);
    if (!problem.empty()) {
        cf::set_error(error, kCFPropertyListReadCorruptError, problem);
        return nullptr;
    }
    plist_t parsed = nullptr;
    const char *bytes = reinterpret_cast<const char *>(d->bytes.data());
    auto length = static_cast<uint32_t>(d->bytes.size());
    if (encoding == cf::PropertyListEncoding::binary)
        plist_from_bin(bytes, length, &parsed);
    else
        plist_from_xml(bytes, length, &parsed);
    PlistPtr root(parsed);
    if (!root) {
        cf::set_error(error, kCFPropertyListReadCorruptError,
                      encoding == cf::PropertyListEncoding::binary ? "the data is not a readable binary property list"
                                                                   : "the data is not a readable XML property list");
        return nullptr;
    }
    Reader reader(options);
    CFPropertyListRef result = reader.convert(root.get(), 1);
    if (result == nullptr) {
        cf::set_error(error, kCFPropertyListReadCorruptError, reader.problem());
        return nullptr;
    }
    if (format != nullptr)
        *format = encoding == cf::PropertyListEncoding::binary ? kCFPropertyListBinaryFormat_v1_0 : kCFPropertyListXMLFormat_v1_0;
    return result;
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef property_list, CFOptionFlags option) {
    return deep_copy(property_list, option, 1);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) return false;
    Writer writer;
    PlistPtr root(writer.convert(plist, 1));
    return root != nullptr;
}
