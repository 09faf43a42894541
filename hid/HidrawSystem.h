#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidSystem.h"
#include "hid/HidrawIoctl.h"
#include "hid/UdevMonitor.h"

namespace hid {

// Where the hidraw layer finds the kernel's view of the devices. The defaults are the real
// system; tests point them at a fake tree in a temporary folder.
struct HidrawRoots {
  std::filesystem::path sys = "/sys";
  std::filesystem::path dev = "/dev";  // the hidraw nodes: <dev>/hidraw<N>
  std::filesystem::path run = "/run";  // udevd's control socket: <run>/udev/control
};

// The largest feature report HIDIOCSFEATURE can carry: the ioctl's size field has 14 bits.
inline constexpr std::size_t kMaxFeatureReportLength = 16383;

// The HID system over hidraw, sysfs and libudev.
//
// - enumerateInterfaces reads <sys>/class/hidraw directly (the same tree udev's enumeration
//   reads, and the one thing that lets a test substitute its own): one device path per node
//   whose hid device has a well-formed kernel name, in ascending node number.
// - open opens <dev>/hidraw<N> read-write (hidraw wants write access for feature reports), then
//   checks through <sys>/dev/char/MAJ:MIN of the opened node that it is hidraw<N> and belongs
//   to the path's kernel name; anything else is closed again and the open fails.
// - Attributes come from HIDIOCGRAWINFO, the version from the USB ancestor's bcdDevice (0
//   without one). The product and serial strings come from the USB ancestor's `product` and
//   `serial`; for a device that has no USB ancestor (Bluetooth, I2C, uhid, ...) from HID_NAME
//   and HID_UNIQ of the hid device's uevent, where an empty value means the device has none.
//   Only a device on the USB bus has a USB ancestor: a Bluetooth device behind a USB dongle
//   must not report the dongle's strings.
// - The feature report length comes from the report descriptor (HIDIOCGRDESC).
// - registerNotification creates a libudev monitor of the hidraw subsystem.
class HidrawSystem final : public HidSystem {
 public:
  explicit HidrawSystem(HidrawRoots roots = {}, std::shared_ptr<const HidrawIoctl> ioctl = kernelHidrawIoctl());

  std::vector<std::string> enumerateInterfaces(const HidClassGuid& classGuid) override;
  std::unique_ptr<Device> open(const std::string& devicePath) override;
  std::unique_ptr<HotplugMonitor> registerNotification(const HidClassGuid& classGuid) override;

  // The paths of the last enumeration and the arrivals since, by node; the monitors name
  // removals from it.
  const NodePathRegistry& nodePaths() const { return *m_registry; }

 private:
  HidrawRoots m_roots;
  std::shared_ptr<const HidrawIoctl> m_ioctl;
  std::shared_ptr<NodePathRegistry> m_registry;  // shared with the monitors
};

}  // namespace hid
