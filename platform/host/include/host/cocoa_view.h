// An effect's editor, obtained the way a host on the original platform gets it: the Cocoa UI
// property names a bundle and a factory class; open the bundle, load its code, create the factory
// by name and ask it for a view bound to the unit. In auplatform_host_ui, apart from the rest of
// the kit, since it needs the drawing and windows stand-in. [UI thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include "ui/View.h"

#include <memory>
#include <string>

namespace host {

struct cocoa_view {
    std::unique_ptr<ui::View> view;   // null on failure
    std::string factory_description;  // the factory's own name for itself
    unsigned interface_version = 0;
    std::string error;                // why there is no view
};

// The editor bundle stays loaded for the rest of the process: its classes are registered by name,
// and views made later come from them again.
cocoa_view open_cocoa_view(AudioUnit unit, ui::Size preferred_size = {});

}  // namespace host
