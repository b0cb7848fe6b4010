#include "ui/Color.h"

namespace ui {

std::shared_ptr<const ColorSpace> ColorSpace::create_device_rgb() {
    // Created on first use and never destroyed: shadings made from it may outlive any caller.
    static const std::shared_ptr<const ColorSpace> space(new ColorSpace());
    return space;
}

}  // namespace ui
