// CFError: a domain, a code and a user-info dictionary whose description names the problem.
// Thread-safety: immutable; any thread.
#include "cf/CFRuntime.h"

const CFErrorDomain kCFErrorDomainPOSIX = CFSTR("NSPOSIXErrorDomain");
const CFErrorDomain kCFErrorDomainOSStatus = CFSTR("NSOSStatusErrorDomain");
const CFErrorDomain kCFErrorDomainCocoa = CFSTR("NSCocoaErrorDomain");
const CFStringRef kCFErrorDescriptionKey = CFSTR("NSDescription");

__CFError::~__CFError() {
    CFRelease(domain);
    CFRelease(user_info);
}

std::string __CFError::describe() const {
    std::string_view text = cf::string_view(CFDictionaryGetValue(user_info, kCFErrorDescriptionKey));
    if (!text.empty()) return std::string(text);
    return "The operation couldn't be completed. (" + std::string(cf::string_view(domain)) + " error " +
           std::to_string(code) + ".)";
}

namespace cf {

CFErrorRef make_error(CFIndex code, const std::string &description) {
    CFStringRef text = make_string(is_valid_utf8(description) ? description : std::string("invalid property list"));
    const void *keys[] = {kCFErrorDescriptionKey};
    const void *values[] = {text};
    CFDictionaryRef info = CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks);
    CFRelease(text);
    CFErrorRef error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    return error;
}

void set_error(CFErrorRef *out, CFIndex code, const std::string &description) {
    if (out != nullptr) *out = make_error(code, description);
}

}  // namespace cf

CFTypeID CFErrorGetTypeID(void) { return cf::kErrorTypeID; }

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code, CFDictionaryRef user_info) {
    if (cf::as<__CFString>(domain) == nullptr) return nullptr;
    auto *e = new __CFError;
    e->domain = static_cast<CFStringRef>(CFRetain(domain));
    e->code = code;
    // A user-info that is not a dictionary is dropped rather than kept and misread later.
    if (cf::as<__CFDictionary>(user_info) != nullptr) e->user_info = static_cast<CFDictionaryRef>(CFRetain(user_info));
    return e;
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err) {
    const auto *e = cf::as<__CFError>(err);
    return e != nullptr ? e->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
    const auto *e = cf::as<__CFError>(err);
    return e != nullptr ? e->code : 0;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
    const auto *e = cf::as<__CFError>(err);
    return e != nullptr ? cf::make_string(e->describe()) : nullptr;
}
