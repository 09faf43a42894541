#include "hid/HidrawSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <utility>

#include "hid/DevicePath.h"
#include "hid/ReportDescriptor.h"
#include "hid/Utf16.h"

namespace fs = std::filesystem;

namespace hid {
namespace {

constexpr std::uint16_t kBusUsb = 0x0003;  // BUS_USB of <linux/input.h>

// sysfs attributes are at most a page; anything longer is not an attribute.
constexpr std::size_t kMaxAttributeBytes = 64 * 1024;

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }

 private:
  int m_fd;
};

bool isHidrawClass(const HidClassGuid& classGuid) {
  return classGuid.subsystem != nullptr && std::strcmp(classGuid.subsystem, "hidraw") == 0;
}

std::optional<std::string> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxAttributeBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > kMaxAttributeBytes) return std::nullopt;
  text.resize(got);
  return text;
}

// An attribute's value without the newline that sysfs puts after it.
std::optional<std::string> readAttribute(const fs::path& path) {
  std::optional<std::string> text = readFile(path);
  if (text && !text->empty() && text->back() == '\n') text->pop_back();
  return text;
}

// The value of KEY in a uevent file (KEY=value lines).
std::optional<std::string> ueventValue(const fs::path& ueventFile, std::string_view key) {
  const std::optional<std::string> text = readFile(ueventFile);
  if (!text) return std::nullopt;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
  }
  return std::nullopt;
}

bool isWithin(const fs::path& path, const fs::path& root) {
  const auto [rootEnd, pathEnd] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
  return rootEnd == root.end() && pathEnd != path.end();
}

// The nearest ancestor of the hid device that is a USB device (not one of its interfaces).
std::optional<fs::path> findUsbAncestor(const fs::path& hidDevice, const fs::path& sysRoot) {
  for (fs::path dir = hidDevice.parent_path(); isWithin(dir, sysRoot); dir = dir.parent_path()) {
    if (ueventValue(dir / "uevent", "DEVTYPE") == "usb_device") return dir;
  }
  return std::nullopt;
}

// bcdDevice is printed as four hex digits.
std::uint16_t parseBcd(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > 4) return 0;
  std::uint16_t value = 0;
  for (const char c : *text) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return 0;
    value = static_cast<std::uint16_t>(value * 16 + d);
  }
  return value;
}

class HidrawDevice final : public Device {
 public:
  HidrawDevice(UniqueFd fd, fs::path hidDevice, std::optional<fs::path> usbDevice,
               std::shared_ptr<const HidrawIoctl> ioctl)
      : m_fd(std::move(fd)), m_hidDevice(std::move(hidDevice)), m_usbDevice(std::move(usbDevice)),
        m_ioctl(std::move(ioctl)) {}

  bool getAttributes(Attributes& out) override {
    hidraw_devinfo info{};
    if (m_ioctl->getRawInfo(m_fd.get(), info) < 0) return false;
    // The kernel declares the IDs as signed 16-bit values.
    out.vendorId = static_cast<std::uint16_t>(info.vendor);
    out.productId = static_cast<std::uint16_t>(info.product);
    out.versionNumber = m_usbDevice ? parseBcd(readAttribute(*m_usbDevice / "bcdDevice")) : std::uint16_t{0};
    return true;
  }

  bool getProductString(std::uint8_t* buffer, std::size_t length) override {
    return putString(m_usbDevice ? readAttribute(*m_usbDevice / "product") : ueventString("HID_NAME"), buffer, length);
  }

  bool getSerialNumberString(std::uint8_t* buffer, std::size_t length) override {
    return putString(m_usbDevice ? readAttribute(*m_usbDevice / "serial") : ueventString("HID_UNIQ"), buffer, length);
  }

