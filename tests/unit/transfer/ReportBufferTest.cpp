// Byte-exact report sequences: what each device receives when reports of the five kinds are
// written into one buffer and sent with the device's feature report length.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/FakeHidSystem.h"
#include "transfer/ReportBuffer.h"

namespace {

using transfer::ReportBuffer;
using transfer::SendResult;
using Bytes = std::vector<std::uint8_t>;

// Image bytes that are never 0x00 or 0xFF, so that zeros and padding cannot pass for them, and
// that differ between images, so that a byte from the wrong image shows.
Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(1 + (seed + i * 7) % 250);
  return image;
}

const Bytes kImage1 = Pattern(1, 3);
const Bytes kImage40 = Pattern(40, 11);
const Bytes kImage80 = Pattern(80, 23);
const Bytes kImage81 = Pattern(81, 37);
const Bytes kOther40 = Pattern(40, 101);
const Bytes kEmpty;
const transfer::BootloaderSignature kSignature = {0x4A, 0x5B, 0x6C};

// An expected report as the device receives it: `length` bytes, zero unless a row says otherwise.
struct Frame {
  explicit Frame(std::size_t length) : bytes(length, 0) {}
  Frame& put(std::size_t at, std::initializer_list<std::uint8_t> values) {
    for (std::uint8_t v : values) bytes.at(at++) = v;
    return *this;
  }
  Frame& copy(std::size_t at, const Bytes& image, std::size_t from, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) bytes.at(at + i) = image.at(from + i);
    return *this;
  }
  Frame& fill(std::size_t at, std::size_t count, std::uint8_t value) {
    for (std::size_t i = 0; i < count; ++i) bytes.at(at + i) = value;
    return *this;
  }
  Bytes bytes;
};

enum class Kind { Nothing, BootloaderEntry, RawChunk, FramedBegin, FramedData, FramedEnd };

struct Step {
  Kind kind;
  int device;
  std::size_t length;
  const Bytes* image = nullptr;
  std::size_t offset = 0;
  SendResult expected = SendResult::Sent;
};

using Steps = std::vector<Step>;

Step Entry(int device, std::size_t length, SendResult expected = SendResult::Sent) {
  return {Kind::BootloaderEntry, device, length, nullptr, 0, expected};
}
Step Raw(int device, std::size_t length, const Bytes& image, std::size_t offset,
         SendResult expected = SendResult::Sent) {
  return {Kind::RawChunk, device, length, &image, offset, expected};
}
Step Begin(int device, std::size_t length, SendResult expected = SendResult::Sent) {
  return {Kind::FramedBegin, device, length, nullptr, 0, expected};
}
Step Data(int device, std::size_t length, const Bytes& image, std::size_t offset,
          SendResult expected = SendResult::Sent) {
  return {Kind::FramedData, device, length, &image, offset, expected};
}
Step End(int device, std::size_t length, SendResult expected = SendResult::Sent) {
  return {Kind::FramedEnd, device, length, nullptr, 0, expected};
}

