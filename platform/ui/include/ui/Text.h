// Fonts and text attributes for text drawn in a rectangle.
#pragma once

#include "ui/Color.h"

#include <string>

namespace ui {

enum class TextAlignment { left, center, right };

struct Font {
    std::string family = "Sans";  // a fontconfig family; DejaVu Sans on a stock system
    double size = 12;             // absolute size in points (not Pango's DPI-scaled sizes)
    bool bold = false;

    // The platform's "system font" at a size.
    static Font system(double size) { return {"Sans", size, false}; }
    static Font bold_system(double size) { return {"Sans", size, true}; }
};

struct TextAttributes {
    Font font;
    TextAlignment alignment = TextAlignment::left;
    Color color = Color::black();
};

}  // namespace ui
