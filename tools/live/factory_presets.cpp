#include "factory_presets.h"

#include "cli_errors.h"
#include "effect_host.h"
#include "preset_files.h"

#include "host/cf_string.h"
#include "host/component.h"

#include <algorithm>
#include <cstdio>

namespace zentrova_live {

std::filesystem::path factory_preset_folder() {
    const std::filesystem::path self = host::executable_path();
    if (self.empty()) return {};
    return self.parent_path().parent_path() / "share/zentrova/presets";
}

std::vector<factory_preset> load_factory_presets(const std::filesystem::path &folder) {
    std::vector<std::filesystem::path> files;
    std::error_code failed;
    for (const auto &entry : std::filesystem::directory_iterator(folder, failed))
        if (entry.path().extension() == ".aupreset") files.push_back(entry.path());
    if (files.empty()) return {};

    std::vector<factory_preset> presets;
    zentrova_cli::effect_host scratch;
    for (const auto &file : files) {
        try {
            zentrova_cli::restore_preset(scratch, file);
            factory_preset preset;
            preset.name = file.stem().string();
            CFPropertyListRef state = zentrova_cli::read_preset_file(file);
            const auto name = static_cast<CFStringRef>(
                CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("name")));
            if (name != nullptr && CFGetTypeID(name) == CFStringGetTypeID()) preset.name = host::to_string(name);
            CFRelease(state);
            for (std::uint32_t id = 0; id < zentrova::k_parameter_count; ++id)
                preset.values[id] = scratch.parameter(id);
            presets.push_back(std::move(preset));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "zentrova: factory preset %s left out: %s\n", file.c_str(), e.what());
        }
    }
    std::sort(presets.begin(), presets.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    return presets;
}

}  // namespace zentrova_live
