#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "hid/HidSystem.h"

namespace discovery {

inline constexpr int kMaxDevices = 32;

// One listed device. Slots are reached only through the item value of a list entry.
struct DeviceSlot {
  std::string devicePath;
  std::uint32_t vendorId = 0;
  std::uint32_t productId = 0;
  std::uint32_t featureReportLength = 0;
  bool selectable = false;
};

using DeviceTable = std::array<DeviceSlot, kMaxDevices>;

// The process-wide state shared by the window's handlers, touched only on the GUI thread.
// One instance per program run; each test makes a fresh one.
struct SharedState {
  bool abortRequested = false;  // set by the close request, never cleared
  bool rescanEnabled = false;   // device changes cause a rescan
  bool arrivalSeen = false;     // a device matching arrivalPattern has arrived
  std::string arrivalPattern;   // compared in upper case
  std::string arrivedPath;      // path of that device, as delivered
  std::unique_ptr<hid::HotplugMonitor> hidNotifyHandle;  // the device-change registration
  hid::HidClassGuid hidClassGuid;
  DeviceTable deviceTable;
};

}  // namespace discovery
