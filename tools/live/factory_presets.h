// The factory presets: the same `.aupreset` files the LV2 bundle describes, shipped in
// share/zentrova/presets (beside bin/ in the build folder and once installed). A MIDI program
// change N selects the Nth of them in the order of their names, as LV2 hosts list them.
#pragma once

#include "zentrova_ids.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace zentrova_live {

struct factory_preset {
    std::string name;
    std::array<float, zentrova::k_parameter_count> values{};  // by parameter id
};

// share/zentrova/presets beside the running program's bin/ folder.
std::filesystem::path factory_preset_folder();

// [control thread] Every `.aupreset` file in `folder`, each restored into a scratch instance of
// the effect and read back as sixteen values (so a program change only sets parameters, which
// the real-time thread may do), sorted by name. A file the effect refuses is left out with a
// warning on stderr; a missing folder gives none.
std::vector<factory_preset> load_factory_presets(const std::filesystem::path &folder);

}  // namespace zentrova_live
