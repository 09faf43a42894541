#pragma once

#include <cstdint>
#include <string>

#include "discovery/SharedState.h"
#include "discovery/StatusQuery.h"
#include "hid/HidSystem.h"
#include "service/ServiceFetch.h"
#include "ui/Clock.h"
#include "ui/Controls.h"

namespace discovery {

// One budget of attempts serves both device strings.
inline constexpr int kStringRetryBudget = 99;
inline constexpr unsigned kStringRetrySleepMs = 2;

// The device family: vendor 0x1DD2 with every product; vendor 0x16C0 with products 0x2774-0x27D7
// and 0x05B4-0x05BD.
bool IsSupportedDevice(std::uint16_t vendorId, std::uint16_t productId);

// High byte x 100 + bits 4-7 x 10 + bits 0-3, each nibble taken as it comes.
int InstalledVersion(std::uint16_t versionNumber);

struct DeviceStrings {
  bool obtained = false;  // at least one of the two calls succeeded
  std::string product;
  std::string serial;
};

// Reads the product and then the serial string within kStringRetryBudget, sleeping 2 ms after
// each failed attempt.
DeviceStrings RetrieveDeviceStrings(hid::Device& device, ui::Clock& clock);

// What the list shows for one device and how the entry behaves.
struct DeviceListing {
  std::string text;
  bool preselect = false;
  bool selectable = true;
  bool counted = false;
};

DeviceListing DescribeDevice(std::uint16_t versionNumber, const std::string& product, const std::string& serial,
                             const StatusReply& reply);

// What a scan needs of the world.
struct ScanEnvironment {
  hid::HidSystem& hid;
  service::ServiceFetch& fetch;
  ui::Clock& clock;
  std::string serviceBaseUrl;
};

// Rebuilds the list and the device table from the attached devices of the family, one status
// query per listed device, and returns the number of entries with an update available.
int ScanDevices(const ScanEnvironment& environment, SharedState& state, ui::ListBox& list);

}  // namespace discovery
