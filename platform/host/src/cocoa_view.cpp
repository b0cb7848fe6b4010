#include "host/cocoa_view.h"

#include "host/cf_string.h"

#include <AudioUnit/AUCocoaUIView.h>
#include <CoreFoundation/CoreFoundation.h>

#include "ui/ClassRegistry.h"

namespace host {

cocoa_view open_cocoa_view(AudioUnit unit, ui::Size preferred_size) {
    cocoa_view result;
    AudioUnitCocoaViewInfo info{};
    UInt32 size = sizeof info;
    const OSStatus status =
        AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size);
    if (status != noErr) {
        result.error = "the effect names no editor (Cocoa UI property: status " + std::to_string(status) + ")";
        return result;
    }
    const std::string class_name = to_string(info.mCocoaAUViewClass[0]);
    CFBundleRef bundle = CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewBundleLocation);
    if (info.mCocoaAUViewClass[0] != nullptr) CFRelease(info.mCocoaAUViewClass[0]);
    if (bundle == nullptr) {
        result.error = "the editor bundle cannot be opened";
        return result;
    }
    const bool loaded = CFBundleLoadExecutable(bundle);
    CFRelease(bundle);
    if (!loaded) {
        result.error = "the editor bundle's code cannot be loaded";
        return result;
    }
    std::unique_ptr<ui::Object> object = ui::ClassRegistry::shared().create(class_name);
    auto *factory = dynamic_cast<AUCocoaUIBase *>(object.get());
    if (factory == nullptr) {
        result.error = "the editor bundle has no factory class \"" + class_name + "\"";
        return result;
    }
    result.factory_description = factory->description();
    result.interface_version = factory->interfaceVersion();
    result.view = factory->uiViewForAudioUnit(unit, preferred_size);
    if (!result.view) result.error = "the factory made no view";
    return result;
}

}  // namespace host
