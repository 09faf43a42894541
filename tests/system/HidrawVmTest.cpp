// The hidraw layer against a real kernel: run inside the throwaway VM that run-hidraw-vm.sh boots,
// as root, with configfs at /sys/kernel/config and dummy_hcd, libcomposite and usb_f_fs loaded.
//
//   hidraw_vm_test --device-program=PATH --results-dir=DIR [gtest flags]
//
// The global environment creates a configfs gadget with the emulated device of the family as
// its FunctionFS function, starts the device program on it and binds the gadget to the dummy
// UDC, so that the kernel enumerates it through usbhid like a plugged-in device. The device logs
// every SET_REPORT it receives to DIR/device-reports.log; the report test writes the lines it
// expects there to DIR/sent-reports.log, which the host compares once more.

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "EmulatedDevice.h"
#include "hid/DevicePath.h"
#include "hid/HidrawSystem.h"
#include "hid/UdevMonitor.h"
#include "transfer/ReportBuffer.h"
#include "transfer/ReportFormat.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

namespace {

const hid::HidClassGuid kHidraw = hid::GetHidGuid();

// The device's 64-byte feature report plus the report-ID byte.
constexpr std::uint16_t kFeatureReportByteLength = systemtest::kFeatureReportSize + 1;

// Generous bounds for things the kernel does within about a second under TCG; no test measures
// how long anything takes.
constexpr auto kEnumerationTimeout = 20s;
constexpr auto kDeviceTimeout = 10s;

struct Options {
  fs::path deviceProgram;
  fs::path resultsDir;
};
Options g_options;

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void reset(int fd = -1) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd;
};

// sysfs and configfs attributes take their value in one write.
AssertionResult writeAttribute(const fs::path& file, std::string_view text) {
  const UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.valid()) return AssertionFailure() << errnoText("open " + file.string());
  if (::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    return AssertionFailure() << errnoText("write '" + std::string(text) + "' to " + file.string());
  return AssertionSuccess();
}

std::string hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

// "VID_1DD2&PID_1234": what the waits of the program look for in an arriving path.
std::string idPattern(std::uint16_t productId) {
  return "VID_" + hex4(systemtest::kVendorId) + "&PID_" + hex4(productId);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Kernel names of the hid devices that have a hidraw node now, read straight from sysfs so that
// the waits below do not depend on the code under test.
std::vector<std::string> hidrawKernelNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it("/sys/class/hidraw", error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    std::error_code linkError;
    const fs::path device = fs::read_symlink(it->path() / "device", linkError);
    const fs::path node = fs::path("/dev") / it->path().filename();
    if (!linkError && fs::exists(node, linkError)) names.push_back(device.filename().string());
  }
  return names;
}

bool hidrawPresentWithProduct(std::uint16_t productId) {
  const std::string ids = ":" + hex4(systemtest::kVendorId) + ":" + hex4(productId) + ".";
  for (const std::string& name : hidrawKernelNames())
    if (name.find(ids) != std::string::npos) return true;
  return false;
}

// The device program, started on the function's ep0; it signals through a pipe once its
// descriptors are written, which the gadget needs before it can be bound.
class DeviceProcess {
 public:
  DeviceProcess() = default;
  DeviceProcess(const DeviceProcess&) = delete;
  DeviceProcess& operator=(const DeviceProcess&) = delete;
  ~DeviceProcess() { stop(); }

