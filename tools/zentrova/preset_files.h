// `.aupreset` files: the effect's ClassInfo state as an XML property list.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>

namespace zentrova_cli {

// Reads and parses a property-list file; throws user_error naming the file and the problem.
// The caller releases the result.
CFPropertyListRef read_preset_file(const std::filesystem::path &path);

// Writes the state as XML, through a temporary file renamed into place.
void write_preset_file(const std::filesystem::path &path, CFPropertyListRef state, bool force);

}  // namespace zentrova_cli
