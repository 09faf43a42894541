#include "transfer/UpdateProcedure.h"

#include <cstdio>
#include <memory>
#include <span>

#include "service/FirmwareQuery.h"

namespace transfer {

namespace {

// How a device's transfer ended.
enum class Outcome {
  NotAttempted,  // nothing was sent: unknown mode, or no bootloader signature
  Finished,      // every report went out
  Stopped,       // the device could not be opened, a report failed, or the bootloader never came
  Aborted,       // the window is closing
};

// A position of a data report: floor(scale * k / size) + base, in 64 bits so that no product
// overflows whatever the image size.
int ChunkPosition(std::uint64_t scale, std::uint64_t k, std::uint64_t size, int base) {
  return static_cast<int>(scale * k / size) + base;
}

class UpdateRun {
 public:
  UpdateRun(const UpdateEnvironment& environment, const UpdateControls& controls, ProcessState& state)
      : m_env(environment), m_controls(controls), m_state(state) {}

  // Returns false when the run was aborted.
  bool walk();
  bool reenumerationWait();
  bool waitReappear() const { return m_waitReappear; }

 private:
  // Lets the window's other handlers run; true when the window has been asked to close.
  bool pumpAndCheckAbort() {
    m_env.pump.PumpPendingMessages();
    return m_state.abortRequested;
  }

  Outcome transfer(const discovery::DeviceSlot& slot, const service::FirmwareDescriptor& descriptor,
                   std::span<const std::uint8_t> image);
  Outcome direct(const discovery::DeviceSlot& slot, std::span<const std::uint8_t> image);
  Outcome framed(const discovery::DeviceSlot& slot, std::span<const std::uint8_t> image);
  Outcome bootloader(const discovery::DeviceSlot& slot, const service::FirmwareDescriptor& descriptor,
                     std::span<const std::uint8_t> image);
  // Sends every chunk of the image as raw chunk reports, each position computed by `position`.
  template <class Position>
  Outcome sendRawChunks(hid::Device& device, std::size_t featureReportLength, std::span<const std::uint8_t> image,
                        Position position);

