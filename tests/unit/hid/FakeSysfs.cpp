#include "FakeSysfs.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace hidtest {

FakeSysfs::FakeSysfs() {
  std::string pattern = (fs::temp_directory_path() / "quorvel-sysfs-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_root = pattern;
  fs::create_directories(m_root / "sys" / "class" / "hidraw");
  fs::create_directories(m_root / "sys" / "dev" / "char");
  fs::create_directories(m_root / "dev");
  fs::create_directories(m_root / "run");
  // The root hub: a USB device too, with strings of its own that must never be taken for the
  // strings of a device below it.
  const fs::path hub = m_root / "sys" / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1";
  fs::create_directories(hub);
  writeFile(hub / "uevent", "DEVTYPE=usb_device\nDRIVER=usb\n");
  writeFile(hub / "product", "xHCI Host Controller\n");
  writeFile(hub / "serial", "0000:00:14.0\n");
  writeFile(hub / "bcdDevice", "0601\n");
}

FakeSysfs::~FakeSysfs() {
  std::error_code ignored;
  fs::remove_all(m_root, ignored);
}

void FakeSysfs::writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string FakeSysfs::majorMinor(const std::string& charDevice) {
  const dev_t rdev = FakeHidrawIoctl::deviceOf(charDevice);
  return std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev));
}

fs::path FakeSysfs::add(const FakeHidraw& device) {
  const fs::path sys = m_root / "sys";
  fs::path parent;
  if (device.parent == Parent::Virtual) {
    parent = sys / "devices" / "virtual" / "misc" / "uhid";
  } else {
    const std::string port = "1-" + std::to_string(m_nextPort++);
    const fs::path usb = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / port;
    fs::create_directories(usb / (port + ":1.0"));
    writeFile(usb / "uevent", "MAJOR=189\nMINOR=1\nDEVTYPE=usb_device\nDRIVER=usb\n");
    writeFile(usb / "idVendor", device.kernelName.substr(5, 4) + "\n");
    writeFile(usb / "idProduct", device.kernelName.substr(10, 4) + "\n");
    writeFile(usb / "bcdDevice", device.usb.bcdDevice + "\n");
    if (device.usb.product) writeFile(usb / "product", *device.usb.product + "\n");
    if (device.usb.serial) writeFile(usb / "serial", *device.usb.serial + "\n");
    writeFile(usb / (port + ":1.0") / "uevent", "DEVTYPE=usb_interface\nDRIVER=usbhid\n");
    parent = usb / (port + ":1.0");
    if (device.parent == Parent::UsbBluetooth) parent = parent / "bluetooth" / "hci0" / "hci0:256";
  }
  const fs::path hidDevice = parent / device.kernelName;
  const std::string nodeName = "hidraw" + std::to_string(device.node);
  const fs::path classDevice = hidDevice / "hidraw" / nodeName;
  fs::create_directories(classDevice);
  writeFile(hidDevice / "uevent", device.hidUevent);
  const std::string mm = majorMinor(device.standIn);
  writeFile(classDevice / "dev", mm + "\n");
  writeFile(classDevice / "uevent", "MAJOR=" + mm.substr(0, mm.find(':')) + "\nDEVNAME=" + nodeName + "\n");
  fs::create_directory_symlink("../..", classDevice / "device");
  fs::create_directory_symlink(fs::relative(classDevice, sys / "class" / "hidraw"), sys / "class" / "hidraw" / nodeName);
  const fs::path charLink = sys / "dev" / "char" / mm;
  fs::remove(charLink);
  fs::create_directory_symlink(fs::relative(classDevice, sys / "dev" / "char"), charLink);
  fs::create_symlink(device.standIn, m_root / "dev" / nodeName);
  return hidDevice;
}

dev_t FakeHidrawIoctl::deviceOf(const std::string& charDevice) {
  struct stat status {};
  if (::stat(charDevice.c_str(), &status) != 0 || !S_ISCHR(status.st_mode))
    throw std::runtime_error(charDevice + " is not a character device");
  return status.st_rdev;
}

const FakeHidrawIoctl::Script* FakeHidrawIoctl::scriptFor(int fd) const {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return nullptr;
  const auto it = scripts.find(status.st_rdev);
  return it == scripts.end() ? nullptr : &it->second;
}

int FakeHidrawIoctl::getRawInfo(int fd, hidraw_devinfo& info) const {
  const Script* script = scriptFor(fd);
  if (!script || !script->rawInfo) return -1;
  info = *script->rawInfo;
  return 0;
}

int FakeHidrawIoctl::getDescriptorSize(int fd, int& size) const {
  const Script* script = scriptFor(fd);
  if (!script || script->descriptorSize < 0) return -1;
  size = script->descriptorSize;
  return 0;
}

int FakeHidrawIoctl::getDescriptor(int fd, hidraw_report_descriptor& descriptor) const {
  const Script* script = scriptFor(fd);
  if (!script || !script->descriptor) return -1;
  // As the kernel does: at most the size asked for, and never more than the buffer.
  const std::size_t n = std::min<std::size_t>({descriptor.size, script->descriptor->size(), sizeof descriptor.value});
  std::copy_n(script->descriptor->begin(), n, descriptor.value);
  return 0;
}

int FakeHidrawIoctl::sendFeature(int fd, std::uint8_t* report, std::size_t length) const {
  const Script* script = scriptFor(fd);
  if (!script) return -1;
  sent.emplace_back(report, report + length);
  return script->sendResult;
}

}  // namespace hidtest
