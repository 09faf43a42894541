#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "hid/DevicePath.h"
#include "hid/HidrawSystem.h"

namespace fs = std::filesystem;
using hidtest::FakeHidraw;
using hidtest::FakeHidrawIoctl;
using hidtest::FakeSysfs;
using hidtest::Parent;

namespace {

const hid::HidClassGuid kHidraw = hid::GetHidGuid();

constexpr const char* kDemoPath = "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A";

FakeHidraw demoDevice() {
  FakeHidraw d;
  d.node = 3;
  d.kernelName = "0003:1DD2:1234.000A";
  d.standIn = "/dev/null";
  d.hidUevent = "DRIVER=hid-generic\nHID_ID=0003:00001DD2:00001234\nHID_NAME=Maker Demo Unit\n"
                "HID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=000123\n";
  return d;
}

// The UTF-16LE string at the start of `buffer`, up to its terminator.
std::u16string utf16At(const std::uint8_t* buffer, std::size_t size) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
    if (unit == 0) return s;
    s.push_back(unit);
  }
  ADD_FAILURE() << "string not terminated";
  return s;
}

class HidrawSystemTest : public ::testing::Test {
 protected:
  FakeSysfs tree;
  std::shared_ptr<FakeHidrawIoctl> ioctl = std::make_shared<FakeHidrawIoctl>();

  hid::HidrawSystem system() { return hid::HidrawSystem(tree.roots(), ioctl); }

  // Opens the only device of the path, which must open.
  std::unique_ptr<hid::Device> openOrFail(const std::string& path) {
    auto device = system().open(path);
    EXPECT_NE(device, nullptr) << path;
    return device;
  }
};

TEST_F(HidrawSystemTest, EnumeratesNodesInNumericOrderWithTheirKernelNames) {
  tree.add({10, "0003:16C0:05B4.0011", "/dev/null", Parent::Usb, {}, ""});
  tree.add({2, "0003:1DD2:1234.000A", "/dev/zero", Parent::Usb, {}, ""});
  tree.add({0, "0018:04F3:30C5.0001", "/dev/full", Parent::Virtual, {}, ""});
  // Not hidraw nodes, or gone: left out.
  fs::create_directory(tree.roots().sys / "class" / "hidraw" / "hidraw07");
  fs::create_directory(tree.roots().sys / "class" / "hidraw" / "foo");
  fs::create_directory_symlink("../../devices/gone/hidraw/hidraw5", tree.roots().sys / "class" / "hidraw" / "hidraw5");

  hid::HidrawSystem hid = system();
  const std::vector<std::string> expected = {
      "/dev/hidraw0#VID_04F3&PID_30C5#0018:04F3:30C5.0001",
      "/dev/hidraw2#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw10#VID_16C0&PID_05B4#0003:16C0:05B4.0011",
  };
  EXPECT_EQ(hid.enumerateInterfaces(kHidraw), expected);
  // The paths are what a removal falls back on.
  EXPECT_EQ(hid.nodePaths().find(10), expected[2]);
  EXPECT_EQ(hid.nodePaths().find(5), std::nullopt);

  EXPECT_TRUE(hid.enumerateInterfaces(hid::HidClassGuid{"input"}).empty());
  EXPECT_TRUE(hid.enumerateInterfaces(hid::HidClassGuid{}).empty());
}

TEST_F(HidrawSystemTest, EnumerationOfATreeWithoutHidrawIsEmpty) {
  fs::remove_all(tree.roots().sys / "class" / "hidraw");
  EXPECT_TRUE(system().enumerateInterfaces(kHidraw).empty());
}

