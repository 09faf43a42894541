// Parsers of outside input: the service's replies and a device's report descriptor.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "discovery/StatusQuery.h"
#include "hid/ReportDescriptor.h"
#include "service/FirmwareQuery.h"

namespace {

void BM_ParseStatusReply(benchmark::State& state) {
  const std::string reply = "105,1," + std::string(290, 'L');
  for (auto _ : state) benchmark::DoNotOptimize(discovery::ParseStatusReply(reply));
}
BENCHMARK(BM_ParseStatusReply);

void BM_ParseFirmwareDescriptor(benchmark::State& state) {
  const std::string reply = "1,7634,4097,65536,http://firmware.example/images/" + std::string(400, 'u') + ".bin\r\n";
  for (auto _ : state) benchmark::DoNotOptimize(service::ParseFirmwareDescriptor(reply));
}
BENCHMARK(BM_ParseFirmwareDescriptor);

// A vendor-page descriptor with `reports` numbered feature reports of 48 bytes each.
std::vector<std::uint8_t> descriptorWithFeatureReports(int reports) {
  std::vector<std::uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08};
  for (int id = 1; id <= reports; ++id) {
    const std::uint8_t item[] = {0x85, static_cast<std::uint8_t>(id), 0x95, 0x30, 0x09, 0x01, 0xB1, 0x02};
    d.insert(d.end(), std::begin(item), std::end(item));
  }
  d.push_back(0xC0);
  return d;
}

void BM_FeatureReportByteLength(benchmark::State& state) {
  const std::vector<std::uint8_t> descriptor = descriptorWithFeatureReports(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(hid::featureReportByteLength(descriptor));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(descriptor.size()));
}
BENCHMARK(BM_FeatureReportByteLength)->Arg(1)->Arg(32)->Arg(255);

}  // namespace
