// Any text as a device path and as a udev event's sysfs path. A path that parses must be
// exactly the path made from its parts (nothing else is accepted), and an event's record name
// must be a path that parses or the bare node.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hid/DevicePath.h"
#include "hid/UdevMonitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  if (const auto parts = hid::parseDevicePath(text)) {
    if (hid::makeDevicePath(parts->node, parts->kernelName) != text) std::abort();
  }
  (void)hid::parseKernelName(text);

  // First byte picks the action; the rest is the sysfs path.
  static const char* const kActions[] = {"add", "remove", "change", "bind"};
  hid::UdevEventRecord event;
  event.action = size > 0 ? kActions[data[0] % 4] : "";
  event.syspath = size > 0 ? text.substr(1) : text;
  event.properties = {{"SUBSYSTEM", "hidraw"}};
  hid::NodePathRegistry registry;
  registry.record(0, "/dev/hidraw0#VID_1DD2&PID_1234#0003:1DD2:1234.0001");
  if (const auto change = hid::translateUdevEvent(event, registry)) {
    const std::string& name = change->record.name;
    const bool bareNode = name.starts_with("/dev/hidraw") && hid::parseHidrawNodeName(name.substr(5));
    if (!hid::parseDevicePath(name) && !bareNode) std::abort();
  }
  return 0;
}
