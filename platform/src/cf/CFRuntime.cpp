// Reference counting and the polymorphic operations every CF object shares.
// Thread-safety: counts are atomic, so retain and release may run on any thread; CFEqual and
// CFHash read their objects and are safe while nobody mutates them.
#include "cf/CFRuntime.h"

#include <cstdio>

namespace cf {

std::string Object::describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "<CF object %p, type %lu>", static_cast<const void *>(this), type);
    return text;
}

void log(const char *subsystem, const std::string &message) {
    // One fprintf per line keeps concurrent messages from interleaving mid-line.
    std::fprintf(stderr, "%s: %s\n", subsystem, message.c_str());
}

}  // namespace cf

// CFRetain(NULL) and CFRelease(NULL) are fatal on the original platform; here they do nothing, so a
// failed creation followed by an unconditional release cannot take the process down.
CFTypeRef CFRetain(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    if (o != nullptr && !o->immortal) const_cast<cf::Object *>(o)->retain_count.fetch_add(1, std::memory_order_relaxed);
    return cf_ref;
}

void CFRelease(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    if (o == nullptr || o->immortal) return;
    auto *obj = const_cast<cf::Object *>(o);
    // acq_rel: every write made through other references happens before the destructor runs.
    if (obj->retain_count.fetch_sub(1, std::memory_order_acq_rel) == 1) delete obj;
}

CFIndex CFGetRetainCount(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    if (o == nullptr) return 0;
    // Constants report a huge count, as the original platform does for its immortal objects.
    return o->immortal ? static_cast<CFIndex>(INT64_MAX) : o->retain_count.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    return o != nullptr ? o->type : 0;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    if (cf1 == cf2) return true;
    const cf::Object *a = cf::object(cf1);
    const cf::Object *b = cf::object(cf2);
    if (a == nullptr || b == nullptr || a->type != b->type) return false;
    return a->equal(*b);
}

CFHashCode CFHash(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    return o != nullptr ? o->hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf_ref) {
    const cf::Object *o = cf::object(cf_ref);
    if (o == nullptr) return cf::make_string(cf_ref == nullptr ? "(null)" : "<not a CF object>");
    std::string text = o->describe();
    // Descriptions embed user data (for example data bytes or string contents that are known to be
    // valid), but a describe() of a foreign type might not be: never build an invalid string.
    if (!cf::is_valid_utf8(text)) text = "<undescribable>";
    return cf::make_string(text);
}
