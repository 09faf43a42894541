// Any bytes as a reply of the firmware service: the status reply and the firmware descriptor are
// read within their limits, and the device string reduction stays inside its buffer.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "discovery/DeviceString.h"
#include "discovery/StatusQuery.h"
#include "service/FirmwareQuery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  const discovery::StatusReply status = discovery::ParseStatusReply(reply);
  if (status.label.size() > discovery::kMaxLabelLength) std::abort();
  if (status.label.find(',') != std::string::npos) std::abort();

  const service::FirmwareDescriptor descriptor = service::ParseFirmwareDescriptor(reply);
  if (descriptor.imageUrl.size() > service::kMaxImageUrlLength) std::abort();
  if (descriptor.imageUrl.find(',') != std::string::npos) std::abort();
  if (descriptor.imageSize != 0 && reply.find(',') == std::string::npos)
    std::abort();  // an image size needs the three fields before it

  // The same bytes as a UTF-16LE device string of exactly this size.
  const std::vector<std::uint8_t> buffer(data, data + size);
  const std::string text = discovery::ReduceDeviceString(buffer.data(), buffer.size());
  if (text.size() > size / 2) std::abort();
  for (const char c : text)
    if (c <= 0) std::abort();
  return 0;
}
