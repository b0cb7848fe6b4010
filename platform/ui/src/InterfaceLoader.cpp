#include "ui/InterfaceLoader.h"

#include "ui/ClassRegistry.h"

#include <CoreFoundation/CoreFoundation.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>

namespace ui {

namespace {

// An interface description is a few kilobytes; anything this large is not one.
constexpr size_t max_description_bytes = 1 << 20;

struct CFHolder {
    CFTypeRef ref = nullptr;
    ~CFHolder() {
        if (ref) CFRelease(ref);
    }
};

std::string string_of(CFTypeRef value) {
    if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return {};
    auto s = static_cast<CFStringRef>(value);
    if (const char *p = CFStringGetCStringPtr(s, kCFStringEncodingUTF8)) return p;
    std::string buffer(size_t(CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8)) + 1,
                       '\0');
    if (!CFStringGetCString(s, buffer.data(), CFIndex(buffer.size()), kCFStringEncodingUTF8)) return {};
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return buffer;
}

bool is_string(CFTypeRef v) { return v && CFGetTypeID(v) == CFStringGetTypeID(); }

bool number_of(CFTypeRef value, double &out) {
    if (!value || CFGetTypeID(value) != CFNumberGetTypeID()) return false;
    return CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &out) && std::isfinite(out);
}

CFTypeRef value_for(CFDictionaryRef d, const char *key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef v = CFDictionaryGetValue(d, k);
    CFRelease(k);
    return v;
}

// "frame": four numbers x, y, width, height (width and height not negative).
bool frame_of(CFTypeRef value, Rect &out) {
    if (!value || CFGetTypeID(value) != CFArrayGetTypeID()) return false;
    auto a = static_cast<CFArrayRef>(value);
    if (CFArrayGetCount(a) != 4) return false;
    double v[4];
    for (CFIndex i = 0; i < 4; ++i)
        if (!number_of(CFArrayGetValueAtIndex(a, i), v[i])) return false;
    if (v[2] < 0 || v[3] < 0) return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

struct Entry {
    std::string id;
    std::string parent;
    std::string outlet;
    std::unique_ptr<View> view;
    View *raw = nullptr;
    CFDictionaryRef properties = nullptr;
};

InterfaceLoadResult fail(std::string message) {
    InterfaceLoadResult r;
    r.error = std::move(message);
    return r;
}

void apply_properties(View *view, CFDictionaryRef props) {
    auto *target = dynamic_cast<DescribedProperties *>(view);
    if (!target || !props) return;
    const CFIndex n = CFDictionaryGetCount(props);
    std::vector<const void *> keys(static_cast<size_t>(n)), values(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(props, keys.data(), values.data());
    for (CFIndex i = 0; i < n; ++i) {
        const std::string key = string_of(keys[size_t(i)]);
        double number;
        if (is_string(values[size_t(i)]))
            target->set_described_string(key, string_of(values[size_t(i)]));
        else if (number_of(values[size_t(i)], number))
            target->set_described_number(key, number);
    }
}

InterfaceLoadResult load(CFPropertyListRef root, const std::string &where, const std::vector<Outlet> &outlets) {
    if (!root || CFGetTypeID(root) != CFDictionaryGetTypeID()) return fail(where + ": not a property-list dictionary");
    CFTypeRef list = value_for(static_cast<CFDictionaryRef>(root), "views");
    if (!list || CFGetTypeID(list) != CFArrayGetTypeID()) return fail(where + ": no \"views\" array");
    auto views = static_cast<CFArrayRef>(list);

    std::vector<Entry> entries;
    std::map<std::string, size_t> by_id;
    for (CFIndex i = 0; i < CFArrayGetCount(views); ++i) {
        const std::string at = where + ": view " + std::to_string(i);
        CFTypeRef item = CFArrayGetValueAtIndex(views, i);
        if (!item || CFGetTypeID(item) != CFDictionaryGetTypeID()) return fail(at + " is not a dictionary");
        auto d = static_cast<CFDictionaryRef>(item);
        Entry e;
        const std::string class_name = string_of(value_for(d, "class"));
        if (class_name.empty()) return fail(at + " has no class");
        e.id = string_of(value_for(d, "id"));
        e.parent = string_of(value_for(d, "parent"));
        e.outlet = string_of(value_for(d, "outlet"));
        Rect frame;
        if (!frame_of(value_for(d, "frame"), frame)) return fail(at + " (" + class_name + ") has no valid frame");
        if (!e.id.empty() && by_id.count(e.id)) return fail(at + " repeats the id \"" + e.id + "\"");
        if (!e.parent.empty() && !by_id.count(e.parent))
            return fail(at + " (" + class_name + ") names the parent \"" + e.parent + "\" before it is defined");
        CFTypeRef props = value_for(d, "properties");
        if (props && CFGetTypeID(props) == CFDictionaryGetTypeID()) e.properties = static_cast<CFDictionaryRef>(props);
        e.view = ClassRegistry::shared().create_view(class_name);
        if (!e.view) return fail(at + ": unknown view class \"" + class_name + "\"");
        e.raw = e.view.get();
        e.raw->initWithFrame(frame);
        if (!e.id.empty()) by_id[e.id] = entries.size();
        entries.push_back(std::move(e));
    }

    // Outlets are checked before any is connected, so a failure writes no field of the owner.
    std::vector<std::pair<const Outlet *, View *>> connections;
    for (const Entry &e : entries) {
        if (e.outlet.empty()) continue;
        const Outlet *match = nullptr;
        for (const Outlet &o : outlets)
            if (o.name == e.outlet) match = &o;
        if (!match) return fail(where + ": the owner has no outlet \"" + e.outlet + "\"");
        if (match->accepts && !match->accepts(e.raw))
            return fail(where + ": the view for outlet \"" + e.outlet + "\" is of the wrong class");
        connections.emplace_back(match, e.raw);
    }

    InterfaceLoadResult result;
    for (Entry &e : entries) {
        apply_properties(e.raw, e.properties);
        if (e.parent.empty())
            result.top_level_views.push_back(std::move(e.view));
        else
            entries[by_id[e.parent]].raw->add_subview(std::move(e.view));
    }
    for (auto &[outlet, view] : connections)
        if (outlet->connect) outlet->connect(view);
    for (Entry &e : entries) e.raw->awakeFromNib();
    result.ok = true;
    return result;
}

}  // namespace

InterfaceLoadResult load_interface_description_from_data(const void *bytes, size_t size,
                                                         const std::vector<Outlet> &outlets) {
    if (!bytes || size == 0) return fail("empty interface description");
    if (size > max_description_bytes) return fail("interface description larger than 1 MiB");
    CFHolder data{CFDataCreate(nullptr, static_cast<const UInt8 *>(bytes), CFIndex(size))};
    CFHolder root{CFPropertyListCreateWithData(nullptr, static_cast<CFDataRef>(data.ref), 0, nullptr, nullptr)};
    if (!root.ref) return fail("interface description is not a property list");
    return load(root.ref, "interface description", outlets);
}

InterfaceLoadResult load_interface_description(const std::string &path, const std::vector<Outlet> &outlets) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot open " + path);
    std::string bytes;
    bytes.resize(max_description_bytes + 1);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    if (bytes.size() > max_description_bytes) return fail(path + ": larger than 1 MiB");
    InterfaceLoadResult r = load_interface_description_from_data(bytes.data(), bytes.size(), outlets);
    if (!r.ok && r.error.rfind("interface description", 0) == 0) r.error = path + ": " + r.error;
    return r;
}

}  // namespace ui
