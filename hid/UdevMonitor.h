#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hid/HotplugMonitor.h"

namespace hid {

// The device path last seen for each hidraw node, by the last enumeration or arrival, so that a
// removal can still be named when its event does not identify the HID device. Shared by a
// HidrawSystem and the monitors it creates; used on one thread only.
class NodePathRegistry {
 public:
  void replaceAll(std::map<std::uint32_t, std::string> paths) { m_paths = std::move(paths); }
  void record(std::uint32_t node, std::string path) { m_paths[node] = std::move(path); }
  std::optional<std::string> find(std::uint32_t node) const;
  // The recorded path of `node`, which is forgotten.
  std::optional<std::string> take(std::uint32_t node);

 private:
  std::map<std::uint32_t, std::string> m_paths;
};

// What the translation reads of one udev event: its action, the device's sysfs path and its
// properties (as udev_device_get_properties_list_entry lists them).
struct UdevEventRecord {
  std::string action;
  std::string syspath;
  std::vector<std::pair<std::string, std::string>> properties;
};

// Turns one udev event of the hidraw subsystem into a device-change event: "add" is an
// arrival, "remove" a completed removal, any other action kDbtDevNodesChanged. The record is
// a device interface named by the device path of the node. The path comes from the event's own
// sysfs path (.../<kernel name>/hidraw/hidraw<N>), which stays valid after the device has
// left sysfs; failing that, a removal takes the path that `registry` recorded for the node, and
// otherwise the record names the bare node ("/dev/hidraw<N>"). An arrival records its path in
// `registry`; a removal forgets the node.
// nullopt (no event) when the event is not of the hidraw subsystem or names no hidraw node.
std::optional<DeviceChangeEvent> translateUdevEvent(const UdevEventRecord& event, NodePathRegistry& registry);

// Which netlink source a monitor listens to. Events of the "udev" source come after udevd has
// applied its rules (so the node's permissions are final when the program opens it), but where
// udevd does not run that source stays silent: then the "kernel" source is the only one.
enum class MonitorSource { Udev, Kernel };

// Udev where udevd runs, which it shows by its control socket <runRoot>/udev/control.
MonitorSource chooseMonitorSource(const std::filesystem::path& runRoot);

// A libudev monitor of the hidraw subsystem on `source`; null when it cannot be set up.
// Destroying it closes the monitor and ends the registration.
std::unique_ptr<HotplugMonitor> createUdevMonitor(MonitorSource source, std::shared_ptr<NodePathRegistry> registry);

}  // namespace hid