// A whole direct or framed transfer, chunked the way the update procedure chunks it.
Steps Direct(int device, std::size_t length, const Bytes& image) {
  Steps steps;
  for (std::size_t k = 1; k <= transfer::ChunkCount(image.size()); ++k)
    steps.push_back(Raw(device, length, image, transfer::ChunkOffset(k)));
  return steps;
}
Steps Framed(int device, std::size_t length, const Bytes& image) {
  Steps steps{Begin(device, length)};
  for (std::size_t k = 1; k <= transfer::ChunkCount(image.size()); ++k)
    steps.push_back(Data(device, length, image, transfer::ChunkOffset(k)));
  steps.push_back(End(device, length));
  return steps;
}
Steps Join(std::initializer_list<Steps> parts) {
  Steps all;
  for (const Steps& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct Case {
  std::string name;
  Steps steps;
  std::vector<std::vector<Frame>> received;  // per device, in order
};

std::vector<Case> Cases() {
  const std::uint8_t FF = 0xFF;
  return {
      {"FirstBeginOfRunIsZeroBeyondLayout",
       {Begin(0, 64)},
       {{Frame(64).put(0, {0x00, 0x01, 0x00, 0x00})}}},
      {"FirstBootloaderEntryCarriesSignatureThenZeros",
       {Entry(0, 65)},
       {{Frame(65).put(0, {0x00, 0x4A, 0x5B, 0x6C})}}},
      {"DirectImageOf1ByteIsOnePaddedChunk",
       Direct(0, 41, kImage1),
       {{Frame(41).copy(1, kImage1, 0, 1).fill(2, 39, FF)}}},
      {"DirectImageOf40BytesIsOneChunk",
       Direct(0, 41, kImage40),
       {{Frame(41).copy(1, kImage40, 0, 40)}}},
      {"DirectImageOf80BytesIsTwoChunks",
       Direct(0, 41, kImage80),
       {{Frame(41).copy(1, kImage80, 0, 40), Frame(41).copy(1, kImage80, 40, 40)}}},
      {"DirectImageOf81BytesEndsWithOneByteAndErasedFlash",
       Direct(0, 41, kImage81),
       {{Frame(41).copy(1, kImage81, 0, 40), Frame(41).copy(1, kImage81, 40, 40),
         Frame(41).copy(1, kImage81, 80, 1).fill(2, 39, FF)}}},
      {"FramedEndRepeatsLastChunk",
       Framed(0, 49, kImage81),
       {{Frame(49).put(0, {0x00, 0x01, 0x00, 0x00}),
         Frame(49).put(0, {0x00, 0x02, 0x00, 0x00}).copy(9, kImage81, 0, 40),
         Frame(49).put(0, {0x00, 0x02, 0x00, 0x00}).copy(9, kImage81, 40, 40),
         Frame(49).put(0, {0x00, 0x02, 0x00, 0x00}).copy(9, kImage81, 80, 1).fill(10, 39, FF),
         Frame(49).put(0, {0x00, 0x03, 0x00, 0x00}).copy(9, kImage81, 80, 1).fill(10, 39, FF)}}},
      // Bytes 4-8 of the framed reports keep chunk bytes 3-7 of the last raw chunk (image bytes
      // 43-47); the begin report also keeps the raw chunk's bytes 8-39 in bytes 9-40.
      {"FramedAfterDirectCarriesLastRawChunkBytes",
       Join({Direct(0, 41, kImage80), Framed(1, 49, kOther40)}),
       {{Frame(41).copy(1, kImage80, 0, 40), Frame(41).copy(1, kImage80, 40, 40)},
        {Frame(49).put(0, {0x00, 0x01, 0x00, 0x00}).copy(4, kImage80, 43, 37),
         Frame(49).put(0, {0x00, 0x02, 0x00, 0x00}).copy(4, kImage80, 43, 5).copy(9, kOther40, 0, 40),
         Frame(49).put(0, {0x00, 0x03, 0x00, 0x00}).copy(4, kImage80, 43, 5).copy(9, kOther40, 0, 40)}}},
      // Beyond a layout the device gets what earlier reports left (framed chunk bytes 32-39 in
      // bytes 41-48 of the raw chunk) and zeros from byte 49 on.
      {"LengthsLongerThanLayoutsCarryEarlierBytes",
       Join({Framed(0, 64, kOther40), {Raw(1, 64, kImage40, 0), Entry(1, 64)}}),
       {{Frame(64).put(0, {0x00, 0x01, 0x00, 0x00}),
         Frame(64).put(0, {0x00, 0x02, 0x00, 0x00}).copy(9, kOther40, 0, 40),
         Frame(64).put(0, {0x00, 0x03, 0x00, 0x00}).copy(9, kOther40, 0, 40)},
        {Frame(64).copy(1, kImage40, 0, 40).copy(41, kOther40, 32, 8),
         Frame(64).put(0, {0x00, 0x4A, 0x5B, 0x6C}).copy(4, kImage40, 3, 37).copy(41, kOther40, 32, 8)}}},
      {"LengthsEqualToLayoutsAreSent",
       {Entry(0, 4), Raw(0, 41, kImage40, 0), Begin(0, 4), Data(0, 49, kOther40, 0), End(0, 4)},
       {{Frame(4).put(0, {0x00, 0x4A, 0x5B, 0x6C}), Frame(41).copy(1, kImage40, 0, 40),
         Frame(4).put(0, {0x00, 0x01, 0x00, 0x00}),
         Frame(49).put(0, {0x00, 0x02, 0x00, 0x00}).copy(4, kImage40, 3, 5).copy(9, kOther40, 0, 40),
         Frame(4).put(0, {0x00, 0x03, 0x00, 0x00})}}},
      {"LengthsShorterThanLayoutsAreNotSent",
       {Entry(0, 3, SendResult::Refused), Raw(0, 40, kImage40, 0, SendResult::Refused),
        Begin(0, 3, SendResult::Refused), Data(0, 48, kImage40, 0, SendResult::Refused),
        End(0, 3, SendResult::Refused)},
       {{}}},
      {"LengthsZeroAndOneAreNotSent",
       {Begin(0, 0, SendResult::Refused), Begin(0, 1, SendResult::Refused),
        Raw(0, 0, kImage40, 0, SendResult::Refused), Raw(0, 1, kImage40, 0, SendResult::Refused)},
       {{}}},
      {"LongestSendableLengthIsSentAndLongerIsNot",
       {Begin(0, transfer::kReportBufferCapacity), Begin(0, transfer::kReportBufferCapacity + 1, SendResult::Refused),
        Begin(0, transfer::kKernelHidMaxBufferSize + 1, SendResult::Refused),
        Begin(0, std::numeric_limits<std::size_t>::max(), SendResult::Refused)},
       {{Frame(transfer::kReportBufferCapacity).put(0, {0x00, 0x01, 0x00, 0x00})}}},
      {"NothingWrittenIsNotSent", {{Kind::Nothing, 0, 49, nullptr, 0, SendResult::Refused}}, {{}}},
      // A chunk offset outside the image writes nothing: no chunk of erased flash is sent, and the
      // bytes of the previous chunk stay for the reports that follow.
      {"ChunkOffsetOutsideImageIsNotSent",
       {Raw(0, 41, kImage80, 40), Raw(0, 41, kImage80, 80, SendResult::Refused),
        Data(0, 49, kImage80, 120, SendResult::Refused), Raw(0, 41, kEmpty, 0, SendResult::Refused), Begin(0, 49)},
       {{Frame(41).copy(1, kImage80, 40, 40), Frame(49).put(0, {0x00, 0x01, 0x00, 0x00}).copy(4, kImage80, 43, 37)}}},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ReportSequence : public testing::TestWithParam<Case> {};

TEST_P(ReportSequence, DevicesReceiveExactBytes) {
  const Case& c = GetParam();
  fakes::FakeHidSystem system;
  std::vector<std::unique_ptr<hid::Device>> devices;
  for (std::size_t d = 0; d < c.received.size(); ++d) {
    const std::string path = "dev" + std::to_string(d);
    system.plug({.path = path});
    devices.push_back(system.open(path));
    ASSERT_NE(devices.back(), nullptr);
  }
  auto buffer = std::make_unique<ReportBuffer>();

  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    const Step& s = c.steps[i];
    switch (s.kind) {
      case Kind::Nothing: break;
      case Kind::BootloaderEntry: buffer->BootloaderEntryReport(kSignature); break;
      case Kind::RawChunk: buffer->RawChunkReport(*s.image, s.offset); break;
      case Kind::FramedBegin: buffer->FramedBeginReport(); break;
      case Kind::FramedData: buffer->FramedDataReport(*s.image, s.offset); break;
      case Kind::FramedEnd: buffer->FramedEndReport(); break;
    }
    EXPECT_EQ(buffer->send(*devices.at(static_cast<std::size_t>(s.device)), s.length), s.expected);
  }

  for (std::size_t d = 0; d < c.received.size(); ++d) {
    SCOPED_TRACE("device " + std::to_string(d));
    const auto& reports = system.log("dev" + std::to_string(d)).reports;
    ASSERT_EQ(reports.size(), c.received[d].size());
    for (std::size_t r = 0; r < reports.size(); ++r) {
      SCOPED_TRACE("report " + std::to_string(r));
      EXPECT_EQ(reports[r], c.received[d][r].bytes);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ReportBuffer, ReportSequence, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& row) { return row.param.name; });

// A device that refuses a report is told apart from one that took it, and the buffer goes on
// serving the next report unchanged.
TEST(ReportBufferSend, DeviceFailureIsReportedAndNextReportStillGoesOut) {
  fakes::FakeHidSystem system;
  system.plug({.path = "dev", .failSetFeatureAt = 2});
  auto device = system.open("dev");
  ASSERT_NE(device, nullptr);
  auto buffer = std::make_unique<ReportBuffer>();

  std::vector<SendResult> results;
  for (std::size_t k = 1; k <= transfer::ChunkCount(kImage81.size()); ++k) {
    buffer->RawChunkReport(kImage81, transfer::ChunkOffset(k));
    results.push_back(buffer->send(*device, 41));
  }

  EXPECT_EQ(results, (std::vector<SendResult>{SendResult::Sent, SendResult::Failed, SendResult::Sent}));
  const auto& reports = system.log("dev").reports;
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[2], Frame(41).copy(1, kImage81, 80, 1).fill(2, 39, 0xFF).bytes);
}

TEST(Chunking, CountsCeilingOfFortyByteChunks) {
  struct Row {
    std::size_t imageSize;
    std::size_t chunks;
  };
  for (const Row& row : {Row{0, 0}, Row{1, 1}, Row{39, 1}, Row{40, 1}, Row{41, 2}, Row{80, 2}, Row{81, 3}}) {
    SCOPED_TRACE(row.imageSize);
    EXPECT_EQ(transfer::ChunkCount(row.imageSize), row.chunks);
  }
  EXPECT_EQ(transfer::ChunkOffset(1), 0u);
  EXPECT_EQ(transfer::ChunkOffset(3), 80u);
}

}  // namespace
