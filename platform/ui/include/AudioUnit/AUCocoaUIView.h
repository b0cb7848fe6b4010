// The host protocol of an editor view factory, as hosts on the original platform use it.
//
// An effect names its editor through the Cocoa UI property (kAudioUnitProperty_CocoaUI): the
// location of a bundle and the name of a factory class in it. The host opens the bundle, loads its
// executable (whose classes register themselves with ui::ClassRegistry), creates the class by
// name, and asks the factory for a view bound to one instance:
//
//   auto object = ui::ClassRegistry::shared().create(class_name);
//   auto *factory = dynamic_cast<AUCocoaUIBase *>(object.get());
//   std::unique_ptr<ui::View> view = factory->uiViewForAudioUnit(unit, {400, 300});
//
// All of it on the UI thread.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include "ui/Geometry.h"
#include "ui/View.h"

#include <memory>
#include <string>

class AUCocoaUIBase {
public:
    virtual ~AUCocoaUIBase() = default;
    // The version of this protocol the factory implements (0 is the only one).
    virtual unsigned interfaceVersion() = 0;
    // A view bound to `unit`, owned by the caller, or null when it cannot be made. The preferred
    // size is a hint a factory may ignore.
    virtual std::unique_ptr<ui::View> uiViewForAudioUnit(AudioUnit unit, ui::Size preferred_size) = 0;
    // A short human-readable name of the factory.
    virtual std::string description() const = 0;
};
