#pragma once

// The feature reports the program sends to the devices of the family, written down once. Traffic
// is one way: a device never answers, and no report carries an address, a length or a checksum,
// so a device places a chunk only by the order in which chunks arrive.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace transfer {

// Image bytes carried by one data report.
inline constexpr std::size_t kChunkSize = 40;

// What fills the bytes of the last chunk beyond the end of the image: the erased state of flash,
// so that the device writes nothing it was not given.
inline constexpr std::uint8_t kErasedFlashByte = 0xFF;

// Byte 0 of every report: the family's devices do not number their reports.
inline constexpr std::size_t kReportIdOffset = 0;
inline constexpr std::uint8_t kReportId = 0x00;

// Bootloader-entry report: 00 s1 s2 s3. The signature is the family firmware's order to restart
// into its bootloader.
inline constexpr std::size_t kSignatureLength = 3;
using BootloaderSignature = std::array<std::uint8_t, kSignatureLength>;
inline constexpr std::size_t kSignatureOffset = 1;
inline constexpr std::size_t kBootloaderEntryLength = kSignatureOffset + kSignatureLength;  // 4

// Raw chunk report: 00 followed by the 40 chunk bytes.
inline constexpr std::size_t kRawChunkOffset = 1;
inline constexpr std::size_t kRawChunkLength = kRawChunkOffset + kChunkSize;  // 41

// Framed reports: 00 command 00 00, bytes 4-8 untouched, and for data the chunk at byte 9.
enum class FramedCommand : std::uint8_t { Begin = 0x01, Data = 0x02, End = 0x03 };
inline constexpr std::size_t kFramedCommandOffset = 1;
inline constexpr std::size_t kFramedReservedOffset = 2;
inline constexpr std::size_t kFramedReservedLength = 2;
inline constexpr std::uint8_t kFramedReservedByte = 0x00;
inline constexpr std::size_t kFramedControlLength = kFramedReservedOffset + kFramedReservedLength;  // 4
inline constexpr std::size_t kFramedDataOffset = 9;
inline constexpr std::size_t kFramedDataLength = kFramedDataOffset + kChunkSize;  // 49

// No layout reaches beyond this byte; bytes from here on are never written.
inline constexpr std::size_t kLayoutSpan = kFramedDataLength;

// The kernel refuses feature reports longer than its HID_MAX_BUFFER_SIZE, which is not exported
// to user space, and the size field of the HIDIOCSFEATURE request is 14 bits wide. The longest
// report that can be sent is the smaller of the two, and the buffer holds exactly that much.
inline constexpr std::size_t kKernelHidMaxBufferSize = 16384;
inline constexpr std::size_t kFeatureIoctlSizeLimit = (std::size_t{1} << 14) - 1;
inline constexpr std::size_t kReportBufferCapacity =
    kKernelHidMaxBufferSize < kFeatureIoctlSizeLimit ? kKernelHidMaxBufferSize : kFeatureIoctlSizeLimit;
static_assert(kReportBufferCapacity >= kLayoutSpan);

// Number of chunks of an image of `imageSize` bytes: ceil(imageSize / 40), 0 for an empty image.
constexpr std::size_t ChunkCount(std::size_t imageSize) {
  return imageSize / kChunkSize + (imageSize % kChunkSize != 0 ? 1 : 0);
}

// Offset in the image of chunk k, counted from 1.
constexpr std::size_t ChunkOffset(std::size_t k) { return (k - 1) * kChunkSize; }

// The bytes the layouts occupy, at the start of the report buffer.
using ReportLayoutBytes = std::span<std::uint8_t, kLayoutSpan>;

// Each function writes exactly the bytes of its layout into `report` and leaves every other byte
// as it was. The chunk functions copy the 40 bytes of the image from `offset` on, never reading
// beyond the image: chunk bytes past its end are kErasedFlashByte. They return false, writing
// nothing, when `offset` does not lie inside the image.
void LayOutBootloaderEntry(ReportLayoutBytes report, const BootloaderSignature& signature);
bool LayOutRawChunk(ReportLayoutBytes report, std::span<const std::uint8_t> image, std::size_t offset);
void LayOutFramedBegin(ReportLayoutBytes report);
bool LayOutFramedData(ReportLayoutBytes report, std::span<const std::uint8_t> image, std::size_t offset);
void LayOutFramedEnd(ReportLayoutBytes report);

}  // namespace transfer
