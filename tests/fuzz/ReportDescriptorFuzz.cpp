// Any bytes as a report descriptor: the parser must stay inside them, and a length it gives
// must be a real report (at least one byte and the report-ID byte) or 0.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "hid/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto length = hid::featureReportByteLength(std::span<const std::uint8_t>(data, size));
  if (length && *length == 1) std::abort();
  return 0;
}
