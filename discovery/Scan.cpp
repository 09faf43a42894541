#include "discovery/Scan.h"

#include <array>
#include <cstdio>

#include "discovery/DeviceString.h"

namespace discovery {

bool IsSupportedDevice(std::uint16_t vendorId, std::uint16_t productId) {
  switch (vendorId) {
    case 0x1DD2:
      return true;
    case 0x16C0:
      return (productId >= 0x2774 && productId <= 0x27D7) || (productId >= 0x05B4 && productId <= 0x05BD);
    default:
      return false;
  }
}

int InstalledVersion(std::uint16_t versionNumber) {
  return (versionNumber >> 8) * 100 + ((versionNumber >> 4) & 0x0F) * 10 + (versionNumber & 0x0F);
}

DeviceStrings RetrieveDeviceStrings(hid::Device& device, ui::Clock& clock) {
  DeviceStrings strings;
  std::array<std::uint8_t, hid::kDeviceStringBufferSize> buffer{};
  int budget = kStringRetryBudget;

  for (;;) {
    buffer.fill(0);
    const bool ok = device.getProductString(buffer.data(), hid::kDeviceStringLength);
    if (ok) {
      strings.product = ReduceDeviceString(buffer.data(), buffer.size());
      strings.obtained = true;
    } else {
      clock.Sleep(kStringRetrySleepMs);
    }
    const int taken = budget--;
    if (ok || taken <= 0) break;
  }

  bool serialObtained = false;
  for (;;) {
    const int taken = budget--;
    if (taken <= 0 || serialObtained) break;
    buffer.fill(0);
    if (device.getSerialNumberString(buffer.data(), hid::kDeviceStringLength)) {
      strings.serial = ReduceDeviceString(buffer.data(), buffer.size());
      strings.obtained = true;
      serialObtained = true;
    } else {
      clock.Sleep(kStringRetrySleepMs);
    }
  }
  return strings;
}

DeviceListing DescribeDevice(std::uint16_t versionNumber, const std::string& product, const std::string& serial,
                             const StatusReply& reply) {
  DeviceListing listing;
  int installedVersion = InstalledVersion(versionNumber);
  const bool labelled = reply.labelFlag == 1;
  std::string prefix;
  if (labelled) {
    // A labelled reply without label text shows no prefix at all, rather than a stray space.
    if (!reply.label.empty()) prefix = reply.label + " ";
    installedVersion = -1;
  }

  const auto latestVersion = static_cast<std::int32_t>(reply.latestVersion);
  std::string status;
  if (installedVersion < latestVersion) {
    char text[64];
    std::snprintf(text, sizeof text, ", update to v%i.%02i", latestVersion / 100, latestVersion % 100);
    status = text;
    listing.counted = true;
    listing.preselect = true;
  }
  if (latestVersion == 0) {
    status = ", no online firmware";
    listing.selectable = false;
  }

  if (labelled) {
    listing.text = prefix + product + ", " + serial + status;
  } else {
    char version[16];
    std::snprintf(version, sizeof version, "%X.%02X", static_cast<unsigned>(versionNumber >> 8),
                  static_cast<unsigned>(versionNumber & 0xFF));
    listing.text = product + ", " + serial + ", v" + version + status;
  }
  return listing;
}

int ScanDevices(const ScanEnvironment& environment, SharedState& state, ui::ListBox& list) {
  const std::vector<std::string> paths = environment.hid.enumerateInterfaces(state.hidClassGuid);
  list.ResetContent();
  int slot = 0;
  int count = 0;

  for (const std::string& path : paths) {
    const std::unique_ptr<hid::Device> device = environment.hid.open(path);
    hid::Attributes attributes;
    if (device && !device->getAttributes(attributes)) attributes = hid::Attributes{};

    if (device && IsSupportedDevice(attributes.vendorId, attributes.productId)) {
      const DeviceStrings strings = RetrieveDeviceStrings(*device, environment.clock);
      if (strings.obtained) {
        const std::string reply =
            QueryDeviceStatus(environment.fetch, environment.serviceBaseUrl, attributes.vendorId, attributes.productId,
                              attributes.versionNumber, strings.product, strings.serial);
        const DeviceListing listing =
            DescribeDevice(attributes.versionNumber, strings.product, strings.serial, ParseStatusReply(reply));
        if (listing.counted) ++count;

        const int position = list.AddString(listing.text);
        list.SetSel(listing.preselect, position);
        list.SetItemData(position, static_cast<std::uint32_t>(slot));

        DeviceSlot& entry = state.deviceTable[static_cast<std::size_t>(slot)];
        entry.devicePath = path;
        entry.selectable = listing.selectable;
        entry.vendorId = attributes.vendorId;
        entry.productId = attributes.productId;
        std::uint16_t featureLength = 0;
        // Without capabilities no report can be sized for the device: 0 makes every report to it
        // be refused rather than cut short.
        entry.featureReportLength = device->getFeatureReportByteLength(featureLength) ? featureLength : 0U;
        ++slot;
      }
    }
    if (slot >= kMaxDevices) break;
  }
  return count;
}

}  // namespace discovery
