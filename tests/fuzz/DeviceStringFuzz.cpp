// Any bytes as a device string, written into a buffer whose length the first two bytes pick:
// nothing may be written at or beyond the length, and the result must be terminated.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "hid/Utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t length = static_cast<std::size_t>(data[0] | (data[1] << 8)) % 4097;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  // Exactly `length` bytes, so AddressSanitizer catches a write past them.
  std::vector<std::uint8_t> buffer(length);
  if (!hid::writeUtf16Le(text, buffer.data(), length)) {
    if (length >= 2) std::abort();
    return 0;
  }
  for (std::size_t i = 0; i + 1 < length; i += 2)
    if (buffer[i] == 0 && buffer[i + 1] == 0) return 0;
  std::abort();  // no terminator within the length
}
