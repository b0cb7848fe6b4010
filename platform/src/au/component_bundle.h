// Reading one `*.component` bundle folder: its Info.plist, its shared object and the entry
// symbols its components name. Internal to libauplatform.so.
#pragma once

#include "au/component_registry.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::au {

struct BundleLoadResult {
    OSStatus status = noErr;
    std::string problem;  // set when status is not noErr
    std::vector<std::unique_ptr<OpaqueAudioComponent>> components;
};

// `canonical_path` must already be resolved (realpath) and be a folder. Opens the shared object
// and keeps it open when every component resolves; on any failure nothing stays loaded.
BundleLoadResult load_component_bundle(const std::string &canonical_path);

}  // namespace platform::au
