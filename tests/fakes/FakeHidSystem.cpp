#include "fakes/FakeHidSystem.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fakes {

class FakeDevice final : public hid::Device {
 public:
  FakeDevice(FakeHidSystem& system, std::string path) : m_system(system), m_path(std::move(path)) {
    ++m_system.m_openHandles;
  }
  ~FakeDevice() override { --m_system.m_openHandles; }
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  bool getAttributes(hid::Attributes& out) override {
    const FakeDeviceSetup* s = current();
    if (!s || s->attributesFail) return false;
    out = s->attributes;
    return true;
  }
  bool getProductString(std::uint8_t* buffer, std::size_t length) override {
    const FakeDeviceSetup* s = current();
    return readString(m_system.log(m_path).productCalls, s ? s->productFailures : 0, s ? &s->product : nullptr,
                      buffer, length);
  }
  bool getSerialNumberString(std::uint8_t* buffer, std::size_t length) override {
    const FakeDeviceSetup* s = current();
    return readString(m_system.log(m_path).serialCalls, s ? s->serialFailures : 0, s ? &s->serial : nullptr,
                      buffer, length);
  }
  bool getFeatureReportByteLength(std::uint16_t& out) override {
    const FakeDeviceSetup* s = current();
    if (!s || !s->featureReportByteLength) return false;
    out = *s->featureReportByteLength;
    return true;
  }
  bool setFeature(const std::uint8_t* report, std::size_t length) override {
    FakeDeviceLog& log = m_system.log(m_path);
    log.reports.emplace_back(report, report + length);
    const FakeDeviceSetup* s = current();
    const bool fails = !s || (s->failSetFeatureAt != 0 && static_cast<int>(log.reports.size()) == s->failSetFeatureAt);
    if (fails) ++log.failedReports;
    if (m_system.onReport) m_system.onReport(m_path);
    return !fails;
  }

 private:
  // How the device behaves while it is plugged in; an unplugged device fails every call.
  const FakeDeviceSetup* current() const {
    for (const FakeDeviceSetup& s : m_system.m_present) {
      if (s.path == m_path) return &s;
    }
    return nullptr;
  }
  // One string call: counted, failing for the first `failures` calls, and for a device that is
  // gone or has no such string.
  static bool readString(int& calls, int failures, const std::optional<std::u16string>* text, std::uint8_t* buffer,
                         std::size_t length) {
    ++calls;
    if (!text || calls <= failures || !*text) return false;
    return writeString(**text, buffer, length);
  }
  static bool writeString(const std::u16string& text, std::uint8_t* buffer, std::size_t length) {
    if (length < 2) return false;
    const std::size_t units = std::min(text.size(), length / 2 - 1);
    for (std::size_t i = 0; i < units; ++i) {
      buffer[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
      buffer[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
    buffer[2 * units] = 0;
    buffer[2 * units + 1] = 0;
    return true;
  }

  FakeHidSystem& m_system;
  std::string m_path;
};

class FakeMonitor final : public hid::HotplugMonitor {
 public:
  explicit FakeMonitor(FakeHidSystem& system) : m_system(system), m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd < 0) throw std::runtime_error("eventfd failed");
    m_system.m_monitor = this;
  }
  ~FakeMonitor() override {
    m_system.m_monitor = nullptr;
    close(m_fd);
  }
  FakeMonitor(const FakeMonitor&) = delete;
  FakeMonitor& operator=(const FakeMonitor&) = delete;

  int fd() const override { return m_fd; }
  std::vector<hid::DeviceChangeEvent> receive() override {
    std::uint64_t ignored = 0;
    [[maybe_unused]] const ssize_t n = read(m_fd, &ignored, sizeof ignored);
    std::vector<hid::DeviceChangeEvent> events(m_pending.begin(), m_pending.end());
    m_pending.clear();
    return events;
  }
  void post(hid::DeviceChangeEvent event) {
    m_pending.push_back(std::move(event));
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_fd, &one, sizeof one);
  }

 private:
  FakeHidSystem& m_system;
  int m_fd;
  std::deque<hid::DeviceChangeEvent> m_pending;
};

FakeHidSystem::FakeHidSystem() = default;
FakeHidSystem::~FakeHidSystem() = default;

void FakeHidSystem::plug(FakeDeviceSetup setup, bool notifyArrival) {
  const std::string path = setup.path;
  unplug(path);
  m_present.push_back(std::move(setup));
  m_logs[path];
  if (notifyArrival) notify(hid::kDbtDeviceArrival, {hid::kDbtDevtypDeviceInterface, path});
}

void FakeHidSystem::unplug(const std::string& path, bool notifyRemoval) {
  const auto it = std::remove_if(m_present.begin(), m_present.end(), [&](const FakeDeviceSetup& s) { return s.path == path; });
  const bool wasPresent = it != m_present.end();
  m_present.erase(it, m_present.end());
  if (notifyRemoval && wasPresent) notify(hid::kDbtDeviceRemoveComplete, {hid::kDbtDevtypDeviceInterface, path});
}

FakeDeviceSetup& FakeHidSystem::setup(const std::string& path) {
  for (FakeDeviceSetup& s : m_present) {
    if (s.path == path) return s;
  }
  throw std::out_of_range("no such fake device: " + path);
}

FakeDeviceLog& FakeHidSystem::log(const std::string& path) { return m_logs[path]; }

void FakeHidSystem::notify(std::uint32_t eventType, hid::DeviceChangeRecord record) {
  if (m_monitor) m_monitor->post({eventType, std::move(record)});
}

std::vector<std::string> FakeHidSystem::enumerateInterfaces(const hid::HidClassGuid&) {
  std::vector<std::string> paths;
  for (const FakeDeviceSetup& s : m_present) paths.push_back(s.path);
  return paths;
}

std::unique_ptr<hid::Device> FakeHidSystem::open(const std::string& devicePath) {
  m_openOrder.push_back(devicePath);
  for (const FakeDeviceSetup& s : m_present) {
    if (s.path != devicePath) continue;
    if (s.openFails) return nullptr;
    ++m_logs[devicePath].opens;
    return std::make_unique<FakeDevice>(*this, devicePath);
  }
  return nullptr;
}

std::unique_ptr<hid::HotplugMonitor> FakeHidSystem::registerNotification(const hid::HidClassGuid&) {
  ++m_registrations;
  return std::make_unique<FakeMonitor>(*this);
}

}  // namespace fakes