TEST_F(HidrawSystemTest, OpenChecksThatTheNodeStillBelongsToThePathsDevice) {
  tree.add(demoDevice());
  // hidraw4 is a node whose char device maps to a class device of another name.
  FakeHidraw other = demoDevice();
  other.node = 4;
  other.kernelName = "0003:1DD2:1234.000B";
  other.standIn = "/dev/zero";
  tree.add(other);
  fs::remove(tree.roots().sys / "dev" / "char" / FakeSysfs::majorMinor("/dev/zero"));
  fs::create_directory_symlink("../../class/hidraw/hidraw3", tree.roots().sys / "dev" / "char" / FakeSysfs::majorMinor("/dev/zero"));
  // hidraw6 is a regular file, hidraw7 a char device that sysfs does not know.
  FakeSysfs::writeFile(tree.roots().dev / "hidraw6", "");
  fs::create_symlink("/dev/full", tree.roots().dev / "hidraw7");

  const struct {
    const char* path;
    bool opens;
  } cases[] = {
      {kDemoPath, true},
      {"/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000B", false},  // the node went to another unit
      {"/dev/hidraw3#VID_1DD2&PID_1235#0003:1DD2:1235.000A", false},  // another model
      {"/dev/hidraw9#VID_1DD2&PID_1234#0003:1DD2:1234.000A", false},  // no such node
      {"/dev/hidraw4#VID_1DD2&PID_1234#0003:1DD2:1234.000B", false},  // its char device is hidraw3's
      {"/dev/hidraw4#VID_1DD2&PID_1234#0003:1DD2:1234.000A", false},  // ... even with hidraw3's device
      {"/dev/hidraw6#VID_1DD2&PID_1234#0003:1DD2:1234.000A", false},  // not a character device
      {"/dev/hidraw7#VID_1DD2&PID_1234#0003:1DD2:1234.000A", false},  // unknown to sysfs
      {"/dev/hidraw3", false},                                        // not a device path
      {"../../../dev/null#VID_1DD2&PID_1234#0003:1DD2:1234.000A", false},
  };
  hid::HidrawSystem hid = system();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(hid.open(c.path) != nullptr, c.opens);
  }
}

TEST_F(HidrawSystemTest, AttributesComeFromTheRawInfoAndTheUsbVersion) {
  FakeHidraw usb = demoDevice();
  usb.usb.bcdDevice = "0a05";
  tree.add(usb);
  FakeHidraw virt = demoDevice();
  virt.node = 5;
  virt.kernelName = "0003:9ABC:8001.0002";  // uhid may claim the USB bus without a USB device
  virt.standIn = "/dev/zero";
  virt.parent = Parent::Virtual;
  tree.add(virt);
  // IDs of 0x8000 and above arrive as negative numbers.
  ioctl->scripts[FakeHidrawIoctl::deviceOf("/dev/null")].rawInfo = hidraw_devinfo{3, 0x1DD2, 0x1234};
  ioctl->scripts[FakeHidrawIoctl::deviceOf("/dev/zero")].rawInfo =
      hidraw_devinfo{3, static_cast<__s16>(0x9ABC), static_cast<__s16>(0x8001)};

  hid::Attributes attributes;
  ASSERT_TRUE(openOrFail(kDemoPath)->getAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, 0x1DD2);
  EXPECT_EQ(attributes.productId, 0x1234);
  EXPECT_EQ(attributes.versionNumber, 0x0A05);

  attributes = {};
  ASSERT_TRUE(openOrFail("/dev/hidraw5#VID_9ABC&PID_8001#0003:9ABC:8001.0002")->getAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, 0x9ABC);
  EXPECT_EQ(attributes.productId, 0x8001);
  EXPECT_EQ(attributes.versionNumber, 0);
}

TEST_F(HidrawSystemTest, AttributesFailOnANodeThatIsNotHidraw) {
  tree.add(demoDevice());
  // The kernel's own ioctls on /dev/null: not a hidraw device.
  auto device = hid::HidrawSystem(tree.roots()).open(kDemoPath);
  ASSERT_NE(device, nullptr);
  hid::Attributes attributes;
  EXPECT_FALSE(device->getAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, 0);
  std::uint16_t length = 77;
  EXPECT_FALSE(device->getFeatureReportByteLength(length));
  EXPECT_EQ(length, 77);
  const std::uint8_t report[2] = {0, 1};
  EXPECT_FALSE(device->setFeature(report, sizeof report));
}

