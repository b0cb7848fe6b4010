// The unit the embedded editor is bound to: the editor link, a small component of its own that
// wraps one instance of the real Zentrova component inside the UI process. Its bundle declares it
// twice, named as the two plug-ins are ("Zentrova" and "Zentrova Mono", subtypes 'Zntr' and
// 'Zntm'), since the editor titles itself with its unit's component name.
//
// An LV2 UI may live apart from the DSP (another process, or a host that grants no instance
// access), so the editor cannot be bound to the unit that renders. It is bound to this one
// instead. Everything but the level read-out goes to the wrapped, never initialised, Zentrova
// instance: parameter storage, ranges, names, the Cocoa UI property that names the editor. The
// level read-out (zentrova::k_follower_level_property) is the link's own and writable: the UI writes the level it reads from
// the plug-in's `level` output port, and the link tells the level's property listeners, so the
// editor's meter follows the DSP through ports alone. [UI thread: every call]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include "zentrova_ids.h"

namespace zentrova_lv2 {

// Bundle folder, inside the LV2 bundle, and entry symbol of the link component.
inline constexpr const char *k_editor_link_bundle = "ZentrovaEditorLink.component";
inline constexpr OSType k_editor_link_type = 0x7A6C6E6B;             // 'zlnk'
inline constexpr OSType k_editor_link_manufacturer = 0x48726664;     // 'Hrfd'
inline constexpr OSType k_editor_link_subtype_stereo = 0x5A6E7472;   // 'Zntr'
inline constexpr OSType k_editor_link_subtype_mono = 0x5A6E746D;     // 'Zntm'

// Global scope, write only: an AudioComponent (the real Zentrova) whose instance the link wraps.
// Set once, before anything else is asked of the link.
inline constexpr AudioUnitPropertyID k_editor_link_property_wrapped_component = 64000;

}  // namespace zentrova_lv2
