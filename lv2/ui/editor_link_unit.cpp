#include "editor_link_unit.h"

#include "platform/component_request.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

namespace zentrova_lv2 {

namespace {

using zentrova::k_follower_level_property;

struct property_listener {
    AudioUnitPropertyListenerProc proc;
    void *user_data;
};

struct editor_link {
    AudioUnit self = nullptr;
    AudioUnit wrapped = nullptr;
    Float64 level = 0;
    std::vector<property_listener> level_listeners;
};

// Sends the request on to the wrapped instance, with its handle in slot 0.
OSStatus forward(editor_link &link, const ComponentParameters *p) {
    if (link.wrapped == nullptr) return kAudioUnitErr_NoConnection;
    alignas(ComponentParameters) unsigned char copy[offsetof(ComponentParameters, params) + 256] = {};
    std::memcpy(copy, p, offsetof(ComponentParameters, params) + p->paramSize);
    auto *request = reinterpret_cast<ComponentParameters *>(copy);
    const uintptr_t handle = platform::encode_ptr(link.wrapped);
    std::memcpy(request->params, &handle, sizeof handle);
    return CallComponentDispatch(link.wrapped, request);
}

bool is_level(const platform::ComponentRequest &r) {
    return r.u32(0) == k_follower_level_property && r.u32(1) == kAudioUnitScope_Global;
}

OSStatus set_property(editor_link &link, const ComponentParameters *p) {
    const platform::ComponentRequest r(p);
    const UInt32 id = r.u32(0), scope = r.u32(1), size = r.u32(4);
    const void *data = r.ptr<const void>(3);
    if (scope == kAudioUnitScope_Global && id == k_editor_link_property_wrapped_component) {
        if (link.wrapped != nullptr) return kAudioUnitErr_PropertyNotWritable;
        if (data == nullptr || size != sizeof(AudioComponent)) return kAudioUnitErr_InvalidPropertyValue;
        AudioComponent component;
        std::memcpy(&component, data, sizeof component);
        return AudioComponentInstanceNew(component, &link.wrapped);
    }
    if (!is_level(r)) return forward(link, p);
    if (data == nullptr || size != sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
    std::memcpy(&link.level, data, sizeof link.level);
    // A listener may remove itself from its callback: call a copy.
    const std::vector<property_listener> listeners = link.level_listeners;
    for (const property_listener &l : listeners)
        l.proc(l.user_data, link.self, k_follower_level_property, kAudioUnitScope_Global, r.u32(2));
    return noErr;
}

OSStatus remove_level_listener(editor_link &link, const platform::ComponentRequest &r, bool match_user_data) {
    const auto proc = r.proc<AudioUnitPropertyListenerProc>(1);
    void *user_data = match_user_data ? r.ptr<void>(2) : nullptr;
    std::erase_if(link.level_listeners, [&](const property_listener &l) {
        return l.proc == proc && (!match_user_data || l.user_data == user_data);
    });
    return noErr;
}

OSStatus dispatch(editor_link &link, ComponentParameters *p) {
    const platform::ComponentRequest r(p);
    switch (r.what()) {
    case kComponentCloseSelect:
        if (link.wrapped != nullptr) AudioComponentInstanceDispose(link.wrapped);
        delete &link;
        return noErr;
    case kAudioUnitGetPropertyInfoSelect:
        if (!is_level(r)) return forward(link, p);
        if (auto size = r.ptr<UInt32>(3)) *size = sizeof(Float64);
        if (auto writable = r.ptr<Boolean>(4)) *writable = true;
        return noErr;
    case kAudioUnitGetPropertySelect: {
        if (!is_level(r)) return forward(link, p);
        auto *data = r.ptr<void>(3);
        auto *size = r.ptr<UInt32>(4);
        if (data == nullptr || size == nullptr || *size < sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(data, &link.level, sizeof link.level);
        *size = sizeof(Float64);
        return noErr;
    }
    case kAudioUnitSetPropertySelect: return set_property(link, p);
    case kAudioUnitAddPropertyListenerSelect:
        if (r.u32(0) != k_follower_level_property) return forward(link, p);
        if (r.proc<AudioUnitPropertyListenerProc>(1) == nullptr) return paramErr;
        link.level_listeners.push_back({r.proc<AudioUnitPropertyListenerProc>(1), r.ptr<void>(2)});
        return noErr;
    case kAudioUnitRemovePropertyListenerSelect:
        return r.u32(0) == k_follower_level_property ? remove_level_listener(link, r, false) : forward(link, p);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return r.u32(0) == k_follower_level_property ? remove_level_listener(link, r, true) : forward(link, p);
    default: return forward(link, p);
    }
}

}  // namespace

}  // namespace zentrova_lv2

// The component's entry, named by the link bundle's Info.plist.
extern "C" __attribute__((visibility("default"))) OSStatus ZentrovaEditorLinkEntry(ComponentParameters *params,
                                                                                    void *storage) {
    using zentrova_lv2::editor_link;
    if (params == nullptr) return paramErr;
    try {
        if (params->what == kComponentOpenSelect) {
            auto *link = new editor_link;
            link->self = platform::ComponentRequest(params).instance();
            SetComponentInstanceStorage(link->self, link);
            return noErr;
        }
        if (storage == nullptr) return badComponentInstance;
        return zentrova_lv2::dispatch(*static_cast<editor_link *>(storage), params);
    } catch (const std::bad_alloc &) {
        return memFullErr;
    }
}
