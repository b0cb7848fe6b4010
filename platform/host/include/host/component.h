// Finding a component: in the registry by name, or as a bundle at a known place (the bundle a
// host ships beside itself, or the one a plug-in wraps beside its own bundle). [control thread]
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace host {

// The component's name; empty when it has none.
std::string component_name(AudioComponent component);

// The first registered component of `type` whose name contains `name_part`; null when none does.
AudioComponent find_component(OSType type, std::string_view name_part);

// Registers the first candidate that is a folder and registers as a component bundle; null when
// none does. A candidate that is not a valid bundle is passed over, as a missing one is.
AudioComponent register_first_bundle(std::initializer_list<std::filesystem::path> candidates);

// The bundle `bundle_name` inside `folder` (an installed plug-in carries what it wraps), then
// beside it (a build folder), then beside the folder a symbolic link to `folder` resolves to.
// Never relative to the working directory: null for an empty `folder`.
AudioComponent register_bundle_beside(std::filesystem::path folder, std::string_view bundle_name);

// The running program's own file (/proc/self/exe); empty when it cannot be read.
std::filesystem::path executable_path();

}  // namespace host
