// Stepping a menu through its items with wrap-around at both ends.
#pragma once

#include <cstdint>

namespace view {

// From the first item (or none selected, -1) to the last.
inline int32_t previous_item(int32_t selected, int32_t count) noexcept {
    const int32_t i = selected - 1;
    return i < 0 ? count - 1 : i;
}

// From the last item (or past it) back to the first.
inline int32_t next_item(int32_t selected, int32_t count) noexcept {
    const int32_t i = selected + 1;
    return i >= count ? 0 : i;
}

}  // namespace view
