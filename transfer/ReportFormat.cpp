#include "transfer/ReportFormat.h"

#include <algorithm>

namespace transfer {

namespace {

// Copies chunk bytes from `offset` on into `chunk`; a short last chunk is padded with erased
// flash instead of reading past the image.
bool CopyChunk(std::span<std::uint8_t, kChunkSize> chunk, std::span<const std::uint8_t> image,
               std::size_t offset) {
  if (offset >= image.size()) return false;
  const std::size_t available = std::min(kChunkSize, image.size() - offset);
  const auto source = image.subspan(offset, available);
  const auto end = std::copy(source.begin(), source.end(), chunk.begin());
  std::fill(end, chunk.end(), kErasedFlashByte);
  return true;
}

void LayOutFramedHeader(ReportLayoutBytes report, FramedCommand command) {
  report[kReportIdOffset] = kReportId;
  report[kFramedCommandOffset] = static_cast<std::uint8_t>(command);
  std::fill_n(report.begin() + kFramedReservedOffset, kFramedReservedLength, kFramedReservedByte);
}

}  // namespace

void LayOutBootloaderEntry(ReportLayoutBytes report, const BootloaderSignature& signature) {
  report[kReportIdOffset] = kReportId;
  std::copy(signature.begin(), signature.end(), report.begin() + kSignatureOffset);
}

bool LayOutRawChunk(ReportLayoutBytes report, std::span<const std::uint8_t> image, std::size_t offset) {
  if (!CopyChunk(report.subspan<kRawChunkOffset, kChunkSize>(), image, offset)) return false;
  report[kReportIdOffset] = kReportId;
  return true;
}

void LayOutFramedBegin(ReportLayoutBytes report) { LayOutFramedHeader(report, FramedCommand::Begin); }

bool LayOutFramedData(ReportLayoutBytes report, std::span<const std::uint8_t> image, std::size_t offset) {
  if (!CopyChunk(report.subspan<kFramedDataOffset, kChunkSize>(), image, offset)) return false;
  LayOutFramedHeader(report, FramedCommand::Data);
  return true;
}

void LayOutFramedEnd(ReportLayoutBytes report) { LayOutFramedHeader(report, FramedCommand::End); }

}  // namespace transfer
