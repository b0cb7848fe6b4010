// Getting an effect's editor the way a host on the original platform does: the Cocoa UI property
// names a bundle and a factory class; open the bundle, load its code, create the factory by name
// and ask it for a view bound to the instance. [UI thread]
#pragma once

#include <AudioUnit/AUCocoaUIView.h>
#include <AudioUnit/AudioUnit.h>

#include "ui/View.h"

#include <memory>
#include <string>

namespace zentrova_editor {

struct cocoa_view {
    std::unique_ptr<ui::View> view;   // null on failure
    std::string factory_description;  // the factory's own name for itself
    unsigned interface_version = 0;
    std::string error;                // why there is no view
};

cocoa_view open_cocoa_view(AudioUnit unit, ui::Size preferred_size = {});

}  // namespace zentrova_editor
