// The editor's two colour preferences: the info colour (names and captions) and the read-out
// colour (values and menu titles). They live in the user's preferences, shared by every host and
// every editor of this user, and are read whenever an editor is built. [UI thread]
#pragma once

#include "ui/Color.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace view {

enum class color_preference { info, readout };

// "com.harrowfield.velder_info_color" and "com.harrowfield.velder_readout_color".
const char *color_preference_key(color_preference which);
ui::Color default_color(color_preference which);

// A colour as stored: the tag "RGBA" and four device RGB components (red, green, blue, alpha),
// each an IEEE-754 double in big-endian byte order. The order is fixed rather than the machine's,
// so a preferences file copied from a machine of the other byte order reads the same.
std::vector<uint8_t> encode_color(const ui::Color &color);
// Null for anything that is not exactly that: another length or tag, a component that is not a
// finite number within [0, 1].
std::optional<ui::Color> decode_color(const uint8_t *bytes, size_t size);

// When either key is missing, writes both defaults (overwriting the one present) and
// synchronises the store: the two colours are chosen as a pair.
void ensure_color_preferences();
// The stored colour, or the key's default when it is missing or unreadable.
ui::Color read_color_preference(color_preference which);
// Writes the colour and synchronises the store.
void write_color_preference(color_preference which, const ui::Color &color);

}  // namespace view
