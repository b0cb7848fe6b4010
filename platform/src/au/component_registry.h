// The process-wide component registry and the records behind the opaque handles of
// <AudioUnit/AudioComponent.h>. Internal to libauplatform.so.
#pragma once

#include <AudioUnit/AudioUnit.h>

#include <string>

// One component: one entry of a bundle's "AudioComponents" array. Registered components live as
// long as the process (their shared objects stay loaded), so handles never dangle.
struct OpaqueAudioComponent {
    std::string bundle_path;  // canonical path of the bundle folder
    AudioComponentDescription description{};
    std::string name;
    UInt32 version = 0;
    ComponentRoutineProcPtr entry = nullptr;
};

// One open instance. The handle hosts hold is a pointer to this record.
struct ComponentInstanceRecord {
    OpaqueAudioComponent *component = nullptr;
    ComponentRoutineProcPtr entry = nullptr;
    // Written by the component during Open (on the thread of AudioComponentInstanceNew) and read
    // on every later call; the host hands the instance to other threads after Open returns.
    void *storage = nullptr;
};

namespace platform::au {

// Loads one bundle folder and registers its components; answers the first one. Thread-safe.
OSStatus register_bundle(const char *bundle_path, AudioComponent *out_component);

// Scans the bundle folders once per process (thread-safe; later calls return at once).
void scan_component_folders_once();

// One line on stderr naming the path and the problem; every refused bundle ends here.
void report_bundle_problem(const std::string &path, const std::string &problem);

}  // namespace platform::au
