#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hid {

// Event types of a device-change notification.
inline constexpr std::uint32_t kDbtDevNodesChanged = 0x0007;
inline constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;

// Device type of a record that names a device interface.
inline constexpr std::uint32_t kDbtDevtypDeviceInterface = 5;

// The record a notification carries: its device type and, for a device interface, the
// interface's device path in the form that HidSystem::open accepts.
struct DeviceChangeRecord {
  std::uint32_t deviceType = 0;
  std::string name;
};

struct DeviceChangeEvent {
  std::uint32_t eventType = 0;
  DeviceChangeRecord record;
};

// A registration for device-change notifications. Destroying it ends the registration.
class HotplugMonitor {
 public:
  virtual ~HotplugMonitor() = default;

  // A descriptor that becomes readable when events are pending; -1 when there is none.
  virtual int fd() const = 0;

  // The events that are pending now, oldest first; never blocks.
  virtual std::vector<DeviceChangeEvent> receive() = 0;
};

}  // namespace hid
