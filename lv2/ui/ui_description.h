// The UI's part of the LV2 bundle's description: one X11 UI for every plug-in. The description
// generator writes it; the UI's entry answers to the same URI.
#pragma once

#include "../port_layout.h"

#include <ostream>

namespace zentrova_lv2 {

inline constexpr const char *k_ui_uri = "urn:harrowfield:zentrova:ui";
inline constexpr const char *k_ui_binary = "zentrova_lv2_ui.so";

// Prefixes the declarations below need, beside the generator's own.
inline constexpr const char *k_ui_prefixes =
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n";

// For manifest.ttl: each plug-in names the UI, and the UI what it needs. The host must drive the
// editor from its UI thread (idle); a parent window is optional since hosts without embedding
// show the editor's own window through the show interface. The level is an output port the
// editor's meter follows.
inline void write_ui_manifest(std::ostream &out) {
    for (const plugin_variant &plugin : k_plugins)
        out << "<" << plugin.uri << ">\n    ui:ui <" << k_ui_uri << "> .\n\n";
    out << "<" << k_ui_uri << ">\n    a ui:X11UI ;\n    ui:binary <" << k_ui_binary << "> ;\n"
        << "    lv2:requiredFeature ui:idleInterface ;\n"
        << "    lv2:optionalFeature ui:parent, ui:resize, opts:options, urid:map ;\n"
        << "    lv2:extensionData ui:idleInterface, ui:showInterface, ui:resize";
    for (const plugin_variant &plugin : k_plugins)
        out << " ;\n    ui:portNotification [ ui:plugin <" << plugin.uri
            << "> ; lv2:symbol \"level\" ; ui:protocol ui:floatProtocol ]";
    out << " .\n\n";
}

}  // namespace zentrova_lv2
