#include "ui/OffscreenWindow.h"

#include "WindowDrawing.h"
#include "ui/GraphicsContext.h"

#include <cairo.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace ui {

OffscreenWindow::OffscreenWindow(Size size, double scale)
    : Window(size), _scale(std::isfinite(scale) && scale > 0 ? scale : 1.0) {
    recreate_surface();
}

OffscreenWindow::~OffscreenWindow() { cairo_surface_destroy(_surface); }

void OffscreenWindow::recreate_surface() {
    if (_surface) cairo_surface_destroy(_surface);
    const Size s = content_size();
    _surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, int(std::ceil(s.width * _scale))),
                                          std::max(1, int(std::ceil(s.height * _scale))));
    mark_all_needs_display();
}

void OffscreenWindow::set_content_size(Size size) {
    Window::set_content_size(size);
    recreate_surface();
}

int OffscreenWindow::pixel_width() const { return cairo_image_surface_get_width(_surface); }
int OffscreenWindow::pixel_height() const { return cairo_image_surface_get_height(_surface); }

void OffscreenWindow::display_if_needed() {
    if (!needs_display()) return;
    const Rect dirty = dirty_rect();
    clear_dirty();
    draw_window_into(*this, _surface, dirty, _scale);
}

void OffscreenWindow::display() {
    mark_all_needs_display();
    display_if_needed();
}

Color OffscreenWindow::pixel_at(Point p) {
    return pixel_at_device(int(std::floor(p.x * _scale)), int(std::floor(pixel_height() - p.y * _scale)));
}

Color OffscreenWindow::pixel_at_device(int px, int py) {
    display_if_needed();
    if (px < 0 || py < 0 || px >= pixel_width() || py >= pixel_height()) return Color::clear();
    cairo_surface_flush(_surface);
    const unsigned char *row = cairo_image_surface_get_data(_surface) + py * cairo_image_surface_get_stride(_surface);
    uint32_t argb;
    std::memcpy(&argb, row + 4 * px, 4);
    const double a = (argb >> 24) / 255.0;
    if (a == 0) return Color::clear();
    auto channel = [&](int shift) { return std::min(1.0, ((argb >> shift) & 0xff) / 255.0 / a); };
    return {channel(16), channel(8), channel(0), a};
}

bool OffscreenWindow::write_png(const std::string &path, std::string *error) {
    display_if_needed();
    const cairo_status_t status = cairo_surface_write_to_png(_surface, path.c_str());
    if (status == CAIRO_STATUS_SUCCESS) return true;
    if (error) *error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return false;
}

}  // namespace ui
