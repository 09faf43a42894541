// The emulated device of the family, as the USB HID function of a configfs gadget on FunctionFS.
//
//   quorvel_emulated_hid_device EP0 REPORT_LOG [READY_FD]
//
// Writes the function's descriptors to EP0 (the ep0 file of a mounted functionfs instance), then
// signals READY_FD (one byte, then closed) so that the gadget can be bound, and answers every
// control request of the interface until SIGTERM or SIGINT. Each SET_REPORT's data stage is
// appended to REPORT_LOG as one line (see reportLogLine), written with a single write(2) so that
// a reader never sees half a line.
//
// FunctionFS rather than the kernel's own HID gadget function: that one keeps only the latest
// SET_REPORT and loses reports sent back to back, while here the host's HIDIOCSFEATURE completes
// only after this program has read the data stage, so nothing is lost and nothing is merged.

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "EmulatedDevice.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void requestStop(int) { g_stopRequested = 1; }

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  ~UniqueFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  void reset() {
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
  }

 private:
  int m_fd;
};

// FunctionFS takes its blobs in little-endian byte order.
class LittleEndianWriter {
 public:
  void u8(std::uint8_t value) { m_bytes.push_back(value); }
  void u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value & 0xFF));
    u8(static_cast<std::uint8_t>(value >> 8));
  }
  void u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value & 0xFFFF));
    u16(static_cast<std::uint16_t>(value >> 16));
  }
  void patchU32(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) m_bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  std::vector<std::uint8_t>& bytes() { return m_bytes; }

 private:
  std::vector<std::uint8_t> m_bytes;
};

constexpr std::uint8_t kHidDescriptorType = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;

// HID class requests (bRequest of a class request to the interface).
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kGetIdle = 0x02;
constexpr std::uint8_t kGetProtocol = 0x03;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kSetIdle = 0x0A;
constexpr std::uint8_t kSetProtocol = 0x0B;

constexpr std::uint8_t kClassToInterfaceOut = USB_DIR_OUT | USB_TYPE_CLASS | USB_RECIP_INTERFACE;   // 0x21
constexpr std::uint8_t kClassToInterfaceIn = USB_DIR_IN | USB_TYPE_CLASS | USB_RECIP_INTERFACE;     // 0xA1
constexpr std::uint8_t kStandardToInterfaceIn = USB_DIR_IN | USB_TYPE_STANDARD | USB_RECIP_INTERFACE;  // 0x81

// The HID class descriptor that follows the interface descriptor.
void writeHidDescriptor(LittleEndianWriter& out) {
  out.u8(9);
  out.u8(kHidDescriptorType);
  out.u16(0x0111);  // bcdHID 1.11
  out.u8(0);        // no country
  out.u8(1);        // one class descriptor:
  out.u8(kReportDescriptorType);
  out.u16(static_cast<std::uint16_t>(systemtest::kReportDescriptor.size()));
}

// One speed's descriptors: the HID interface with its interrupt IN endpoint. HID requires the
// endpoint even though the device never sends an input report.
void writeInterfaceDescriptors(LittleEndianWriter& out, std::uint8_t interval) {
  out.u8(USB_DT_INTERFACE_SIZE);
  out.u8(USB_DT_INTERFACE);
  out.u8(0);  // bInterfaceNumber: FunctionFS renumbers it
  out.u8(0);  // bAlternateSetting
  out.u8(1);  // bNumEndpoints
  out.u8(USB_CLASS_HID);
  out.u8(0);  // no boot subclass
  out.u8(0);  // no boot protocol
  out.u8(0);  // no interface string
  writeHidDescriptor(out);
  out.u8(USB_DT_ENDPOINT_SIZE);
  out.u8(USB_DT_ENDPOINT);
  out.u8(1 | USB_DIR_IN);
  out.u8(USB_ENDPOINT_XFER_INT);
  out.u16(64);  // wMaxPacketSize
  out.u8(interval);
}

