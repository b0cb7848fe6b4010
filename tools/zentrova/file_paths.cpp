#include "file_paths.h"

#include "cli_errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

mode_t creation_umask = 022;
bool umask_known = false;

// Room in a 255-byte name for the dot, the destination's name and the ".XXXXXX" suffix.
constexpr std::size_t max_temporary_stem = 200;

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
    const bool exists = fs::exists(status) || fs::is_symlink(fs::symlink_status(path, ec));
    if (fs::is_directory(status)) throw user_error(what + " \"" + path.string() + "\" is a folder");
    // Renaming onto a device or a pipe would replace it with a plain file (as root, even /dev/null).
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw user_error(what + " \"" + path.string() + "\" is not a regular file");
    if (exists && !force) throw user_error(what + " \"" + path.string() + "\" exists; use --force to replace it");
    const fs::path folder = folder_of(path);
    if (!fs::is_directory(folder, ec))
        throw user_error("cannot write \"" + path.string() + "\": the folder \"" + folder.string() + "\" does not exist");
    if (::access(folder.c_str(), W_OK) != 0)
        throw user_error("cannot write \"" + path.string() + "\": the folder \"" + folder.string() + "\" is not writable");
}

void remember_umask() {
    creation_umask = ::umask(022);
    ::umask(creation_umask);
    umask_known = true;
}

int create_temporary_beside(const fs::path &destination, fs::path &temporary) {
    if (!umask_known) remember_umask();
    const fs::path folder = folder_of(destination);
    const std::string name = destination.filename().string();
    std::string pattern = (folder / ("." + name.substr(0, max_temporary_stem) + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw user_error("cannot write \"" + destination.string() + "\": the folder \"" + folder.string() +
                         "\" is not writable");
    // A replaced file keeps its permissions, as with cp; a new one gets what the umask allows.
    // lstat: a link at the destination is replaced by the file, so its target's mode is no guide.
    struct stat existing {};
    const mode_t mode = ::lstat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : (0666 & ~creation_umask);
    ::fchmod(fd, mode);
    temporary = pattern;
    return fd;
}

void place_file(const fs::path &temporary, const fs::path &destination, bool force, const std::string &what) {
    int failure = 0;
    if (force) {
        if (::rename(temporary.c_str(), destination.c_str()) != 0) failure = errno;
    } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) != 0) {
        failure = errno;
        // A file system without exclusive rename: a hard link is exclusive too.
        if (failure == EINVAL || failure == ENOSYS) {
            failure = ::link(temporary.c_str(), destination.c_str()) == 0 ? 0 : errno;
            if (failure == 0) ::unlink(temporary.c_str());
        }
    }
    if (failure == 0) return;
    ::unlink(temporary.c_str());
    if (failure == EEXIST)
        throw user_error(what + " \"" + destination.string() + "\" appeared while it was being written; use --force to replace it");
    throw user_error("cannot write \"" + destination.string() + "\": " + std::strerror(failure));
}

}  // namespace zentrova_cli
