#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace discovery {

// Reduces a zero-terminated UTF-16LE device string to 7-bit text: the low byte of each unit is
// kept while it lies in 0x01..0x7F; the first unit whose low byte is 0x00 or 0x80 and above ends
// the text. High bytes are ignored. Never reads past `size` bytes.
std::string ReduceDeviceString(const std::uint8_t* buffer, std::size_t size);

}  // namespace discovery
