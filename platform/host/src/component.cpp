#include "host/component.h"

#include "host/cf_string.h"

#include <climits>
#include <unistd.h>

namespace host {

std::string component_name(AudioComponent component) {
    CFStringRef name = nullptr;
    if (AudioComponentCopyName(component, &name) != noErr || name == nullptr) return {};
    std::string text = to_string(name);
    CFRelease(name);
    return text;
}

AudioComponent find_component(OSType type, std::string_view name_part) {
    const AudioComponentDescription wanted{type, 0, 0, 0, 0};
    for (AudioComponent c = AudioComponentFindNext(nullptr, &wanted); c; c = AudioComponentFindNext(c, &wanted))
        if (component_name(c).find(name_part) != std::string::npos) return c;
    return nullptr;
}

AudioComponent register_first_bundle(std::initializer_list<std::filesystem::path> candidates) {
    for (const std::filesystem::path &candidate : candidates) {
        std::error_code ignored;
        AudioComponent component = nullptr;
        if (std::filesystem::is_directory(candidate, ignored) &&
            AudioComponentRegisterBundle(candidate.c_str(), &component) == noErr && component != nullptr)
            return component;
    }
    return nullptr;
}

AudioComponent register_bundle_beside(std::filesystem::path folder, std::string_view bundle_name) {
    if (folder.empty()) return nullptr;
    if (!folder.has_filename()) folder = folder.parent_path();  // "…/Zentrova.lv2/"
    if (AudioComponent c = register_first_bundle({folder / bundle_name, folder.parent_path() / bundle_name})) return c;
    std::error_code failed;
    const std::filesystem::path resolved = std::filesystem::canonical(folder, failed);
    return failed ? nullptr : register_first_bundle({resolved.parent_path() / bundle_name});
}

std::filesystem::path executable_path() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return {};
    return std::filesystem::path(std::string(self, static_cast<std::size_t>(length)));
}

}  // namespace host
