// What a saved state may hold before the plug-in hands it to the component. The component's own
// restore writes whatever values the state carries straight into the parameters, so a damaged or
// hand-edited state (a NaN, "Formant Level" at 1e9 dB, a menu item that does not exist) would be
// restored "with success", heard as silence or a full-scale square wave, and saved back out.
#pragma once

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <string>

namespace zentrova_lv2 {

// Empty when every value the state's parameter data holds for the global element is one its
// parameter may take: a number, within the parameter's range, and a whole item number for a
// menu. Otherwise one line naming the first parameter that is not, and its value. The data is
// walked as the component walks it (whole records only).
std::string unusable_state_value(AudioUnit unit, CFPropertyListRef class_info);

}  // namespace zentrova_lv2
