#include "discovery/DeviceString.h"

namespace discovery {

std::string ReduceDeviceString(const std::uint8_t* buffer, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint8_t low = buffer[i];
    if (low == 0x00 || low >= 0x80) break;
    text += static_cast<char>(low);
  }
  return text;
}

}  // namespace discovery
