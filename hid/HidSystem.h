#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/HotplugMonitor.h"

namespace hid {

// Identity of the device class that is enumerated and watched. Linux gives every HID device
// exactly one hidraw node, so the class is the hidraw subsystem.
struct HidClassGuid {
  const char* subsystem = nullptr;
};
HidClassGuid GetHidGuid();

struct Attributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t versionNumber = 0;
};

// The device strings are read into a caller's buffer of this size, passing this length.
inline constexpr std::size_t kDeviceStringBufferSize = 4096;
inline constexpr std::size_t kDeviceStringLength = 4093;

// An open HID interface. Closing it is destroying it.
class Device {
 public:
  virtual ~Device() = default;

  // false leaves `out` as it was.
  virtual bool getAttributes(Attributes& out) = 0;

  // A zero-terminated UTF-16LE string at the start of `buffer`, written within `length` bytes.
  // false when the device has no such string or it cannot be read.
  virtual bool getProductString(std::uint8_t* buffer, std::size_t length) = 0;
  virtual bool getSerialNumberString(std::uint8_t* buffer, std::size_t length) = 0;

  // The longest feature report of the device in bytes plus one byte for the report ID, whether
  // or not the device numbers its reports; 0 when it has no feature report.
  virtual bool getFeatureReportByteLength(std::uint16_t& out) = 0;

  // Sends bytes 0 .. length-1 of `report` as one feature report; byte 0 is the report ID.
  virtual bool setFeature(const std::uint8_t* report, std::size_t length) = 0;
};

class HidSystem {
 public:
  virtual ~HidSystem() = default;

  // Device paths of the present interfaces of the class, in enumeration order. Nothing is opened.
  virtual std::vector<std::string> enumerateInterfaces(const HidClassGuid& classGuid) = 0;

  // Opens exactly the interface the path was made for; null when it cannot be opened.
  virtual std::unique_ptr<Device> open(const std::string& devicePath) = 0;

  // Starts watching the class for arrivals and removals. The registration ends when the
  // returned monitor is destroyed; null when watching is not possible.
  virtual std::unique_ptr<HotplugMonitor> registerNotification(const HidClassGuid& classGuid) = 0;
};

}  // namespace hid
