// Checks and temporary files shared by everything the tool writes (audio files and presets):
// a destination is replaced only by renaming a finished temporary file beside it onto it.
#pragma once

#include <filesystem>
#include <string>

namespace zentrova_cli {

// True when both paths name the same file (the same inode, or the same path once normalised).
bool same_file(const std::filesystem::path &a, const std::filesystem::path &b);

// Refuses a destination the tool must not replace: a folder, anything that is not a regular file
// (a device such as /dev/null, a pipe), an existing file without `force`, or a missing or
// read-only folder. `what` names the file in messages ("the output", "the preset").
void check_destination(const std::filesystem::path &path, bool force, const std::string &what);

// Creates an empty temporary file beside `destination` (mode 0644); answers its descriptor and
// sets `temporary`. Throws user_error when the folder is not writable.
int create_temporary_beside(const std::filesystem::path &destination, std::filesystem::path &temporary);

}  // namespace zentrova_cli
