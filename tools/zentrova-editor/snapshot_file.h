// The picture `--snapshot` writes, under the file rules of zentrova process: checked, and its
// temporary file made beside it, before any audio is rendered; written whole and renamed onto the
// destination (never through a link there, never over an existing file without --force).
#pragma once

#include <filesystem>

typedef struct _cairo_surface cairo_surface_t;

namespace zentrova_editor {

class snapshot_file {
public:
    // Throws user_error when the destination may not or cannot be written.
    snapshot_file(const std::filesystem::path &path, bool force);
    ~snapshot_file();  // removes the temporary unless write() placed it
    snapshot_file(const snapshot_file &) = delete;
    snapshot_file &operator=(const snapshot_file &) = delete;

    // The image as PNG; throws user_error naming the file and the cause.
    void write(cairo_surface_t *image);

private:
    std::filesystem::path _path, _temporary;
    int _fd = -1;
    bool _force;
};

}  // namespace zentrova_editor
