// A cheap scan of raw property-list bytes that runs before libplist sees them. libplist recurses
// once per nesting level (and copies a shared binary object once per reference), so deeply nested
// or self-multiplying input overflows its stack or exhausts memory: such input is refused here
// with a sentence naming the problem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cf {

inline constexpr size_t kMaxPropertyListBytes = size_t(1) << 20;
// Arrays and dictionaries inside each other; real state and preference files nest three deep.
inline constexpr int kMaxPropertyListDepth = 64;
// Nodes a binary property list may expand to once shared objects are copied per reference.
inline constexpr uint64_t kMaxPropertyListNodes = uint64_t(1) << 20;

enum class PropertyListEncoding { xml, binary };

// Empty when the bytes may be handed to libplist; otherwise the reason they may not.
std::string check_property_list_bytes(const uint8_t *data, size_t size, PropertyListEncoding &encoding);

}  // namespace cf