TEST_F(HidrawSystemTest, StringsComeFromTheUsbDeviceOrTheUevent) {
  const struct {
    const char* name;
    Parent parent;
    std::string kernelName;
    std::optional<std::string> product, serial;
    std::string uevent;
    std::optional<std::u16string> expectedProduct, expectedSerial;
  } cases[] = {
      {"usb device", Parent::Usb, "0003:1DD2:1234.0001", "Demo Unit", "000123", "HID_NAME=Other\nHID_UNIQ=999\n",
       u"Demo Unit", u"000123"},
      {"usb device without serial: no uevent fallback", Parent::Usb, "0003:1DD2:1234.0001", "Demo Unit", std::nullopt,
       "HID_NAME=Other\nHID_UNIQ=999\n", u"Demo Unit", std::nullopt},
      {"usb device with an empty product", Parent::Usb, "0003:1DD2:1234.0001", "", "1", "", u"", u"1"},
      {"non-ASCII UTF-8", Parent::Usb, "0003:1DD2:1234.0001", "Caf\xC3\xA9 \xCE\xA9\xF0\x9F\x98\x80", "\xE4\xB8\xAD", "",
       u"Caf\u00E9 \u03A9\U0001F600", u"\u4E2D"},
      {"invalid UTF-8", Parent::Usb, "0003:1DD2:1234.0001", "A\xFF" "B\xE4\xB8", "\xC0\xAF", "", u"A\uFFFDB\uFFFD",
       u"\uFFFD\uFFFD"},
      {"no usb device: uevent", Parent::Virtual, "0003:1DD2:1234.0001", "x", "y",
       "DRIVER=hid-generic\nHID_NAME=Virtual Pad\nHID_UNIQ=aa:bb:cc\n", u"Virtual Pad", u"aa:bb:cc"},
      {"uevent with an empty HID_UNIQ", Parent::Virtual, "0003:1DD2:1234.0001", "x", "y", "HID_NAME=Pad\nHID_UNIQ=\n",
       u"Pad", std::nullopt},
      {"uevent without the keys", Parent::Virtual, "0003:1DD2:1234.0001", "x", "y", "HID_NAMES=Pad\nXHID_UNIQ=1\n",
       std::nullopt, std::nullopt},
      {"bluetooth device behind a usb dongle", Parent::UsbBluetooth, "0005:046D:B01A.0001", "Dongle", "D1",
       "HID_NAME=BT Keyboard\nHID_UNIQ=11:22:33:44:55:66\n", u"BT Keyboard", u"11:22:33:44:55:66"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSysfs fresh;
    FakeHidraw d;
    d.node = 1;
    d.kernelName = c.kernelName;
    d.parent = c.parent;
    d.usb.product = c.product;
    d.usb.serial = c.serial;
    d.hidUevent = c.uevent;
    fresh.add(d);
    auto device = hid::HidrawSystem(fresh.roots()).open(*hid::makeDevicePath(1, c.kernelName));
    ASSERT_NE(device, nullptr);
    std::array<std::uint8_t, hid::kDeviceStringBufferSize> buffer{};
    EXPECT_EQ(device->getProductString(buffer.data(), hid::kDeviceStringLength), c.expectedProduct.has_value());
    if (c.expectedProduct) {
      EXPECT_EQ(utf16At(buffer.data(), buffer.size()), *c.expectedProduct);
    }
    buffer.fill(0);
    EXPECT_EQ(device->getSerialNumberString(buffer.data(), hid::kDeviceStringLength), c.expectedSerial.has_value());
    if (c.expectedSerial) {
      EXPECT_EQ(utf16At(buffer.data(), buffer.size()), *c.expectedSerial);
    }
  }
}

TEST_F(HidrawSystemTest, AStringLongerThanTheBufferIsCutWithinTheLength) {
  FakeHidraw d = demoDevice();
  d.usb.product = std::string(3000, 'x');
  tree.add(d);
  std::array<std::uint8_t, hid::kDeviceStringBufferSize> buffer;
  buffer.fill(0xAA);
  ASSERT_TRUE(openOrFail(kDemoPath)->getProductString(buffer.data(), hid::kDeviceStringLength));
  // 2045 units and the terminator fill 4092 of the 4093 bytes.
  EXPECT_EQ(utf16At(buffer.data(), buffer.size()), std::u16string(2045, u'x'));
  EXPECT_EQ(buffer[4092], 0xAA);
  EXPECT_EQ(buffer[4093], 0xAA);
}

TEST_F(HidrawSystemTest, AStringOfAVanishedDeviceIsAFailedCall) {
  const fs::path hidDevice = tree.add(demoDevice());
  auto device = openOrFail(kDemoPath);
  fs::remove(hidDevice.parent_path().parent_path() / "product");
  std::array<std::uint8_t, hid::kDeviceStringBufferSize> buffer{};
  EXPECT_FALSE(device->getProductString(buffer.data(), hid::kDeviceStringLength));
  EXPECT_TRUE(device->getSerialNumberString(buffer.data(), hid::kDeviceStringLength));
}

TEST_F(HidrawSystemTest, FeatureReportLengthComesFromTheReportDescriptor) {
  tree.add(demoDevice());
  // The 48-byte vendor feature report of the family's devices, no report IDs.
  const std::vector<std::uint8_t> vendor48 = {0x06, 0x00, 0xff, 0x09, 0x01, 0xa1, 0x01, 0x15, 0x00, 0x26,
                                              0xff, 0x00, 0x75, 0x08, 0x09, 0x02, 0x95, 0x40, 0x81, 0x02,
                                              0x09, 0x03, 0x95, 0x30, 0xb1, 0x02, 0xc0};
  const auto size = [](const std::vector<std::uint8_t>& d) { return static_cast<int>(d.size()); };
  const struct {
    const char* name;
    int descriptorSize;
    std::optional<std::vector<std::uint8_t>> descriptor;
    std::optional<std::uint16_t> expected;
  } cases[] = {
      {"vendor device", size(vendor48), vendor48, 49},
      {"size ioctl fails", -1, vendor48, std::nullopt},
      {"descriptor ioctl fails", size(vendor48), std::nullopt, std::nullopt},
      {"empty descriptor", 0, std::vector<std::uint8_t>{}, std::nullopt},
      {"size above the kernel's maximum", HID_MAX_DESCRIPTOR_SIZE + 1, vendor48, std::nullopt},
      {"malformed descriptor", 2, std::vector<std::uint8_t>{0xa1, 0x01}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto& script = ioctl->scripts[FakeHidrawIoctl::deviceOf("/dev/null")];
    script.descriptorSize = c.descriptorSize;
    script.descriptor = c.descriptor;
    std::uint16_t length = 1234;
    EXPECT_EQ(openOrFail(kDemoPath)->getFeatureReportByteLength(length), c.expected.has_value());
    EXPECT_EQ(length, c.expected.value_or(1234));
  }
}

TEST_F(HidrawSystemTest, SetFeatureSendsTheReportOrRefusesItsLength) {
  tree.add(demoDevice());
  auto& script = ioctl->scripts[FakeHidrawIoctl::deviceOf("/dev/null")];
  std::vector<std::uint8_t> report(hid::kMaxFeatureReportLength + 1);
  for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(i * 7);

  const struct {
    std::size_t length;
    int ioctlResult;
    bool sent, ok;
  } cases[] = {
      {0, 0, false, false},
      {hid::kMaxFeatureReportLength + 1, 0, false, false},
      {1, 0, true, true},
      {49, 49, true, true},
      {hid::kMaxFeatureReportLength, 0, true, true},
      {49, -1, true, false},
  };
  auto device = openOrFail(kDemoPath);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    ioctl->sent.clear();
    script.sendResult = c.ioctlResult;
    EXPECT_EQ(device->setFeature(report.data(), c.length), c.ok);
    ASSERT_EQ(ioctl->sent.size(), c.sent ? 1u : 0u);
    if (c.sent) {
      EXPECT_EQ(ioctl->sent[0], std::vector<std::uint8_t>(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(c.length)));
    }
  }
  EXPECT_FALSE(device->setFeature(nullptr, 1));
}

TEST_F(HidrawSystemTest, MonitorIsCreatedAndDestroyedWithAndWithoutUdevd) {
  for (const bool udevd : {false, true}) {
    SCOPED_TRACE(udevd ? "udevd runs" : "no udevd");
    if (udevd) {
      fs::create_directories(tree.roots().run / "udev");
      FakeSysfs::writeFile(tree.roots().run / "udev" / "control", "");
    }
    EXPECT_EQ(hid::chooseMonitorSource(tree.roots().run), udevd ? hid::MonitorSource::Udev : hid::MonitorSource::Kernel);
    hid::HidrawSystem hid = system();
    std::unique_ptr<hid::HotplugMonitor> monitor = hid.registerNotification(kHidraw);
    ASSERT_NE(monitor, nullptr);
    EXPECT_GE(monitor->fd(), 0);
    // Nothing is pending in a test; receive() must come back at once with nothing.
    EXPECT_TRUE(monitor->receive().empty());
    monitor.reset();
  }
  EXPECT_EQ(system().registerNotification(hid::HidClassGuid{"input"}), nullptr);
}

}  // namespace
