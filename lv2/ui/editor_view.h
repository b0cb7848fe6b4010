// The effect's own editor, obtained the way a host on the original platform gets it: the Cocoa UI
// property names a bundle and a factory class; open the bundle, load its code, create the factory
// by name and ask it for a view bound to the unit. [UI thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include "ui/View.h"

#include <memory>
#include <string>

namespace zentrova_lv2 {

// The view, or null with *error saying why.
std::unique_ptr<ui::View> open_editor_view(AudioUnit unit, std::string *error);

}  // namespace zentrova_lv2