  AssertionResult start(const fs::path& program, const fs::path& ep0, const fs::path& reportLog) {
    int ends[2];
    if (::pipe(ends) != 0) return AssertionFailure() << errnoText("pipe");
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // Only the write end goes to the child.
    ::fcntl(readEnd.get(), F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args = {program.string(), ep0.string(), reportLog.string(), std::to_string(writeEnd.get())};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawnError = ::posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    // Closed here so that the read end sees the end of the pipe when the child dies unready.
    writeEnd.reset();
    if (spawnError != 0) {
      m_pid = -1;
      return AssertionFailure() << "cannot start " << program << ": " << std::strerror(spawnError);
    }
    pollfd pending{readEnd.get(), POLLIN, 0};
    const int polled = ::poll(&pending, 1, static_cast<int>(std::chrono::milliseconds(kDeviceTimeout).count()));
    std::uint8_t byte = 0;
    if (polled != 1 || ::read(readEnd.get(), &byte, 1) != 1)
      return AssertionFailure() << "the device program did not get ready (see its output above)";
    return AssertionSuccess();
  }

  void stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
};

// A configfs gadget whose one configuration holds the FunctionFS function that the device
// program serves, bound to the first UDC (dummy_hcd's). Its destructor takes it apart again.
class Gadget {
 public:
  Gadget() = default;
  Gadget(const Gadget&) = delete;
  Gadget& operator=(const Gadget&) = delete;
  ~Gadget() { remove(); }

  fs::path reportLog() const { return g_options.resultsDir / "device-reports.log"; }

  AssertionResult create(std::uint16_t productId) {
    std::error_code error;
    fs::directory_iterator udcs("/sys/class/udc", error);
    if (error || udcs == fs::directory_iterator()) return AssertionFailure() << "no UDC in /sys/class/udc";
    m_udc = udcs->path().filename().string();

    for (const fs::path& dir : {m_root, m_root / "strings/0x409", m_root / "configs/c.1", function()}) {
      if (!fs::create_directory(dir, error) && error) return AssertionFailure() << "mkdir " << dir << ": " << error.message();
      m_made.push_back(dir);
    }
    const std::pair<fs::path, std::string> attributes[] = {
        {"idVendor", "0x" + hex4(systemtest::kVendorId)},
        {"idProduct", "0x" + hex4(productId)},
        {"bcdDevice", "0x" + hex4(systemtest::kDeviceRelease)},
        {"bcdUSB", "0x0200"},
        {"strings/0x409/manufacturer", systemtest::kManufacturer},
        {"strings/0x409/product", systemtest::kProduct},
        {"strings/0x409/serialnumber", systemtest::kSerial},
        {"configs/c.1/MaxPower", "100"},
    };
    for (const auto& [name, value] : attributes)
      if (AssertionResult written = writeAttribute(m_root / name, value); !written) return written;

    fs::create_directory(m_ffsMount, error);
    if (::mount(kFunctionName, m_ffsMount.c_str(), "functionfs", 0, nullptr) != 0)
      return AssertionFailure() << errnoText("mount functionfs on " + m_ffsMount.string());
    m_mounted = true;
    if (AssertionResult started = m_device.start(g_options.deviceProgram, m_ffsMount / "ep0", reportLog()); !started)
      return started;
    fs::create_symlink(function(), link(), error);
    if (error) return AssertionFailure() << "link the function: " << error.message();
    return bind(productId);
  }

  // Unplugs the device, changes its product ID and plugs it in again, as a device does when it
  // restarts into its bootloader and back.
  AssertionResult reenumerate(std::uint16_t productId) {
    if (AssertionResult unbound = unbind(); !unbound) return unbound;
    if (AssertionResult written = writeAttribute(m_root / "idProduct", "0x" + hex4(productId)); !written)
      return written;
    return bind(productId);
  }

 private:
  static constexpr const char* kFunctionName = "quorvel";

  fs::path function() const { return m_root / "functions" / (std::string("ffs.") + kFunctionName); }
  fs::path link() const { return m_root / "configs/c.1" / (std::string("ffs.") + kFunctionName); }

  AssertionResult bind(std::uint16_t productId) {
    if (AssertionResult bound = writeAttribute(m_root / "UDC", m_udc); !bound) return bound;
    m_bound = true;
    if (!waitUntil([&] { return hidrawPresentWithProduct(productId); }, kEnumerationTimeout))
      return AssertionFailure() << "no hidraw node for " << idPattern(productId) << " after binding";
    return AssertionSuccess();
  }

  AssertionResult unbind() {
    if (AssertionResult unbound = writeAttribute(m_root / "UDC", "\n"); !unbound) return unbound;
    m_bound = false;
    // The device is the only HID device of the VM.
    if (!waitUntil([] { return hidrawKernelNames().empty(); }, kEnumerationTimeout))
      return AssertionFailure() << "the hidraw node stayed after unbinding";
    return AssertionSuccess();
  }

