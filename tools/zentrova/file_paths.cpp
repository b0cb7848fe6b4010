#include "file_paths.h"

#include "cli_errors.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace zentrova_cli {
namespace fs = std::filesystem;

namespace {

fs::path absolute_lexical(const fs::path &p) {
    std::error_code ec;
    fs::path a = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? fs::absolute(p).lexically_normal() : a;
}

fs::path folder_of(const fs::path &path) { return path.has_parent_path() ? path.parent_path() : fs::path("."); }

}  // namespace

bool same_file(const fs::path &a, const fs::path &b) {
    struct stat a_stat {}, b_stat {};
    if (::stat(a.c_str(), &a_stat) == 0 && ::stat(b.c_str(), &b_stat) == 0 && a_stat.st_dev == b_stat.st_dev &&
        a_stat.st_ino == b_stat.st_ino)
        return true;
    return absolute_lexical(a) == absolute_lexical(b);
}

void check_destination(const fs::path &path, bool force, const std::string &what) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (fs::is_directory(status)) throw user_error(what + " \"" + path.string() + "\" is a folder");
    // Renaming onto a device or a pipe would replace it with a plain file (as root, even /dev/null).
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw user_error(what + " \"" + path.string() + "\" is not a regular file");
    if (fs::exists(status) && !force)
        throw user_error(what + " \"" + path.string() + "\" exists; use --force to replace it");
    const fs::path folder = folder_of(path);
    if (!fs::is_directory(folder, ec))
        throw user_error("cannot write \"" + path.string() + "\": the folder \"" + folder.string() + "\" does not exist");
    if (::access(folder.c_str(), W_OK) != 0)
        throw user_error("cannot write \"" + path.string() + "\": the folder \"" + folder.string() + "\" is not writable");
}

int create_temporary_beside(const fs::path &destination, fs::path &temporary) {
    const fs::path folder = folder_of(destination);
    std::string pattern = (folder / ("." + destination.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw user_error("cannot write \"" + destination.string() + "\": the folder \"" + folder.string() +
                         "\" is not writable");
    fchmod(fd, 0644);
    temporary = pattern;
    return fd;
}

}  // namespace zentrova_cli
