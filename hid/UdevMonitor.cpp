#include "hid/UdevMonitor.h"

#include <libudev.h>
#include <poll.h>

#include <string_view>
#include <system_error>

#include "hid/DevicePath.h"

namespace hid {
namespace {

struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
};
struct UdevMonitorUnref {
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};
struct UdevDeviceUnref {
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevUnref>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevMonitorUnref>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeviceUnref>;

// One receive() hands back at most this many events, so that a flood of events cannot hold the
// GUI thread; the rest stay pending and make the descriptor readable again.
constexpr int kMaxEventsPerReceive = 256;

std::string_view lastComponent(std::string_view path, std::string_view& rest) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) {
    rest = {};
    return path;
  }
  rest = path.substr(0, slash);
  return path.substr(slash + 1);
}

const std::string* property(const UdevEventRecord& event, std::string_view name) {
  for (const auto& [key, value] : event.properties)
    if (key == name) return &value;
  return nullptr;
}

class LibudevMonitor final : public HotplugMonitor {
 public:
  LibudevMonitor(UdevPtr context, UdevMonitorPtr monitor, std::shared_ptr<NodePathRegistry> registry)
      : m_udev(std::move(context)), m_monitor(std::move(monitor)), m_registry(std::move(registry)) {}

  int fd() const override { return udev_monitor_get_fd(m_monitor.get()); }

  std::vector<DeviceChangeEvent> receive() override {
    std::vector<DeviceChangeEvent> events;
    for (int i = 0; i < kMaxEventsPerReceive; ++i) {
      pollfd pending{fd(), POLLIN, 0};
      if (::poll(&pending, 1, 0) <= 0) break;
      // Each call consumes one message, also one that fails or that the filter drops.
      const UdevDevicePtr device(udev_monitor_receive_device(m_monitor.get()));
      if (!device) continue;
      UdevEventRecord record;
      if (const char* action = udev_device_get_action(device.get())) record.action = action;
      if (const char* syspath = udev_device_get_syspath(device.get())) record.syspath = syspath;
      udev_list_entry* entry = nullptr;
      udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device.get())) {
        const char* name = udev_list_entry_get_name(entry);
        const char* value = udev_list_entry_get_value(entry);
        if (name) record.properties.emplace_back(name, value ? value : "");
      }
      if (std::optional<DeviceChangeEvent> event = translateUdevEvent(record, *m_registry))
        events.push_back(std::move(*event));
    }
    return events;
  }

 private:
  UdevPtr m_udev;  // outlives the monitor: declared first, destroyed last
  UdevMonitorPtr m_monitor;
  std::shared_ptr<NodePathRegistry> m_registry;
};

}  // namespace

std::optional<std::string> NodePathRegistry::find(std::uint32_t node) const {
  const auto it = m_paths.find(node);
  if (it == m_paths.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> NodePathRegistry::take(std::uint32_t node) {
  const auto it = m_paths.find(node);
  if (it == m_paths.end()) return std::nullopt;
  std::string path = std::move(it->second);
  m_paths.erase(it);
  return path;
}

std::optional<DeviceChangeEvent> translateUdevEvent(const UdevEventRecord& event, NodePathRegistry& registry) {
  const std::string* subsystem = property(event, "SUBSYSTEM");
  if (subsystem == nullptr || *subsystem != "hidraw") return std::nullopt;

  // A hidraw class device lives at <hid device>/hidraw/hidraw<N>, and the hid device's
  // directory is named by its kernel name.
  std::string_view rest;
  const std::optional<std::uint32_t> node = parseHidrawNodeName(lastComponent(event.syspath, rest));
  if (!node) return std::nullopt;
  std::optional<std::string> path;
  if (lastComponent(rest, rest) == "hidraw") path = makeDevicePath(*node, lastComponent(rest, rest));

  DeviceChangeEvent change;
  change.record.deviceType = kDbtDevtypDeviceInterface;
  if (event.action == "add") {
    change.eventType = kDbtDeviceArrival;
    if (path) registry.record(*node, *path);
  } else if (event.action == "remove") {
    change.eventType = kDbtDeviceRemoveComplete;
    std::optional<std::string> recorded = registry.take(*node);
    if (!path) path = std::move(recorded);
  } else {
    change.eventType = kDbtDevNodesChanged;
  }
  change.record.name = path ? std::move(*path) : hidrawNodePath(*node);
  return change;
}

MonitorSource chooseMonitorSource(const std::filesystem::path& runRoot) {
  std::error_code error;
  return std::filesystem::exists(runRoot / "udev" / "control", error) ? MonitorSource::Udev : MonitorSource::Kernel;
}

std::unique_ptr<HotplugMonitor> createUdevMonitor(MonitorSource source, std::shared_ptr<NodePathRegistry> registry) {
  if (!registry) registry = std::make_shared<NodePathRegistry>();
  UdevPtr context(udev_new());
  if (!context) return nullptr;
  UdevMonitorPtr monitor(
      udev_monitor_new_from_netlink(context.get(), source == MonitorSource::Udev ? "udev" : "kernel"));
  if (!monitor) return nullptr;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0) return nullptr;
  if (udev_monitor_enable_receiving(monitor.get()) < 0) return nullptr;
  return std::make_unique<LibudevMonitor>(std::move(context), std::move(monitor), std::move(registry));
}

}  // namespace hid