  void remove() {
    if (m_bound) (void)unbind();
    m_device.stop();
    std::error_code error;
    fs::remove(link(), error);
    if (m_mounted) ::umount(m_ffsMount.c_str());
    for (auto dir = m_made.rbegin(); dir != m_made.rend(); ++dir) ::rmdir(dir->c_str());
  }

  const fs::path m_root = "/sys/kernel/config/usb_gadget/quorvel";
  const fs::path m_ffsMount = "/dev/ffs-quorvel";
  std::string m_udc;
  std::vector<fs::path> m_made;
  bool m_mounted = false;
  bool m_bound = false;
  DeviceProcess m_device;
};

std::unique_ptr<Gadget> g_gadget;

class VmEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_gadget = std::make_unique<Gadget>();
    ASSERT_TRUE(g_gadget->create(systemtest::kApplicationProductId));
  }
  void TearDown() override { g_gadget.reset(); }
};

std::vector<std::string> deviceReportLines() {
  std::vector<std::string> lines;
  std::ifstream in(g_gadget->reportLog());
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  return lines;
}

// The payload bytes of a report log line.
std::vector<std::uint8_t> payloadOf(const std::string& line) {
  std::vector<std::uint8_t> bytes;
  const std::size_t start = line.find("data=");
  if (start == std::string::npos) return bytes;
  for (std::size_t i = start + 5; i + 1 < line.size() && line[i] != '\n'; i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
  return bytes;
}

// The UTF-16LE string at the start of `buffer` up to its terminator; nullopt without one.
std::optional<std::u16string> utf16At(const std::uint8_t* buffer, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
    if (unit == 0) return text;
    text.push_back(unit);
  }
  return std::nullopt;
}

std::u16string widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The one interface that enumeration lists; it must carry `productId`.
std::string onlyInterface(hid::HidrawSystem& system, std::uint16_t productId) {
  const std::vector<std::string> paths = system.enumerateInterfaces(kHidraw);
  EXPECT_EQ(paths.size(), 1u) << "the emulated device is the only HID device of the VM";
  if (paths.empty()) return {};
  EXPECT_NE(paths.front().find(idPattern(productId)), std::string::npos) << paths.front();
  return paths.front();
}

TEST(HidrawOnKernel, EnumerationNamesTheDeviceWithItsIdsAndKernelName) {
  hid::HidrawSystem system;
  const std::string path = onlyInterface(system, systemtest::kApplicationProductId);
  const std::optional<hid::DevicePathParts> parts = hid::parseDevicePath(path);
  ASSERT_TRUE(parts) << path;
  EXPECT_EQ(parts->kernel.bus, 0x0003) << "a USB device";
  EXPECT_EQ(parts->kernel.vendorId, systemtest::kVendorId);
  EXPECT_EQ(parts->kernel.productId, systemtest::kApplicationProductId);
  const std::vector<std::string> kernelNames = hidrawKernelNames();
  ASSERT_EQ(kernelNames.size(), 1u);
  EXPECT_EQ(parts->kernelName, kernelNames.front());
  EXPECT_NE(system.open(path), nullptr) << path;
}

