// Device RGB colours and the one device RGB colour space of the process.
#pragma once

#include <memory>

namespace ui {

// Components in [0, 1], not premultiplied.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    static constexpr Color device_rgb(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
    static constexpr Color black() { return {0, 0, 0, 1}; }
    static constexpr Color white() { return {1, 1, 1, 1}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }
    // The platform's named colours, as the controls' defaults use them.
    static constexpr Color platform_blue() { return {0, 0, 1, 1}; }
    static constexpr Color platform_yellow() { return {1, 1, 0, 1}; }
    friend bool operator==(const Color &, const Color &) = default;
};

// Shadings are made in a colour space. There is only device RGB here, but callers still hold one
// and pass it, so that "created once and shared" is a property of the code, not of a comment.
class ColorSpace {
public:
    // A new reference to the process's device RGB space (the same object every time).
    static std::shared_ptr<const ColorSpace> create_device_rgb();
    int number_of_components() const { return 3; }

private:
    ColorSpace() = default;
};

}  // namespace ui
