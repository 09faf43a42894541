// A whole scan: scripted devices, one status query each to a real HTTP service on 127.0.0.1.
// Shows what each query costs once the connection is reused.
#include <benchmark/benchmark.h>

#include <httplib.h>

#include "TestService.h"
#include "discovery/Scan.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeHidSystem.h"
#include "service/CurlFetch.h"

namespace {

void BM_ScanOverLoopback(benchmark::State& state) {
  testsupport::TestService service;
  service.serveText(testsupport::TestService::kFirmwarePath, "105,0,");
  service::CurlFetch fetch;
  fakes::FakeHidSystem hid;
  fakes::FakeClock clock;
  for (int i = 0; i < state.range(0); ++i) {
    fakes::FakeDeviceSetup setup;
    setup.path = "/dev/hidraw" + std::to_string(i) + "#VID_1DD2&PID_1234#0003:1DD2:1234.0001";
    setup.attributes = {0x1DD2, 0x1234, 0x0104};
    setup.product = u"Demo Unit";
    setup.serial = u"000123";
    hid.plug(setup);
  }
  discovery::SharedState shared;
  fakes::FakeListBox list;
  for (auto _ : state) {
    benchmark::DoNotOptimize(discovery::ScanDevices({hid, fetch, clock, service.baseUrl()}, shared, list));
  }
  state.counters["queries/s"] = benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanOverLoopback)->Arg(1)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
