#include "transfer/ReportBuffer.h"

namespace transfer {

void ReportBuffer::BootloaderEntryReport(const BootloaderSignature& signature) {
  LayOutBootloaderEntry(layout(), signature);
  m_layoutLength = kBootloaderEntryLength;
}

void ReportBuffer::RawChunkReport(std::span<const std::uint8_t> image, std::size_t offset) {
  m_layoutLength = LayOutRawChunk(layout(), image, offset) ? kRawChunkLength : 0;
}

void ReportBuffer::FramedBeginReport() {
  LayOutFramedBegin(layout());
  m_layoutLength = kFramedControlLength;
}

void ReportBuffer::FramedDataReport(std::span<const std::uint8_t> image, std::size_t offset) {
  m_layoutLength = LayOutFramedData(layout(), image, offset) ? kFramedDataLength : 0;
}

void ReportBuffer::FramedEndReport() {
  LayOutFramedEnd(layout());
  m_layoutLength = kFramedControlLength;
}

SendResult ReportBuffer::send(hid::Device& device, std::size_t featureReportLength) const {
  if (featureReportLength > m_bytes.size()) return SendResult::Refused;
  if (m_layoutLength == 0 || featureReportLength < m_layoutLength) return SendResult::Refused;
  return device.setFeature(m_bytes.data(), featureReportLength) ? SendResult::Sent : SendResult::Failed;
}

}  // namespace transfer