TEST(HidrawOnKernel, OpenedDeviceGivesItsAttributesStringsAndFeatureReportLength) {
  hid::HidrawSystem system;
  const std::unique_ptr<hid::Device> device = system.open(onlyInterface(system, systemtest::kApplicationProductId));
  ASSERT_NE(device, nullptr);

  hid::Attributes attributes;
  ASSERT_TRUE(device->getAttributes(attributes));
  EXPECT_EQ(attributes.vendorId, systemtest::kVendorId);
  EXPECT_EQ(attributes.productId, systemtest::kApplicationProductId);
  EXPECT_EQ(attributes.versionNumber, systemtest::kDeviceRelease) << "bcdDevice of the USB device";

  struct StringCase {
    const char* name;
    bool (hid::Device::*get)(std::uint8_t*, std::size_t);
    const char* expected;
  };
  const StringCase strings[] = {
      {"product", &hid::Device::getProductString, systemtest::kProduct},
      {"serial", &hid::Device::getSerialNumberString, systemtest::kSerial},
  };
  for (const StringCase& c : strings) {
    SCOPED_TRACE(c.name);
    // The buffer is prefilled so that a missing terminator shows.
    std::array<std::uint8_t, hid::kDeviceStringBufferSize> buffer;
    buffer.fill(0xAA);
    ASSERT_TRUE(((*device).*c.get)(buffer.data(), hid::kDeviceStringLength));
    EXPECT_EQ(utf16At(buffer.data(), hid::kDeviceStringLength), widen(c.expected));
  }

  std::uint16_t length = 0;
  ASSERT_TRUE(device->getFeatureReportByteLength(length));
  EXPECT_EQ(length, kFeatureReportByteLength);
}

// A known image of `size` bytes in which every byte value occurs.
std::vector<std::uint8_t> knownImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return image;
}

TEST(HidrawOnKernel, FeatureReportsFromTheReportBufferReachTheDeviceByteForByte) {
  hid::HidrawSystem system;
  const std::unique_ptr<hid::Device> device = system.open(onlyInterface(system, systemtest::kApplicationProductId));
  ASSERT_NE(device, nullptr);
  std::uint16_t length = 0;
  ASSERT_TRUE(device->getFeatureReportByteLength(length));
  ASSERT_EQ(length, kFeatureReportByteLength);

  // Eleven chunks, the last with one image byte, so that it is padded.
  const std::vector<std::uint8_t> image = knownImage(401);
  const std::size_t chunks = transfer::ChunkCount(image.size());
  const std::size_t alreadySeen = deviceReportLines().size();

  transfer::ReportBuffer buffer;
  std::vector<std::string> expected;
  const auto send = [&] {
    EXPECT_EQ(buffer.send(*device, length), transfer::SendResult::Sent) << "report " << expected.size();
    // usbhid sends an unnumbered report without its report-ID byte.
    expected.push_back(systemtest::reportLogLine(systemtest::kFeatureSetReportValue, 0,
                                                 buffer.bytes().subspan(1, std::size_t{length} - 1)));
  };
  for (std::size_t k = 1; k <= chunks; ++k) {
    buffer.RawChunkReport(image, transfer::ChunkOffset(k));
    send();
  }
  buffer.FramedBeginReport();
  send();
  for (std::size_t k = 1; k <= chunks; ++k) {
    buffer.FramedDataReport(image, transfer::ChunkOffset(k));
    send();
  }
  buffer.FramedEndReport();
  send();
  {
    std::ofstream sentLog(g_options.resultsDir / "sent-reports.log", std::ios::trunc);
    for (const std::string& line : expected) sentLog << line;
  }

  ASSERT_TRUE(waitUntil([&] { return deviceReportLines().size() >= alreadySeen + expected.size(); }, kDeviceTimeout))
      << "the device logged " << deviceReportLines().size() - alreadySeen << " of " << expected.size() << " reports";
  const std::vector<std::string> all = deviceReportLines();
  const std::vector<std::string> seen(all.begin() + static_cast<std::ptrdiff_t>(alreadySeen), all.end());
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE("report " + std::to_string(i));
    EXPECT_EQ(seen[i], expected[i]);
  }

  // The image as the device took it from the chunk bytes, in the order the reports came.
  std::vector<std::uint8_t> padded = image;
  padded.resize(chunks * transfer::kChunkSize, transfer::kErasedFlashByte);
  struct Transfer {
    const char* name;
    std::size_t firstReport;
    std::size_t chunkOffsetInPayload;  // the report offset less the report-ID byte
  };
  const Transfer transfers[] = {
      {"raw chunks", 0, transfer::kRawChunkOffset - 1},
      {"framed data", chunks + 1, transfer::kFramedDataOffset - 1},
  };
  for (const Transfer& t : transfers) {
    SCOPED_TRACE(t.name);
    std::vector<std::uint8_t> received;
    for (std::size_t k = 0; k < chunks; ++k) {
      const std::vector<std::uint8_t> payload = payloadOf(seen[t.firstReport + k]);
      ASSERT_EQ(payload.size(), systemtest::kFeatureReportSize);
      const auto chunk = payload.begin() + static_cast<std::ptrdiff_t>(t.chunkOffsetInPayload);
      received.insert(received.end(), chunk, chunk + static_cast<std::ptrdiff_t>(transfer::kChunkSize));
    }
    EXPECT_EQ(received, padded);
  }
}

