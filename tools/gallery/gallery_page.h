// The gallery: every control of the editor in a few states, drawn offscreen onto one page so a
// person can look at them.
#pragma once

#include <string>

namespace gallery {

// Draws the page at `scale` pixels per point and writes it as PNG. False with *error set on
// failure.
bool write_gallery(const std::string &png_path, double scale, std::string *error);

}  // namespace gallery
