#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "hid/HidSystem.h"
#include "transfer/ReportFormat.h"

namespace transfer {

// What became of one report.
enum class SendResult {
  // The device's send call reported success.
  Sent,
  // Nothing left the program: the length is beyond what the kernel takes, the report's layout
  // does not fit in the length (cut short, every chunk would lose bytes and the device would
  // take a corrupted image), or no report has been written. Treat it like a failed report.
  Refused,
  // The report was handed to the device and the send call reported failure.
  Failed,
};

// The one buffer from which every feature report of a program run is sent. It is all zero at
// the start and never cleared: each report writes exactly the bytes of its layout, and every
// other byte keeps what an earlier report left there. Devices therefore see, beyond a report's
// layout, bytes of earlier reports (zero from byte kLayoutSpan on), which the family's firmware
// has always been sent. Not thread-safe; used on the GUI thread only.
class ReportBuffer {
 public:
  ReportBuffer() = default;
  ReportBuffer(const ReportBuffer&) = delete;
  ReportBuffer& operator=(const ReportBuffer&) = delete;

  void BootloaderEntryReport(const BootloaderSignature& signature);
  // The chunk of `image` at `offset` (a multiple of kChunkSize below the image size). An offset
  // outside the image writes nothing, and the next send is refused.
  void RawChunkReport(std::span<const std::uint8_t> image, std::size_t offset);
  void FramedBeginReport();
  void FramedDataReport(std::span<const std::uint8_t> image, std::size_t offset);
  void FramedEndReport();

  // Sends bytes 0 .. featureReportLength-1 to `device`: the receiving device's own feature report
  // length, never one derived from the layout. Call it right after writing the report.
  SendResult send(hid::Device& device, std::size_t featureReportLength) const;

  // The whole buffer, for inspection.
  std::span<const std::uint8_t, kReportBufferCapacity> bytes() const { return m_bytes; }

 private:
  ReportLayoutBytes layout() { return std::span(m_bytes).first<kLayoutSpan>(); }

  std::array<std::uint8_t, kReportBufferCapacity> m_bytes{};
  // Length of the layout of the report written last; 0 while there is none to send.
  std::size_t m_layoutLength = 0;
};

}  // namespace transfer
