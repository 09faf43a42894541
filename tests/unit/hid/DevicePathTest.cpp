#include <gtest/gtest.h>

#include <string>

#include "hid/DevicePath.h"

namespace {

TEST(DevicePath, IsMadeFromNodeAndKernelNameAndParsesBack) {
  const struct {
    std::uint32_t node;
    const char* kernelName;
    const char* path;
    hid::KernelName kernel;
  } cases[] = {
      {3, "0003:1DD2:1234.000A", "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A", {3, 0x1DD2, 0x1234, 0xA}},
      {0, "0005:FFFF:8000.FFFF", "/dev/hidraw0#VID_FFFF&PID_8000#0005:FFFF:8000.FFFF", {5, 0xFFFF, 0x8000, 0xFFFF}},
      // The instance counter outgrows four digits on a long-running system.
      {123456789, "0003:16C0:05B4.1000A", "/dev/hidraw123456789#VID_16C0&PID_05B4#0003:16C0:05B4.1000A",
       {3, 0x16C0, 0x05B4, 0x1000A}},
      {7, "0003:0000:0000.FFFFFFFF", "/dev/hidraw7#VID_0000&PID_0000#0003:0000:0000.FFFFFFFF", {3, 0, 0, 0xFFFFFFFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(hid::makeDevicePath(c.node, c.kernelName), c.path);
    const auto parts = hid::parseDevicePath(c.path);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->node, c.node);
    EXPECT_EQ(parts->kernelName, c.kernelName);
    EXPECT_EQ(parts->kernel.bus, c.kernel.bus);
    EXPECT_EQ(parts->kernel.vendorId, c.kernel.vendorId);
    EXPECT_EQ(parts->kernel.productId, c.kernel.productId);
    EXPECT_EQ(parts->kernel.instance, c.kernel.instance);
  }
}

TEST(DevicePath, RejectsEverythingButItsOwnForm) {
  using namespace std::string_literals;
  const std::string bad[] = {
      "",
      "/dev/hidraw3",
      "/dev/hidraw3#",
      "/dev/hidraw3#VID_1DD2&PID_1234",
      "/dev/hidraw3#VID_1DD2&PID_1234#",
      "/dev/hidraw#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw03#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw1234567890#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw-1#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw3/../sda#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/../dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/tmp/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      " /dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A ",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A#",
      "/dev/hidraw3#vid_1dd2&pid_1234#0003:1DD2:1234.000A",
      "/dev/hidraw3#VID_1dd2&PID_1234#0003:1dd2:1234.000A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000a",
      "/dev/hidraw3#VID_1DD&PID_1234#0003:1DD:1234.000A",
      "/dev/hidraw3#VID_1DD2&PID_12345#0003:1DD2:12345.000A",
      // The IDs of the middle part differ from the kernel name's.
      "/dev/hidraw3#VID_1DD2&PID_0001#0003:1DD2:1234.000A",
      "/dev/hidraw3#VID_16C0&PID_1234#0003:1DD2:1234.000A",
      "/dev/hidraw3#PID_1234&VID_1DD2#0003:1DD2:1234.000A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.00A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.0000A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.100000000",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003-1DD2-1234.000A",
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A\0"s,
      "/dev/hidraw3\0#VID_1DD2&PID_1234#0003:1DD2:1234.000A"s,
      "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.00\xC3\x80"s,
  };
  for (const std::string& path : bad) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(hid::parseDevicePath(path));
  }
  EXPECT_FALSE(hid::makeDevicePath(3, "0003:1dd2:1234.000A"));
  EXPECT_FALSE(hid::makeDevicePath(3, "../../0003:1DD2:1234.000A"));
}

TEST(DevicePath, NodeNames) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> node;
  } cases[] = {
      {"hidraw0", 0u},        {"hidraw17", 17u},     {"hidraw999999999", 999999999u},
      {"hidraw", std::nullopt}, {"hidraw00", std::nullopt}, {"hidraw1000000000", std::nullopt},
      {"hidraw1a", std::nullopt}, {"hidraw+1", std::nullopt}, {"Hidraw1", std::nullopt},
      {"hiddev0", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(hid::parseHidrawNodeName(c.text), c.node);
  }
  EXPECT_EQ(hid::hidrawNodePath(12), "/dev/hidraw12");
}

}  // namespace