// Which of the two netlink sources the monitor listens to, and the run folder that makes the
// hidraw layer choose it.
struct MonitorCase {
  const char* name;
  hid::MonitorSource source;
  fs::path runRoot;
};

std::ostream& operator<<(std::ostream& out, const MonitorCase& c) { return out << c.name; }

class HidrawHotplugOnKernel : public ::testing::TestWithParam<MonitorCase> {};

using Events = std::vector<hid::DeviceChangeEvent>;

std::optional<std::size_t> findEvent(const Events& events, std::uint32_t type,
                                     const std::function<bool(const std::string&)>& nameMatches) {
  for (std::size_t i = 0; i < events.size(); ++i)
    if (events[i].eventType == type && nameMatches(events[i].record.name)) return i;
  return std::nullopt;
}

std::string describe(const Events& events) {
  std::ostringstream out;
  for (const hid::DeviceChangeEvent& e : events)
    out << "\n  0x" << std::hex << e.eventType << std::dec << " type " << e.record.deviceType << " " << e.record.name;
  return out.str();
}

struct ReEnumeration {
  Events events;
  std::optional<std::size_t> removal;
  std::optional<std::size_t> arrival;
};

// Collects the monitor's events until the removal of `oldPath` and the arrival of a path that
// contains `arrivalPattern` have both been reported, or the time is up.
ReEnumeration awaitReEnumeration(hid::HotplugMonitor& monitor, const std::string& oldPath,
                                 const std::string& arrivalPattern) {
  ReEnumeration result;
  const auto isOld = [&](const std::string& name) { return name == oldPath; };
  const auto isNew = [&](const std::string& name) { return name.find(arrivalPattern) != std::string::npos; };
  const auto deadline = std::chrono::steady_clock::now() + kEnumerationTimeout;
  while (!(result.removal && result.arrival)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pending{monitor.fd(), POLLIN, 0};
    if (::poll(&pending, 1, static_cast<int>(left.count())) <= 0) continue;
    for (hid::DeviceChangeEvent& event : monitor.receive()) result.events.push_back(std::move(event));
    result.removal = findEvent(result.events, hid::kDbtDeviceRemoveComplete, isOld);
    result.arrival = findEvent(result.events, hid::kDbtDeviceArrival, isNew);
  }
  return result;
}

// The arrival's path, after checking that the removal came first and that both name interfaces.
std::string checkedArrival(const ReEnumeration& r, const std::string& oldPath, const std::string& arrivalPattern) {
  EXPECT_TRUE(r.removal) << "no removal of " << oldPath << describe(r.events);
  EXPECT_TRUE(r.arrival) << "no arrival of " << arrivalPattern << describe(r.events);
  if (!r.removal || !r.arrival) return {};
  EXPECT_LT(*r.removal, *r.arrival) << describe(r.events);
  EXPECT_EQ(r.events[*r.removal].record.deviceType, hid::kDbtDevtypDeviceInterface);
  EXPECT_EQ(r.events[*r.arrival].record.deviceType, hid::kDbtDevtypDeviceInterface);
  return r.events[*r.arrival].record.name;
}

