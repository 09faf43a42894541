// The per-chunk path of a transfer: lay out a report and hand it to the device.
#include <benchmark/benchmark.h>

#include <span>
#include <vector>

#include "hid/HidSystem.h"
#include "transfer/ReportBuffer.h"

namespace {

// A device that takes every report and does nothing with it.
class NullDevice final : public hid::Device {
 public:
  bool getAttributes(hid::Attributes&) override { return false; }
  bool getProductString(std::uint8_t*, std::size_t) override { return false; }
  bool getSerialNumberString(std::uint8_t*, std::size_t) override { return false; }
  bool getFeatureReportByteLength(std::uint16_t&) override { return false; }
  bool setFeature(const std::uint8_t* report, std::size_t length) override {
    benchmark::DoNotOptimize(report);
    benchmark::DoNotOptimize(length);
    return true;
  }
};

// Every chunk of an image of state.range(0) bytes, laid out by `report` and sent at length 65.
template <void (transfer::ReportBuffer::*report)(std::span<const std::uint8_t>, std::size_t)>
void BM_DataReports(benchmark::State& state) {
  const std::vector<std::uint8_t> image(static_cast<std::size_t>(state.range(0)), 0x5A);
  transfer::ReportBuffer buffer;
  NullDevice device;
  for (auto _ : state) {
    for (std::size_t k = 1; k <= transfer::ChunkCount(image.size()); ++k) {
      (buffer.*report)(image, transfer::ChunkOffset(k));
      benchmark::DoNotOptimize(buffer.send(device, 65));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK_TEMPLATE(BM_DataReports, &transfer::ReportBuffer::RawChunkReport)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_DataReports, &transfer::ReportBuffer::FramedDataReport)->Arg(64 << 10)->Arg(1 << 20);

}  // namespace