  bool getFeatureReportByteLength(std::uint16_t& out) override {
    int size = 0;
    if (m_ioctl->getDescriptorSize(m_fd.get(), size) < 0) return false;
    if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) return false;
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(size);
    if (m_ioctl->getDescriptor(m_fd.get(), descriptor) < 0) return false;
    const std::optional<std::uint16_t> length =
        featureReportByteLength(std::span<const std::uint8_t>(descriptor.value, static_cast<std::size_t>(size)));
    if (!length) return false;
    out = *length;
    return true;
  }

  bool setFeature(const std::uint8_t* report, std::size_t length) override {
    if (report == nullptr || length == 0 || length > kMaxFeatureReportLength) return false;
    // The ioctl is declared read-write; never hand it the caller's const buffer. The copy's
    // storage is kept, so a transfer allocates once, not once per chunk.
    m_sendCopy.assign(report, report + length);
    return m_ioctl->sendFeature(m_fd.get(), m_sendCopy.data(), m_sendCopy.size()) >= 0;
  }

 private:
  // The kernel writes "HID_UNIQ=" with nothing after it for a device without one.
  std::optional<std::string> ueventString(std::string_view key) const {
    std::optional<std::string> value = ueventValue(m_hidDevice / "uevent", key);
    if (value && value->empty()) return std::nullopt;
    return value;
  }

  static bool putString(const std::optional<std::string>& text, std::uint8_t* buffer, std::size_t length) {
    return text && writeUtf16Le(*text, buffer, length);
  }

  UniqueFd m_fd;
  fs::path m_hidDevice;                 // <sys>/devices/.../<kernel name>
  std::optional<fs::path> m_usbDevice;  // its USB device, for USB devices
  std::shared_ptr<const HidrawIoctl> m_ioctl;
  std::vector<std::uint8_t> m_sendCopy;
};

}  // namespace

HidrawSystem::HidrawSystem(HidrawRoots roots, std::shared_ptr<const HidrawIoctl> ioctl)
    : m_roots(std::move(roots)),
      m_ioctl(ioctl ? std::move(ioctl) : kernelHidrawIoctl()),
      m_registry(std::make_shared<NodePathRegistry>()) {}

std::vector<std::string> HidrawSystem::enumerateInterfaces(const HidClassGuid& classGuid) {
  if (!isHidrawClass(classGuid)) return {};
  std::map<std::uint32_t, std::string> byNode;
  std::error_code error;
  fs::directory_iterator it(m_roots.sys / "class" / "hidraw", error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::optional<std::uint32_t> node = parseHidrawNodeName(it->path().filename().native());
    if (!node) continue;
    std::error_code linkError;
    const fs::path hidDevice = fs::canonical(it->path() / "device", linkError);
    if (linkError) continue;  // gone since the listing
    if (std::optional<std::string> path = makeDevicePath(*node, hidDevice.filename().native()))
      byNode.emplace(*node, std::move(*path));
  }
  std::vector<std::string> paths;
  paths.reserve(byNode.size());
  for (const auto& [node, path] : byNode) paths.push_back(path);
  m_registry->replaceAll(std::move(byNode));
  return paths;
}

std::unique_ptr<Device> HidrawSystem::open(const std::string& devicePath) {
  const std::optional<DevicePathParts> parts = parseDevicePath(devicePath);
  if (!parts) return nullptr;
  const std::string nodeName = "hidraw" + std::to_string(parts->node);

  UniqueFd fd(::open((m_roots.dev / nodeName).c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return nullptr;

  // Whatever the node is now, the descriptor is what counts: the kernel may have handed the
  // node to another device between the scan and this open.
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISCHR(status.st_mode)) return nullptr;
  const fs::path charDevice =
      m_roots.sys / "dev" / "char" / (std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev)));
  std::error_code error;
  const fs::path classDevice = fs::canonical(charDevice, error);
  if (error || classDevice.filename() != nodeName) return nullptr;
  const fs::path hidDevice = fs::canonical(charDevice / "device", error);
  if (error || hidDevice.filename() != parts->kernelName) return nullptr;

  std::optional<fs::path> usbDevice;
  if (parts->kernel.bus == kBusUsb) {
    const fs::path sysRoot = fs::canonical(m_roots.sys, error);
    if (!error) usbDevice = findUsbAncestor(hidDevice, sysRoot);
  }
  return std::make_unique<HidrawDevice>(std::move(fd), hidDevice, std::move(usbDevice), m_ioctl);
}

std::unique_ptr<HotplugMonitor> HidrawSystem::registerNotification(const HidClassGuid& classGuid) {
  if (!isHidrawClass(classGuid)) return nullptr;
  return createUdevMonitor(chooseMonitorSource(m_roots.run), m_registry);
}

}  // namespace hid
