#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidrawIoctl.h"
#include "hid/HidrawSystem.h"

namespace hidtest {

// The USB device above a hid device, with the attributes the hidraw layer reads.
struct FakeUsbDevice {
  std::string bcdDevice = "0104";
  std::optional<std::string> product = "Demo Unit";
  std::optional<std::string> serial = "000123";
};

enum class Parent {
  Usb,           // pci/usb1 (root hub)/1-<port>/1-<port>:1.0/<hid device>
  Virtual,       // devices/virtual/misc/uhid/<hid device>
  UsbBluetooth,  // a Bluetooth HID device behind a USB dongle: 1-<port>/1-<port>:1.0/bluetooth/hci0/hci0:256
};

struct FakeHidraw {
  std::uint32_t node = 0;
  std::string kernelName;           // e.g. 0003:1DD2:1234.000A
  std::string standIn = "/dev/null";  // a real character device the fake node points at
  Parent parent = Parent::Usb;
  FakeUsbDevice usb;                // for Usb and UsbBluetooth (the dongle)
  std::string hidUevent;            // contents of the hid device's uevent
};

// A sysfs tree, /dev folder and /run folder in a fresh temporary folder, removed on
// destruction. The nodes in the fake /dev are symbolic links to real character devices, so
// fstat() of an opened node gives a real MAJ:MIN, which <sys>/dev/char maps back to the fake
// hid device. Each node needs its own stand-in device (MAJ:MIN).
class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  // Builds the hid device, its parents, its hidraw class device, the class and char links
  // and the node; returns the hid device's folder.
  std::filesystem::path add(const FakeHidraw& device);

  hid::HidrawRoots roots() const { return {m_root / "sys", m_root / "dev", m_root / "run"}; }
  const std::filesystem::path& root() const { return m_root; }

  static void writeFile(const std::filesystem::path& path, const std::string& text);
  static std::string majorMinor(const std::string& charDevice);

 private:
  std::filesystem::path m_root;
  int m_nextPort = 1;
};

// Scripted hidraw ioctls, keyed by the MAJ:MIN of the descriptor's device. A device with no
// script fails every call. Sent feature reports are recorded.
class FakeHidrawIoctl final : public hid::HidrawIoctl {
 public:
  struct Script {
    std::optional<hidraw_devinfo> rawInfo;
    int descriptorSize = -1;  // what HIDIOCGRDESCSIZE reports; -1 fails it
    std::optional<std::vector<std::uint8_t>> descriptor;  // nullopt fails HIDIOCGRDESC
    int sendResult = 0;
  };
  std::map<dev_t, Script> scripts;
  mutable std::vector<std::vector<std::uint8_t>> sent;

  int getRawInfo(int fd, hidraw_devinfo& info) const override;
  int getDescriptorSize(int fd, int& size) const override;
  int getDescriptor(int fd, hidraw_report_descriptor& descriptor) const override;
  int sendFeature(int fd, std::uint8_t* report, std::size_t length) const override;

  static dev_t deviceOf(const std::string& charDevice);

 private:
  const Script* scriptFor(int fd) const;
};

}  // namespace hidtest
