// `.aupreset` files: the effect's ClassInfo state as an XML property list.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>

namespace zentrova_cli {

// Reads and parses a property-list file; throws user_error naming the file and the problem.
// The caller releases the result.
CFPropertyListRef read_preset_file(const std::filesystem::path &path);

// The state as XML in a temporary file beside `path` (so an unwritable folder shows at once);
// commit() renames it into place, and otherwise the destructor removes it.
class preset_file_writer {
public:
    preset_file_writer(const std::filesystem::path &path, CFPropertyListRef state, bool force);
    ~preset_file_writer();
    preset_file_writer(const preset_file_writer &) = delete;
    preset_file_writer &operator=(const preset_file_writer &) = delete;
    void commit();

private:
    std::filesystem::path _path, _temporary;
};

// Writes the state as XML, through a temporary file renamed into place.
void write_preset_file(const std::filesystem::path &path, CFPropertyListRef state, bool force);

}  // namespace zentrova_cli
