// Files of the editor bundle's resources (its interface descriptions). [UI thread]
#pragma once

#include <string>

namespace view {

// The bundle identifier of the editor bundle, as its Info.plist declares it.
inline constexpr const char *editor_bundle_identifier = "com.Harrowfield.audiounit.Zentrova.view";

// The path of the interface description `name` in the resources of the editor bundle that the
// host opened, or empty when the bundle is not open or has no such file.
std::string interface_description_path(const std::string &name);

}  // namespace view
