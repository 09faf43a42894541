// The per-chunk path of a transfer: lay out a report and hand it to the device.
#include <benchmark/benchmark.h>

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

void BM_RawChunkReports(benchmark::State& state) {
  const std::vector<std::uint8_t> image(static_cast<std::size_t>(state.range(0)), 0x5A);
  transfer::ReportBuffer buffer;
  NullDevice device;
  for (auto _ : state) {
    for (std::size_t k = 1; k <= transfer::ChunkCount(image.size()); ++k) {
      buffer.RawChunkReport(image, transfer::ChunkOffset(k));
      benchmark::DoNotOptimize(buffer.send(device, 65));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_RawChunkReports)->Arg(64 << 10)->Arg(1 << 20);

void BM_FramedDataReports(benchmark::State& state) {
  const std::vector<std::uint8_t> image(static_cast<std::size_t>(state.range(0)), 0x5A);
  transfer::ReportBuffer buffer;
  NullDevice device;
  for (auto _ : state) {
    for (std::size_t k = 1; k <= transfer::ChunkCount(image.size()); ++k) {
      buffer.FramedDataReport(image, transfer::ChunkOffset(k));
      benchmark::DoNotOptimize(buffer.send(device, 65));
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FramedDataReports)->Arg(64 << 10)->Arg(1 << 20);

}  // namespace
