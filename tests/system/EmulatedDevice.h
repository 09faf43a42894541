#pragma once

// The emulated device of the family that the VM test enumerates on dummy_hcd, shared by the
// device program (its report descriptor, its log of received reports) and the test program
// (the gadget's identity, the expected log lines).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace systemtest {

inline constexpr std::uint16_t kVendorId = 0x1DD2;
// The application firmware's IDs, and those under which the device comes back when it is
// re-enumerated as its bootloader.
inline constexpr std::uint16_t kApplicationProductId = 0x1234;
inline constexpr std::uint16_t kBootloaderProductId = 0x1001;
inline constexpr std::uint16_t kDeviceRelease = 0x0104;
inline constexpr const char* kManufacturer = "Quorvel Test";
inline constexpr const char* kProduct = "Demo Unit";
inline constexpr const char* kSerial = "000123";

// Payload sizes of the unnumbered reports; hidraw adds a report-ID byte in front.
inline constexpr std::size_t kFeatureReportSize = 64;
inline constexpr std::size_t kInputReportSize = 32;

// Vendor page, one application collection, a 32-byte input report and a 64-byte feature report,
// no report IDs. The input report is there because a HID interface needs an interrupt IN
// endpoint; it is shorter than the feature report so that only the feature report can give 65.
inline constexpr std::array<std::uint8_t, 27> kReportDescriptor = {
    0x06, 0x00, 0xFF,           // Usage Page (vendor 0xFF00)
    0x09, 0x01,                 // Usage (1)
    0xA1, 0x01,                 // Collection (Application)
    0x15, 0x00,                 //   Logical Minimum (0)
    0x26, 0xFF, 0x00,           //   Logical Maximum (255)
    0x75, 0x08,                 //   Report Size (8)
    0x09, 0x02,                 //   Usage (2)
    0x95, kInputReportSize,     //   Report Count (32)
    0x81, 0x02,                 //   Input (Data, Variable, Absolute)
    0x09, 0x03,                 //   Usage (3)
    0x95, kFeatureReportSize,   //   Report Count (64)
    0xB1, 0x02,                 //   Feature (Data, Variable, Absolute)
    0xC0,                       // End Collection
};

// SET_REPORT's wValue for an unnumbered feature report: report type 3 in the high byte, ID 0.
inline constexpr std::uint16_t kFeatureSetReportValue = 0x0300;

// One line of the device's report log: the SET_REPORT request and the bytes of its data stage.
// The test writes what it expects in the same form, so that the two logs compare as text.
inline std::string reportLogLine(std::uint16_t wValue, std::uint16_t wIndex, std::span<const std::uint8_t> data) {
  char head[64];
  std::snprintf(head, sizeof head, "SET_REPORT wValue=0x%04x wIndex=0x%04x length=%zu data=", wValue, wIndex,
                data.size());
  std::string line = head;
  static constexpr char kHex[] = "0123456789abcdef";
  for (const std::uint8_t byte : data) {
    line.push_back(kHex[byte >> 4]);
    line.push_back(kHex[byte & 0x0F]);
  }
  line.push_back('\n');
  return line;
}

}  // namespace systemtest
