#include "snapshot_file.h"

#include "../zentrova/cli_errors.h"
#include "../zentrova/file_paths.h"

#include <cairo.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace zentrova_editor {

using zentrova_cli::user_error;

snapshot_file::snapshot_file(const std::filesystem::path &path, bool force) : _path(path), _force(force) {
    zentrova_cli::check_destination(path, force, "the snapshot");
    _fd = zentrova_cli::create_temporary_beside(path, _temporary);
}

snapshot_file::~snapshot_file() {
    if (_fd >= 0) ::close(_fd);
    if (!_temporary.empty()) ::unlink(_temporary.c_str());
}

void snapshot_file::write(cairo_surface_t *image) {
    struct sink {
        int fd;
        int error = 0;  // the first failed write's
    } out{_fd};
    const cairo_status_t status = cairo_surface_write_to_png_stream(
        image,
        [](void *closure, const unsigned char *data, unsigned int length) {
            auto &s = *static_cast<sink *>(closure);
            while (length > 0 && s.error == 0) {
                const ssize_t n = ::write(s.fd, data, length);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) s.error = n < 0 ? errno : EIO;
                else data += n, length -= unsigned(n);
            }
            return s.error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
        },
        &out);
    int failure = out.error;
    const int fd = _fd;
    _fd = -1;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (status != CAIRO_STATUS_SUCCESS || failure != 0)
        throw user_error("cannot write \"" + _path.string() + "\": " +
                         (failure != 0 ? std::strerror(failure) : cairo_status_to_string(status)));
    const std::filesystem::path temporary = _temporary;
    _temporary.clear();
    zentrova_cli::place_file(temporary, _path, _force, "the snapshot");
}

}  // namespace zentrova_editor
