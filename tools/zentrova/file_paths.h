// Checks and temporary files shared by everything the tool writes (audio files, presets, pictures):
// a destination is replaced only by renaming a finished temporary file beside it onto it, and a
// link at the destination is replaced, never written through.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace zentrova_cli {

// True when both paths name the same file (the same inode, or the same path once normalised).
bool same_file(const std::filesystem::path &a, const std::filesystem::path &b);

// Refuses a destination the tool must not replace: a folder, anything that is not a regular file
// (a device such as /dev/null, a pipe), an existing file without `force`, or a missing or
// read-only folder. `what` names the file in messages ("the output", "the preset").
void check_destination(const std::filesystem::path &path, bool force, const std::string &what);

// Reads the process's umask once; call before any thread starts. New files get 0666 & ~umask.
void remember_umask();

// Creates an empty temporary file beside `destination`: hidden, its name short enough to fit
// however long the destination's is. Its mode is the one the destination will have: that of the
// file it replaces, else 0666 less the umask. Answers its descriptor and sets `temporary`.
// Throws user_error when the folder is not writable.
int create_temporary_beside(const std::filesystem::path &destination, std::filesystem::path &temporary);

// The final step: renames `temporary` onto `destination`. Without `force` the step is exclusive,
// so a file that appeared at the destination meanwhile is refused rather than replaced. On any
// failure the temporary is removed and user_error names the destination.
void place_file(const std::filesystem::path &temporary, const std::filesystem::path &destination, bool force,
                const std::string &what);

}  // namespace zentrova_cli
