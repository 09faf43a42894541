#include "hid/ReportDescriptor.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace hid {
namespace {

// Item prefix layout of short items: bits 0-1 data size (3 means 4 bytes), bits 2-3 type,
// bits 4-7 tag. 0xFE introduces a long item: a data size byte, a tag byte, then the data.
constexpr std::uint8_t kLongItemPrefix = 0xFE;

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1 };

enum MainTag : std::uint8_t { kFeature = 0xB, kCollection = 0xA, kEndCollection = 0xC };

enum GlobalTag : std::uint8_t { kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9, kPush = 0xA, kPop = 0xB };

// The kernel refuses descriptors that push more often (HID_GLOBAL_STACK_SIZE), so no device
// with a hidraw node nests deeper.
constexpr std::size_t kMaxPushDepth = 4;

// Report IDs are one byte on the wire; the kernel refuses 0 and anything above 255.
constexpr std::uint32_t kMaxReportId = 255;

// The longest report whose length plus the report-ID byte still fits 16 bits. Keeping every
// sum below this bound also keeps the 64-bit arithmetic far from overflow: one item adds at
// most (2^32 - 1)^2 bits.
constexpr std::uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

struct Globals {
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint32_t reportId = 0;
};

}  // namespace

std::optional<std::uint16_t> featureReportByteLength(std::span<const std::uint8_t> descriptor) {
  std::array<std::uint64_t, kMaxReportId + 1> featureBits{};
  Globals globals;
  std::array<Globals, kMaxPushDepth> stack{};
  std::size_t stackDepth = 0;
  std::size_t collectionDepth = 0;

  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos++];
    if (prefix == kLongItemPrefix) {
      // Long items carry no meaning for report sizes; skip them whole.
      if (descriptor.size() - pos < 2) return std::nullopt;
      const std::size_t dataSize = descriptor[pos];
      pos += 2;
      if (descriptor.size() - pos < dataSize) return std::nullopt;
      pos += dataSize;
      continue;
    }

    const std::size_t sizeCode = prefix & 0x3u;
    const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
    const auto type = static_cast<std::uint8_t>((prefix >> 2) & 0x3u);
    const auto tag = static_cast<std::uint8_t>(prefix >> 4);
    if (descriptor.size() - pos < dataSize) return std::nullopt;
    std::uint32_t data = 0;  // unsigned little-endian, as Report Size, Count and ID are read
    for (std::size_t i = 0; i < dataSize; ++i) data |= static_cast<std::uint32_t>(descriptor[pos + i]) << (8 * i);
    pos += dataSize;

    if (type == kMain) {
      if (tag == kFeature) {
        std::uint64_t& bits = featureBits[globals.reportId];
        bits += static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
        if (bits > kMaxReportBits) return std::nullopt;
      } else if (tag == kCollection) {
        ++collectionDepth;
      } else if (tag == kEndCollection) {
        if (collectionDepth == 0) return std::nullopt;
        --collectionDepth;
      }
    } else if (type == kGlobal) {
      switch (tag) {
        case kReportSize: globals.reportSize = data; break;
        case kReportCount: globals.reportCount = data; break;
        case kReportId:
          if (data == 0 || data > kMaxReportId) return std::nullopt;
          globals.reportId = data;
          break;
        case kPush:
          if (stackDepth == kMaxPushDepth) return std::nullopt;
          stack[stackDepth++] = globals;
          break;
        case kPop:
          if (stackDepth == 0) return std::nullopt;
          globals = stack[--stackDepth];
          break;
        default: break;  // usage page, logical and physical bounds, units
      }
    }
    // Local items (usages, designators, strings, delimiters) and reserved items do not change
    // report sizes.
  }
  if (collectionDepth != 0) return std::nullopt;
  std::uint64_t longestBytes = 0;
  for (const std::uint64_t bits : featureBits) {
    const std::uint64_t bytes = (bits + 7) / 8;
    if (bytes > longestBytes) longestBytes = bytes;
  }
  // Feature items of no bits at all make no report.
  if (longestBytes == 0) return static_cast<std::uint16_t>(0);
  return static_cast<std::uint16_t>(longestBytes + 1);
}

}  // namespace hid
