// Mouse, scroll and key events, as the X server delivers them and as tests synthesise them.
#pragma once

#include "ui/Geometry.h"

#include <string>

namespace ui {

enum class EventType { mouse_down, mouse_dragged, mouse_up, mouse_moved, scroll_wheel, key_down };

enum Modifier : unsigned {
    modifier_shift = 1u << 0,
    modifier_control = 1u << 1,
    modifier_alt = 1u << 2,
    modifier_super = 1u << 3,
};

// Keys that edit rather than type; everything printable arrives as Key::character with its text.
enum class Key {
    none,
    character,
    return_key,
    escape,
    backspace,
    delete_forward,
    tab,
    left,
    right,
    up,
    down,
    home,
    end
};

struct Event {
    EventType type = EventType::mouse_down;
    // In the coordinates of the window (or overlay) the event is delivered in, y up.
    Point location_in_window;
    // 1 for a single press, 2 for the second press of a double click, and so on.
    int click_count = 0;
    // Drags: the pointer's motion since the previous event, with delta_y growing as the pointer
    // moves DOWN (the platform's convention). Scrolls: wheel units, delta_y > 0 when turned up
    // (away from the user), delta_x > 0 when turned left.
    double delta_x = 0;
    double delta_y = 0;
    unsigned modifiers = 0;
    Key key = Key::none;
    std::string characters;  // UTF-8 text of a key press
    double timestamp = 0;    // seconds, monotonic

    // The platform's accessor names, for code written against them.
    Point locationInWindow() const { return location_in_window; }
    int clickCount() const { return click_count; }
    double deltaX() const { return delta_x; }
    double deltaY() const { return delta_y; }
};

}  // namespace ui