TEST_P(HidrawHotplugOnKernel, ReEnumerationIsReportedAndTheOldPathNoLongerOpens) {
  const MonitorCase& c = GetParam();
  if (c.source == hid::MonitorSource::Udev && !fs::exists(c.runRoot / "udev/control"))
    GTEST_SKIP() << "udevd does not run in this VM";
  std::error_code error;
  fs::create_directories(c.runRoot, error);
  ASSERT_EQ(hid::chooseMonitorSource(c.runRoot), c.source);

  hid::HidrawRoots roots;
  roots.run = c.runRoot;
  hid::HidrawSystem system(roots);
  const std::string firstPath = onlyInterface(system, systemtest::kApplicationProductId);
  ASSERT_FALSE(firstPath.empty());
  const std::unique_ptr<hid::HotplugMonitor> monitor = system.registerNotification(kHidraw);
  ASSERT_NE(monitor, nullptr);
  ASSERT_GE(monitor->fd(), 0);

  // Into the bootloader, with the application's interface still open as the program holds it
  // while it sends the bootloader-entry report.
  std::unique_ptr<hid::Device> held = system.open(firstPath);
  ASSERT_NE(held, nullptr);
  ASSERT_TRUE(g_gadget->reenumerate(systemtest::kBootloaderProductId));
  const std::string bootPattern = idPattern(systemtest::kBootloaderProductId);
  const std::string bootPath = checkedArrival(awaitReEnumeration(*monitor, firstPath, bootPattern), firstPath, bootPattern);
  ASSERT_FALSE(bootPath.empty());

  const std::size_t reportsBefore = deviceReportLines().size();
  std::array<std::uint8_t, kFeatureReportByteLength> report{};
  EXPECT_FALSE(held->setFeature(report.data(), report.size())) << "a send to a removed device reported success";
  held.reset();
  EXPECT_EQ(deviceReportLines().size(), reportsBefore);

  {
    const std::unique_ptr<hid::Device> boot = system.open(bootPath);
    ASSERT_NE(boot, nullptr) << bootPath;
    hid::Attributes attributes;
    ASSERT_TRUE(boot->getAttributes(attributes));
    EXPECT_EQ(attributes.vendorId, systemtest::kVendorId);
    EXPECT_EQ(attributes.productId, systemtest::kBootloaderProductId);
  }

  // Back to the application's IDs, with nothing open: the kernel hands out the first free
  // hidraw node again, so the new device gets the node of the first path.
  ASSERT_TRUE(g_gadget->reenumerate(systemtest::kApplicationProductId));
  const std::string appPattern = idPattern(systemtest::kApplicationProductId);
  const std::string backPath = checkedArrival(awaitReEnumeration(*monitor, bootPath, appPattern), bootPath, appPattern);
  ASSERT_FALSE(backPath.empty());

  const std::optional<hid::DevicePathParts> first = hid::parseDevicePath(firstPath);
  const std::optional<hid::DevicePathParts> back = hid::parseDevicePath(backPath);
  ASSERT_TRUE(first && back) << firstPath << " / " << backPath;
  ASSERT_EQ(back->node, first->node) << "the kernel gave the device another node; the check below proves less";
  EXPECT_NE(back->kernelName, first->kernelName);
  EXPECT_TRUE(system.open(firstPath) == nullptr) << "the old path opened the node's new device";
  EXPECT_TRUE(system.open(backPath) != nullptr) << backPath;
  EXPECT_EQ(system.enumerateInterfaces(kHidraw), std::vector<std::string>{backPath});
}

INSTANTIATE_TEST_SUITE_P(Sources, HidrawHotplugOnKernel,
                         ::testing::Values(MonitorCase{"kernel", hid::MonitorSource::Kernel, "/tmp/run-without-udevd"},
                                           MonitorCase{"udev", hid::MonitorSource::Udev, "/run"}),
                         [](const ::testing::TestParamInfo<MonitorCase>& instance) { return std::string(instance.param.name); });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--device-program=")) {
      g_options.deviceProgram = arg.substr(std::strlen("--device-program="));
    } else if (arg.starts_with("--results-dir=")) {
      g_options.resultsDir = arg.substr(std::strlen("--results-dir="));
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (g_options.deviceProgram.empty() || g_options.resultsDir.empty()) {
    std::fprintf(stderr, "usage: %s --device-program=PATH --results-dir=DIR [gtest flags]\n", argv[0]);
    return 2;
  }
  ::testing::AddGlobalTestEnvironment(new VmEnvironment);
  return RUN_ALL_TESTS();
}
