// A window that draws into an image: snapshots, the gallery and the drawing tests.
#pragma once

#include "ui/Window.h"

#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace ui {

class OffscreenWindow : public Window {
public:
    // `scale` pixels per point; the image is ceil(width * scale) x ceil(height * scale) pixels.
    explicit OffscreenWindow(Size content_size, double scale = 1.0);
    ~OffscreenWindow() override;

    double scale_factor() const override { return _scale; }
    void set_content_size(Size size) override;

    // Draws what is marked; display() redraws everything.
    void display_if_needed() override;
    void display();

    // The colour at a point in window coordinates (y up), read from the pixel that contains it,
    // un-premultiplied. Draws what is marked first.
    Color pixel_at(Point p);
    // The same by device pixel (row 0 at the top of the image).
    Color pixel_at_device(int px, int py);
    int pixel_width() const;
    int pixel_height() const;

    // Writes the image as PNG; false (with errno-style text in *error) on failure.
    bool write_png(const std::string &path, std::string *error = nullptr);
    cairo_surface_t *surface() const { return _surface; }

private:
    void recreate_surface();
    double _scale;
    cairo_surface_t *_surface = nullptr;
};

}  // namespace ui