constexpr std::uint32_t kDescriptorsPerSpeed = 3;

std::vector<std::uint8_t> functionDescriptors() {
  LittleEndianWriter out;
  out.u32(FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  out.u32(0);  // total length, patched below
  out.u32(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  out.u32(kDescriptorsPerSpeed);
  out.u32(kDescriptorsPerSpeed);
  writeInterfaceDescriptors(out, 1);  // full speed: 1 ms
  writeInterfaceDescriptors(out, 4);  // high speed: 2^(4-1) x 125 us = 1 ms
  out.patchU32(4, static_cast<std::uint32_t>(out.bytes().size()));
  return std::move(out.bytes());
}

// No strings of its own: product and serial are the gadget's.
std::vector<std::uint8_t> functionStrings() {
  LittleEndianWriter out;
  out.u32(FUNCTIONFS_STRINGS_MAGIC);
  out.u32(16);
  out.u32(0);  // str_count
  out.u32(0);  // lang_count
  return std::move(out.bytes());
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

class Device {
 public:
  Device(int ep0, int reportLog) : m_ep0(ep0), m_reportLog(reportLog) {}

  // Serves ep0 until a stop is requested; false on an error that ends the function.
  bool serve() {
    std::array<usb_functionfs_event, 8> events{};
    while (g_stopRequested == 0) {
      pollfd pending{m_ep0, POLLIN, 0};
      const int ready = ::poll(&pending, 1, 500);
      if (ready < 0 && errno != EINTR) return fail("poll ep0");
      if (ready <= 0) continue;
      const ssize_t got = ::read(m_ep0, events.data(), sizeof events);
      if (got < 0) {
        // EIDRM: FunctionFS dropped a setup that was overtaken by a newer event; read again.
        if (errno == EINTR || errno == EAGAIN || errno == EIDRM) continue;
        return fail("read ep0");
      }
      const auto count = static_cast<std::size_t>(got) / sizeof(usb_functionfs_event);
      for (std::size_t i = 0; i < count; ++i) handle(events[i]);
    }
    std::printf("device: stopped after %u SET_REPORT requests (%u lost to EIDRM, %u stalled requests)\n",
                m_reports, m_overtaken, m_stalled);
    return true;
  }

 private:
  bool fail(const char* what) {
    std::fprintf(stderr, "device: %s: %s\n", what, std::strerror(errno));
    return false;
  }

  void handle(const usb_functionfs_event& event) {
    switch (event.type) {
      case FUNCTIONFS_SETUP: {
        // The event is packed; copy the request out rather than bind a reference to it.
        usb_ctrlrequest request;
        std::memcpy(&request, &event.u.setup, sizeof request);
        return setup(request);
      }
      case FUNCTIONFS_BIND: return note("bind");
      case FUNCTIONFS_UNBIND: return note("unbind");
      case FUNCTIONFS_ENABLE: return note("enable");
      case FUNCTIONFS_DISABLE: return note("disable");
      case FUNCTIONFS_SUSPEND: return note("suspend");
      case FUNCTIONFS_RESUME: return note("resume");
      default: std::printf("device: event %u\n", static_cast<unsigned>(event.type));
    }
    std::fflush(stdout);
  }

  static void note(const char* what) {
    std::printf("device: %s\n", what);
    std::fflush(stdout);
  }

  void setup(const usb_ctrlrequest& request) {
    // The event's fields are little-endian; the VM is x86.
    const std::uint16_t value = request.wValue;
    const std::uint16_t index = request.wIndex;
    const std::uint16_t length = request.wLength;
    const std::uint8_t type = request.bRequestType;

    if (type == kStandardToInterfaceIn && request.bRequest == USB_REQ_GET_DESCRIPTOR &&
        (value >> 8) == kReportDescriptorType) {
      return answer(systemtest::kReportDescriptor, length);
    }
    if (type == kStandardToInterfaceIn && request.bRequest == USB_REQ_GET_DESCRIPTOR &&
        (value >> 8) == kHidDescriptorType) {
      LittleEndianWriter hid;
      writeHidDescriptor(hid);
      return answer(hid.bytes(), length);
    }
    if (type == kClassToInterfaceOut && request.bRequest == kSetReport) return setReport(value, index, length);
    if (type == kClassToInterfaceOut && (request.bRequest == kSetIdle || request.bRequest == kSetProtocol) &&
        length == 0) {
      // A read of nothing completes a request without a data stage.
      if (::read(m_ep0, nullptr, 0) < 0) fail("acknowledge");
      return;
    }
    if (type == kClassToInterfaceIn && request.bRequest == kGetReport) {
      // Nobody reads reports from the family's devices; answer zeros of the asked length.
      const std::array<std::uint8_t, systemtest::kFeatureReportSize> zeros{};
      return answer(zeros, length);
    }
    if (type == kClassToInterfaceIn && request.bRequest == kGetIdle) return answer(std::array<std::uint8_t, 1>{0}, length);
    if (type == kClassToInterfaceIn && request.bRequest == kGetProtocol) {
      return answer(std::array<std::uint8_t, 1>{1}, length);  // report protocol
    }
    stall(request);
  }

  void answer(std::span<const std::uint8_t> data, std::uint16_t length) {
    if (!writeAll(m_ep0, data.first(std::min<std::size_t>(data.size(), length)))) fail("answer");
  }

  void setReport(std::uint16_t value, std::uint16_t index, std::uint16_t length) {
    std::vector<std::uint8_t> data(length);
    const ssize_t got = ::read(m_ep0, data.data(), data.size());
    if (got < 0) {
      if (errno == EIDRM) ++m_overtaken;
      fail("SET_REPORT data stage");
      return;
    }
    data.resize(static_cast<std::size_t>(got));
    const std::string line = systemtest::reportLogLine(value, index, data);
    if (::write(m_reportLog, line.data(), line.size()) != static_cast<ssize_t>(line.size())) fail("report log");
    ++m_reports;
  }

  // The direction opposite to the request's stalls it.
  void stall(const usb_ctrlrequest& request) {
    ++m_stalled;
    std::printf("device: stall bRequestType=0x%02x bRequest=0x%02x wValue=0x%04x wLength=%u\n",
                request.bRequestType, request.bRequest, request.wValue, request.wLength);
    std::fflush(stdout);
    // FunctionFS answers a stall with EL2HLT.
    const ssize_t result =
        (request.bRequestType & USB_DIR_IN) != 0 ? ::read(m_ep0, nullptr, 0) : ::write(m_ep0, nullptr, 0);
    if (result < 0 && errno != EL2HLT) fail("stall");
  }

  int m_ep0;
  int m_reportLog;
  unsigned m_reports = 0;
  unsigned m_overtaken = 0;
  unsigned m_stalled = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s EP0 REPORT_LOG [READY_FD]\n", argv[0]);
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = requestStop;  // no SA_RESTART: the poll returns and the loop ends
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  UniqueFd ep0(::open(argv[1], O_RDWR | O_CLOEXEC));
  if (!ep0.valid()) {
    std::perror(argv[1]);
    return 1;
  }
  UniqueFd reportLog(::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
  if (!reportLog.valid()) {
    std::perror(argv[2]);
    return 1;
  }
  if (!writeAll(ep0.get(), functionDescriptors()) || !writeAll(ep0.get(), functionStrings())) {
    std::perror("device: descriptors");
    return 1;
  }
  if (argc == 4) {
    UniqueFd ready(std::atoi(argv[3]));
    const std::uint8_t byte = 1;
    if (!writeAll(ready.get(), std::span(&byte, 1))) std::perror("device: ready");
  }
  std::printf("device: ready on %s\n", argv[1]);
  std::fflush(stdout);
  return Device(ep0.get(), reportLog.get()).serve() ? 0 : 1;
}
