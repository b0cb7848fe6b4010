#include "editor_view.h"

#include <AudioUnit/AUCocoaUIView.h>
#include <CoreFoundation/CoreFoundation.h>

#include "ui/ClassRegistry.h"

namespace zentrova_lv2 {

namespace {

std::string text_of(CFStringRef s) {
    char buffer[512] = {};
    return s != nullptr && CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : std::string();
}

}  // namespace

std::unique_ptr<ui::View> open_editor_view(AudioUnit unit, std::string *error) {
    AudioUnitCocoaViewInfo info{};
    UInt32 size = sizeof info;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size);
    if (status != noErr) {
        *error = "the effect names no editor (Cocoa UI property: status " + std::to_string(status) + ")";
        return nullptr;
    }
    const std::string class_name = text_of(info.mCocoaAUViewClass[0]);
    CFBundleRef bundle = CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewBundleLocation);
    if (info.mCocoaAUViewClass[0] != nullptr) CFRelease(info.mCocoaAUViewClass[0]);
    // The bundle stays loaded for the life of the process: its classes are registered by name,
    // and views of a later UI instance are made from them again.
    const bool loaded = bundle != nullptr && CFBundleLoadExecutable(bundle);
    if (bundle != nullptr) CFRelease(bundle);
    if (!loaded) {
        *error = "the editor bundle cannot be opened or its code loaded";
        return nullptr;
    }
    std::unique_ptr<ui::Object> object = ui::ClassRegistry::shared().create(class_name);
    auto *factory = dynamic_cast<AUCocoaUIBase *>(object.get());
    if (factory == nullptr) {
        *error = "the editor bundle has no view factory \"" + class_name + "\"";
        return nullptr;
    }
    std::unique_ptr<ui::View> view = factory->uiViewForAudioUnit(unit, {});
    if (!view) *error = "the editor's factory made no view";
    return view;
}

}  // namespace zentrova_lv2
