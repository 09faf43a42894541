#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "hid/UdevMonitor.h"

namespace {

constexpr const char* kSyspath =
    "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:1DD2:0001.000C/hidraw/hidraw3";
constexpr const char* kPath = "/dev/hidraw3#VID_1DD2&PID_0001#0003:1DD2:0001.000C";
constexpr const char* kOldPath = "/dev/hidraw3#VID_1DD2&PID_1234#0003:1DD2:1234.000A";

// Properties as udev reports them for a hidraw device.
hid::UdevEventRecord udevEvent(const std::string& action, const std::string& syspath,
                               const std::string& subsystem = "hidraw") {
  hid::UdevEventRecord e;
  e.action = action;
  e.syspath = syspath;
  e.properties = {{"ACTION", action},
                  {"DEVPATH", syspath.starts_with("/sys") ? syspath.substr(4) : syspath},
                  {"SUBSYSTEM", subsystem},
                  {"DEVNAME", "/dev/hidraw3"},
                  {"SEQNUM", "4711"},
                  {"MAJOR", "241"},
                  {"MINOR", "3"}};
  return e;
}

TEST(UdevEventTranslation, Table) {
  using Registry = std::map<std::uint32_t, std::string>;
  const struct {
    const char* name;
    hid::UdevEventRecord event;
    Registry before;
    std::optional<std::uint32_t> eventType;  // nullopt: no event at all
    std::string recordName;
    Registry after;
  } cases[] = {
      {"arrival is named from its sysfs path and recorded", udevEvent("add", kSyspath), {{3, kOldPath}},
       hid::kDbtDeviceArrival, kPath, {{3, kPath}}},
      {"arrival of a virtual device", udevEvent("add", "/sys/devices/virtual/misc/uhid/0005:046D:B01A.0002/hidraw/hidraw3"), {},
       hid::kDbtDeviceArrival, "/dev/hidraw3#VID_046D&PID_B01A#0005:046D:B01A.0002",
       {{3, "/dev/hidraw3#VID_046D&PID_B01A#0005:046D:B01A.0002"}}},
      {"removal is named from its sysfs path, which outlives the device", udevEvent("remove", kSyspath),
       {{3, kOldPath}, {4, "other"}}, hid::kDbtDeviceRemoveComplete, kPath, {{4, "other"}}},
      {"removal without a kernel name takes the recorded path", udevEvent("remove", "/sys/class/hidraw/hidraw3"),
       {{3, kOldPath}}, hid::kDbtDeviceRemoveComplete, kOldPath, {}},
      {"removal without a kernel name or record names the bare node", udevEvent("remove", "/sys/class/hidraw/hidraw3"),
       {{4, kOldPath}}, hid::kDbtDeviceRemoveComplete, "/dev/hidraw3", {{4, kOldPath}}},
      {"arrival without a kernel name never takes an older device's path",
       udevEvent("add", "/sys/devices/x/0003:1dd2:0001.000C/hidraw/hidraw3"), {{3, kOldPath}}, hid::kDbtDeviceArrival,
       "/dev/hidraw3", {{3, kOldPath}}},
      {"change", udevEvent("change", kSyspath), {}, hid::kDbtDevNodesChanged, kPath, {}},
      {"bind", udevEvent("bind", kSyspath), {{3, kOldPath}}, hid::kDbtDevNodesChanged, kPath, {{3, kOldPath}}},
      {"no action", udevEvent("", kSyspath), {}, hid::kDbtDevNodesChanged, kPath, {}},
      {"another subsystem", udevEvent("add", kSyspath, "input"), {}, std::nullopt, "", {}},
      {"not a hidraw node", udevEvent("add", "/sys/devices/x/0003:1DD2:0001.000C/hidraw/hidraw3x"), {}, std::nullopt, "", {}},
      {"empty sysfs path", udevEvent("remove", ""), {{3, kOldPath}}, std::nullopt, "", {{3, kOldPath}}},
      {"node name alone", udevEvent("add", "hidraw3"), {}, hid::kDbtDeviceArrival, "/dev/hidraw3", {}},
      {"kernel name not under a hidraw folder", udevEvent("add", "/sys/devices/x/0003:1DD2:0001.000C/hidraw3"), {},
       hid::kDbtDeviceArrival, "/dev/hidraw3", {}},
  };
  hid::UdevEventRecord noSubsystem = udevEvent("add", kSyspath);
  noSubsystem.properties.clear();

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    hid::NodePathRegistry registry;
    registry.replaceAll(c.before);
    const std::optional<hid::DeviceChangeEvent> event = hid::translateUdevEvent(c.event, registry);
    ASSERT_EQ(event.has_value(), c.eventType.has_value());
    if (event) {
      EXPECT_EQ(event->eventType, *c.eventType);
      EXPECT_EQ(event->record.deviceType, hid::kDbtDevtypDeviceInterface);
      EXPECT_EQ(event->record.name, c.recordName);
    }
    for (std::uint32_t node = 0; node < 8; ++node) {
      const auto it = c.after.find(node);
      EXPECT_EQ(registry.find(node), it == c.after.end() ? std::nullopt : std::optional<std::string>(it->second)) << node;
    }
  }
  hid::NodePathRegistry registry;
  EXPECT_FALSE(hid::translateUdevEvent(noSubsystem, registry));
}

}  // namespace