  const UpdateEnvironment& m_env;
  const UpdateControls& m_controls;
  ProcessState& m_state;
  bool m_waitReappear = false;
  int m_waitCounter = 0;
};

bool UpdateRun::walk() {
  for (int i = 0; i < m_controls.list.GetCount(); ++i) {
    if (m_controls.list.GetSel(i) <= 0) continue;
    const std::uint32_t slotNumber = m_controls.list.GetItemData(i);
    m_controls.progress.SetPos(0);
    m_waitCounter = 0;

    // The image is freed before its stream is released, whatever happens to the entry.
    service::FirmwareDownload download;
    Outcome outcome = Outcome::NotAttempted;
    if (slotNumber < static_cast<std::uint32_t>(discovery::kMaxDevices)) {
      const discovery::DeviceSlot& slot = m_state.deviceTable[slotNumber];
      const service::FirmwareDescriptor descriptor = service::QueryFirmwareDescriptor(
          m_env.fetch, m_env.serviceBaseUrl, static_cast<std::uint16_t>(slot.vendorId),
          static_cast<std::uint16_t>(slot.productId));
      if (descriptor.imageSize != 0) download = service::DownloadFirmwareImage(m_env.fetch, descriptor, m_env.downloadLimits);
      if (download.image) outcome = transfer(slot, descriptor, *download.image);
    }
    download.image.reset();
    download.stream.reset();
    if (outcome == Outcome::Aborted) return false;

    m_controls.progress.SetPos(0);
    m_controls.list.SetSel(false, i);
  }
  return true;
}

Outcome UpdateRun::transfer(const discovery::DeviceSlot& slot, const service::FirmwareDescriptor& descriptor,
                            std::span<const std::uint8_t> image) {
  const std::optional<service::TransferMode> mode = service::ToTransferMode(descriptor.transferMode);
  if (!mode) return Outcome::NotAttempted;
  switch (*mode) {
    case service::TransferMode::kDirect: {
      const Outcome outcome = direct(slot, image);
      if (outcome == Outcome::Finished) m_waitReappear = true;
      return outcome;
    }
    case service::TransferMode::kBootloader: {
      const Outcome outcome = bootloader(slot, descriptor, image);
      if (outcome == Outcome::Finished) m_waitReappear = true;
      return outcome;
    }
    case service::TransferMode::kFramed: {
      const Outcome outcome = framed(slot, image);
      if (outcome == Outcome::Finished) m_waitReappear = false;
      return outcome;
    }
  }
  return Outcome::NotAttempted;
}

template <class Position>
Outcome UpdateRun::sendRawChunks(hid::Device& device, std::size_t featureReportLength,
                                 std::span<const std::uint8_t> image, Position position) {
  const std::size_t chunks = ChunkCount(image.size());
  for (std::size_t k = 1; k <= chunks; ++k) {
    m_controls.progress.SetPos(position(k));
    m_state.reportBuffer.RawChunkReport(image, ChunkOffset(k));
    // A device places chunks by their order alone: after one lost chunk every later one would
    // land in the wrong place, so the first failure ends the transfer.
    if (m_state.reportBuffer.send(device, featureReportLength) != SendResult::Sent) return Outcome::Stopped;
    if (pumpAndCheckAbort()) return Outcome::Aborted;
  }
  return Outcome::Finished;
}

Outcome UpdateRun::direct(const discovery::DeviceSlot& slot, std::span<const std::uint8_t> image) {
  m_controls.progress.SetRange(0, kTransferRange);
  const std::unique_ptr<hid::Device> device = m_env.hid.open(slot.devicePath);
  if (!device) return Outcome::Stopped;
  const std::uint64_t size = image.size();
  return sendRawChunks(*device, slot.featureReportLength, image, [size](std::size_t k) {
    return ChunkPosition(std::uint64_t{kChunkSize} * kTransferRange, k, size, 0);
  });
}

Outcome UpdateRun::framed(const discovery::DeviceSlot& slot, std::span<const std::uint8_t> image) {
  const std::unique_ptr<hid::Device> device = m_env.hid.open(slot.devicePath);
  if (!device) return Outcome::Stopped;
  ReportBuffer& buffer = m_state.reportBuffer;
  buffer.FramedBeginReport();
  if (buffer.send(*device, slot.featureReportLength) != SendResult::Sent) return Outcome::Stopped;

  m_controls.progress.SetRange(0, kTransferRange);
  const std::size_t chunks = ChunkCount(image.size());
  for (std::size_t k = 1; k <= chunks; ++k) {
    m_controls.progress.SetPos(ChunkPosition(std::uint64_t{kChunkSize} * kTransferRange, k, image.size(), 0));
    buffer.FramedDataReport(image, ChunkOffset(k));
    if (buffer.send(*device, slot.featureReportLength) != SendResult::Sent) return Outcome::Stopped;
    if (pumpAndCheckAbort()) return Outcome::Aborted;
  }
  buffer.FramedEndReport();
  if (buffer.send(*device, slot.featureReportLength) != SendResult::Sent) return Outcome::Stopped;
  return Outcome::Finished;
}

Outcome UpdateRun::bootloader(const discovery::DeviceSlot& slot, const service::FirmwareDescriptor& descriptor,
                              std::span<const std::uint8_t> image) {
  if (!m_env.bootloaderSignature) return Outcome::NotAttempted;

  char pattern[40];
  std::snprintf(pattern, sizeof pattern, "VID_%04X&PID_%04X", descriptor.bootVendorId, descriptor.bootProductId);
  m_state.arrivalPattern = pattern;
  m_state.arrivalSeen = false;

  {
    const std::unique_ptr<hid::Device> device = m_env.hid.open(slot.devicePath);
    if (!device) return Outcome::Stopped;
    m_state.reportBuffer.BootloaderEntryReport(*m_env.bootloaderSignature);
    // A device that restarts at once may fail the request's status stage although it obeyed, so
    // a failed send still waits for the bootloader; a refused one never reached the device.
    if (m_state.reportBuffer.send(*device, slot.featureReportLength) == SendResult::Refused) return Outcome::Stopped;
  }

  m_controls.progress.SetRange(0, kWaitRange);
  int& c = m_waitCounter;
  if (!m_state.arrivalSeen) {
    for (;;) {
      if (c == kWaitTicks) return Outcome::Stopped;
      m_env.clock.Sleep(kWaitTickMs);
      ++c;
      m_controls.progress.SetPos(c);
      if (pumpAndCheckAbort()) return Outcome::Aborted;
      if (m_state.arrivalSeen) {
        if (c == kWaitTicks) return Outcome::Stopped;
        break;
      }
    }
  }

  const std::unique_ptr<hid::Device> bootDevice = m_env.hid.open(m_state.arrivedPath);
  std::uint16_t featureReportLength = 0;
  // Without its capabilities no report can be sized for the bootloader: send it nothing.
  if (!bootDevice || !bootDevice->getFeatureReportByteLength(featureReportLength)) return Outcome::Stopped;
  const std::uint64_t size = image.size();
  const int base = c;
  return sendRawChunks(*bootDevice, featureReportLength, image, [size, base](std::size_t k) {
    const std::uint64_t scale = std::uint64_t{kChunkSize} * static_cast<std::uint64_t>(kWaitTicks - base);
    return ChunkPosition(scale, k, size, base);
  });
}

bool UpdateRun::reenumerationWait() {
  // Every device path carries "VID_": this matches whatever HID device arrives, the updated
  // devices coming back included.
  m_state.arrivalPattern = "VID";
  m_state.arrivalSeen = false;
  m_controls.progress.SetRange(0, kWaitRange);
  int counter = 0;
  int step = 1;
  do {
    counter += step;
    if (m_state.arrivalSeen) step = kReappearStep;
    m_controls.progress.SetPos(counter);
    m_env.clock.Sleep(kWaitTickMs);
    if (pumpAndCheckAbort()) return false;
  } while (counter < kWaitTicks);
  return true;
}

}  // namespace

void RunUpdateProcedure(const UpdateEnvironment& environment, const UpdateControls& controls, ProcessState& state,
                        const std::function<int()>& rescan) {
  state.rescanEnabled = false;
  controls.button.EnableWindow(false);
  controls.list.EnableWindow(false);

  UpdateRun run(environment, controls, state);
  if (!run.walk()) return;
  if (run.waitReappear() && !run.reenumerationWait()) return;

  controls.progress.SetPos(0);
  controls.button.EnableWindow(rescan() != 0);
  state.rescanEnabled = true;
  controls.list.EnableWindow(true);
}

}  // namespace transfer
