#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidSystem.h"

namespace fakes {

// A scripted HID device: what it answers, and where it fails.
struct FakeDeviceSetup {
  std::string path;
  bool openFails = false;
  bool attributesFail = false;
  hid::Attributes attributes;
  std::optional<std::u16string> product;  // nullopt: the device has no product string
  std::optional<std::u16string> serial;
  int productFailures = 0;  // the first n product string calls fail
  int serialFailures = 0;
  std::optional<std::uint16_t> featureReportByteLength = 65;  // nullopt: capabilities cannot be read
  int failSetFeatureAt = 0;  // the n-th feature report sent to the device fails (counted from 1); 0: none
};

// What happened to one device.
struct FakeDeviceLog {
  int opens = 0;
  int productCalls = 0;
  int serialCalls = 0;
  std::vector<std::vector<std::uint8_t>> reports;  // every feature report that was sent, failed ones too
  int failedReports = 0;
};

class FakeMonitor;

// A HID system of scripted devices. Devices can be plugged and unplugged at any time; a
// registration sees them as device-change events on a descriptor that becomes readable.
class FakeHidSystem final : public hid::HidSystem {
 public:
  FakeHidSystem();
  ~FakeHidSystem() override;

  void plug(FakeDeviceSetup setup, bool notify = false);
  void unplug(const std::string& path, bool notify = false);
  FakeDeviceSetup& setup(const std::string& path);
  FakeDeviceLog& log(const std::string& path);  // logs outlive unplugging
  const std::vector<std::string>& openOrder() const { return m_openOrder; }
  int openHandles() const { return m_openHandles; }
  int registrations() const { return m_registrations; }
  bool registered() const { return m_monitor != nullptr; }
  // Runs after every feature report sent to any device, with the device's path.
  std::function<void(const std::string&)> onReport;
  // Queues an event for the registration (if any) and makes its descriptor readable.
  void notify(std::uint32_t eventType, hid::DeviceChangeRecord record);

  std::vector<std::string> enumerateInterfaces(const hid::HidClassGuid& classGuid) override;
  std::unique_ptr<hid::Device> open(const std::string& devicePath) override;
  std::unique_ptr<hid::HotplugMonitor> registerNotification(const hid::HidClassGuid& classGuid) override;

 private:
  friend class FakeDevice;
  friend class FakeMonitor;
  std::vector<FakeDeviceSetup> m_present;
  std::map<std::string, FakeDeviceLog> m_logs;
  std::vector<std::string> m_openOrder;
  int m_openHandles = 0;
  int m_registrations = 0;
  FakeMonitor* m_monitor = nullptr;
};

}  // namespace fakes
