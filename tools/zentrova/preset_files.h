// `.aupreset` files: the effect's ClassInfo state as an XML property list.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <filesystem>
#include <string>

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
    bool _force;
};

// Writes the state as XML, through a temporary file renamed into place.
void write_preset_file(const std::filesystem::path &path, CFPropertyListRef state, bool force);

class effect_host;

// Reads the preset at `path` and restores it into `host`. The restore is the effect's own; a
// preset whose parameter data is cut short or unreadable is still restored as far as it goes, with
// a warning on standard error naming the file and how many values it held. A restored value that
// is not a number, infinite or outside its parameter's range is refused with user_error naming the
// parameter.
void restore_preset(effect_host &host, const std::filesystem::path &path);

// The same for a state already read (a dictionary); `source` names it in messages ("preset \"x\"").
void restore_checked_state(effect_host &host, CFPropertyListRef state, const std::string &source);

}  // namespace zentrova_cli
