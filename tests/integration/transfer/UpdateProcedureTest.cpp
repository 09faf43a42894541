// The update procedure against scripted devices, a virtual clock, a scripted pump and a real
// HTTP firmware service on 127.0.0.1. A 60-second wait costs no real time here.
#include <gtest/gtest.h>

#include <httplib.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "TestService.h"
#include "discovery/DeviceChange.h"
#include "fakes/CountingFetch.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeControls.h"
#include "fakes/FakeHidSystem.h"
#include "service/CurlFetch.h"
#include "transfer/UpdateProcedure.h"

namespace transfer {
namespace {

constexpr BootloaderSignature kSignature = {0xA1, 0xB2, 0xC3};
constexpr std::uint16_t kBootVendor = 0x1DD2;
constexpr std::uint16_t kBootProduct = 0x0001;

std::string pathOf(const char* name, std::uint16_t vendor, std::uint16_t product) {
  char path[128];
  std::snprintf(path, sizeof path, "/dev/%s#VID_%04X&PID_%04X#0003:%04X:%04X.0001", name, vendor, product, vendor,
                product);
  return path;
}

std::string image(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  return bytes;
}

class UpdateProcedureTest : public testing::Test {
 protected:
  void SetUp() override {
    service.route(testsupport::TestService::kFirmwarePath, [this](const httplib::Request& req, httplib::Response& res) {
      const auto it = firmware.find(req.get_param_value("pid"));
      res.set_content(it == firmware.end() ? std::string() : it->second, "text/plain");
    });
    hid.onReport = [this](const std::string& path) { reportPositions[path].push_back(progress.pos); };
  }

  // A listed device in `slot`, its entry added to the list and selected.
  std::string addDevice(int slot, std::uint16_t product, bool selected = true, std::uint32_t featureLength = 65) {
    const std::string name = "hidraw" + std::to_string(slot);
    const std::string path = pathOf(name.c_str(), 0x1DD2, product);
    fakes::FakeDeviceSetup setup;
    setup.path = path;
    setup.attributes = {0x1DD2, product, 0x0104};
    setup.featureReportByteLength = static_cast<std::uint16_t>(featureLength);
    hid.plug(setup);
    state.deviceTable[static_cast<std::size_t>(slot)] = {path, 0x1DD2, product, featureLength, true};
    list.entries.push_back({name, static_cast<std::uint32_t>(slot), selected});
    return path;
  }

  // The firmware query for `product` answers with `mode`, the boot IDs and an image of `size`.
  void offer(std::uint16_t product, std::uint32_t mode, std::size_t size) {
    char pid[8];
    std::snprintf(pid, sizeof pid, "%04x", product);
    const std::string imagePath = "/images/" + std::string(pid) + ".bin";
    service.serveText(imagePath, image(size));
    firmware[pid] = std::to_string(mode) + "," + std::to_string(kBootVendor) + "," + std::to_string(kBootProduct) +
                    "," + std::to_string(size) + "," + service.url(imagePath);
  }

  // At pump call `n`, a device arrives as the device-change handler would see it.
  // nullopt: its capabilities cannot be read.
  void arriveAtPump(int n, const std::string& path, std::optional<std::uint16_t> featureLength = 65) {
    arrivals[n] = {path, featureLength};
  }

  void run() {
    pump.onPump = [this](int call) {
      if (const auto it = arrivals.find(call); it != arrivals.end()) {
        fakes::FakeDeviceSetup setup;
        setup.path = it->second.first;
        setup.featureReportByteLength = it->second.second;
        hid.plug(setup);
        const hid::DeviceChangeRecord record{hid::kDbtDevtypDeviceInterface, setup.path};
        discovery::HandleDeviceChange(state, hid::kDbtDeviceArrival, &record, [this] { return ++rescans, 0; }, button);
      }
      if (call == abortAtPump) state.abortRequested = true;
    };
    RunUpdateProcedure({hid, fetch, clock, pump, service.baseUrl(), signature}, {list, progress, button}, state,
                       [this] { return ++rescans, rescanCount; });
  }

  const std::vector<std::vector<std::uint8_t>>& reports(const std::string& path) { return hid.log(path).reports; }
  bool ranReenumerationWait() const { return progress.range == std::pair<int, int>{0, 6000} && clock.sleeps() > 0; }

  testsupport::TestService service;
  service::CurlFetch curl;
  fakes::CountingFetch fetch{curl};
  fakes::FakeHidSystem hid;
  fakes::FakeClock clock;
  fakes::ScriptedPump pump;
  fakes::FakeListBox list;
  fakes::FakeProgressBar progress;
  fakes::FakeButton button;
  ProcessState state;
  std::optional<BootloaderSignature> signature = kSignature;
  std::map<std::string, std::string> firmware;  // firmware query replies by product ID
  std::map<int, std::pair<std::string, std::optional<std::uint16_t>>> arrivals;
  std::map<std::string, std::vector<int>> reportPositions;
  int abortAtPump = 0;
  int rescans = 0;
  int rescanCount = 0;
};

struct ProgressCase {
  const char* name;
  std::uint32_t mode;
  std::size_t size;
  int arrivalTick;  // bootloader mode: the pump in which the bootloader's arrival is noticed
  std::vector<int> positions;
};

class ProgressTest : public UpdateProcedureTest, public testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressTest, PositionBeforeEachReport) {
  const ProgressCase& c = GetParam();
  const std::string listed = addDevice(0, 0x1234);
  offer(0x1234, c.mode, c.size);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  if (c.mode == 1) arriveAtPump(c.arrivalTick, boot);
  run();
  EXPECT_EQ(reportPositions[c.mode == 1 ? boot : listed], c.positions);
  if (c.mode == 1) {
    EXPECT_EQ(clock.sleeps() - 6000, c.arrivalTick) << "bootloader ticks, then the full final wait";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ProgressTest,
    testing::Values(ProgressCase{"direct40", 0, 40, 0, {10000}}, ProgressCase{"direct41", 0, 41, 0, {9756, 19512}},
                    ProgressCase{"direct80", 0, 80, 0, {5000, 10000}},
                    ProgressCase{"framed80", 2, 80, 0, {0, 5000, 10000, 10000}},
                    ProgressCase{"bootloaderTick1", 1, 100, 1, {2400, 4800, 7199}},
                    ProgressCase{"bootloaderTick5999", 1, 40, 5999, {6000}}),
    [](const testing::TestParamInfo<ProgressCase>& param) { return std::string(param.param.name); });

TEST_F(UpdateProcedureTest, PositionsOfALargeImageNeedMoreThan32Bits) {
  const std::string listed = addDevice(0, 0x1234);
  offer(0x1234, 0, 1000000);
  run();
  const std::vector<int>& positions = reportPositions[listed];
  ASSERT_EQ(positions.size(), 25000U);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(positions[12000], 4800);
  EXPECT_EQ(positions.back(), 10000);
}

TEST_F(UpdateProcedureTest, BootloaderArrivalNoticedAtTick6000GivesUp) {
  const std::string listed = addDevice(0, 0x1234);
  offer(0x1234, 1, 40);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  arriveAtPump(6000, boot);
  run();
  EXPECT_EQ(reports(listed).size(), 1U) << "the bootloader-entry report alone";
  EXPECT_TRUE(reports(boot).empty());
  EXPECT_EQ(clock.sleeps(), 6000) << "no final wait after giving up";
  EXPECT_EQ(list.GetSel(0), 0);
  EXPECT_EQ(state.arrivalPattern, "VID_1DD2&PID_0001");
}

TEST_F(UpdateProcedureTest, TheBootloaderGetsTheImageAtItsOwnLength) {
  const std::string listed = addDevice(0, 0x1234, true, 4);
  offer(0x1234, 1, 41);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  arriveAtPump(3, boot, 41);
  run();
  ASSERT_EQ(reports(listed).size(), 1U);
  EXPECT_EQ(reports(listed)[0], (std::vector<std::uint8_t>{0x00, 0xA1, 0xB2, 0xC3}));
  ASSERT_EQ(reports(boot).size(), 2U);
  EXPECT_EQ(reports(boot)[1].size(), 41U);
  EXPECT_EQ(reports(boot)[1][1], static_cast<std::uint8_t>(image(41)[40]));
  EXPECT_EQ(reports(boot)[1][2], 0xFF) << "beyond the image: erased flash";
  EXPECT_EQ(hid.openHandles(), 0);
}

TEST_F(UpdateProcedureTest, WaitReappearFollowsTheLastFinishedTransfer) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> modes;  // 1: a bootloader that never comes
    bool waits;
  };
  const Case cases[] = {
      {"direct then framed", {0, 2}, false},
      {"framed then direct", {2, 0}, true},
      {"direct then a give-up", {0, 1}, true},
      {"framed then a give-up", {2, 1}, false},
      {"a give-up alone", {1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list.entries.clear();
    // Each case on devices of its own.
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < c.modes.size(); ++i) {
      const auto product = static_cast<std::uint16_t>(0x100 + i + 16 * (&c - cases));
      paths.push_back(addDevice(static_cast<int>(i), product));
      offer(product, c.modes[i], 40);
    }
    const int sleepsBefore = clock.sleeps();
    run();
    const auto bootloaderTicks = static_cast<int>(std::count(c.modes.begin(), c.modes.end(), 1U)) * 6000;
    EXPECT_EQ(clock.sleeps() - sleepsBefore - bootloaderTicks, c.waits ? 6000 : 0);
    for (int i = 0; i < list.GetCount(); ++i) EXPECT_EQ(list.GetSel(i), 0) << "every entry ends deselected";
  }
}

TEST_F(UpdateProcedureTest, TheFinalWaitEndsSoonAfterTheFirstArrival) {
  struct Case {
    int arrivalStep;
    int steps;
    int lastPosition;
  };
  for (const Case c : {Case{1, 52, 6002}, Case{10, 61, 6011}}) {
    SCOPED_TRACE(c.arrivalStep);
    const int sleepsBefore = clock.sleeps();
    list.entries.clear();
    const auto product = static_cast<std::uint16_t>(0x200 + c.arrivalStep);
    addDevice(0, product);
    offer(product, 0, 40);
    // One pump after the single chunk, then one per step of the wait.
    arrivals.clear();
    pump.calls = 0;
    arriveAtPump(1 + c.arrivalStep, pathOf("back", 0x1DD2, product));
    run();
    EXPECT_EQ(clock.sleeps() - sleepsBefore, c.steps);
    EXPECT_EQ(progress.positions[progress.positions.size() - 2], c.lastPosition);
    EXPECT_EQ(progress.pos, 0) << "the end sets position 0";
  }
}

TEST_F(UpdateProcedureTest, NothingSelectedRunsOnlyTheEnd) {
  addDevice(0, 0x1234, false);
  offer(0x1234, 0, 40);
  rescanCount = 2;
  run();
  EXPECT_TRUE(fetch.urls.empty());
  EXPECT_EQ(rescans, 1);
  EXPECT_TRUE(button.enabled);
  EXPECT_EQ(button.history, (std::vector<bool>{false, true}));
  EXPECT_TRUE(list.enabled);
  EXPECT_TRUE(state.rescanEnabled);
  EXPECT_EQ(progress.pos, 0);
  EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(UpdateProcedureTest, EntriesThatSendNothing) {
  struct Case {
    const char* name;
    std::string reply;  // empty: use offer() with `mode`
    std::uint32_t mode;
    bool withSignature;
    bool downloads;
  };
  const Case cases[] = {
      {"no image offered", "0,0,0,0,http://127.0.0.1:1/x", 0, true, false},
      {"empty reply", "-", 0, true, false},
      {"unknown mode 3", "", 3, true, true},
      {"mode -1", "", 0xFFFFFFFFU, true, true},
      {"bootloader without a signature", "", 1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto product = static_cast<std::uint16_t>(0x300 + (&c - cases));
    list.entries.clear();
    const std::string path = addDevice(0, product);
    signature = c.withSignature ? std::optional(kSignature) : std::nullopt;
    if (c.reply.empty()) {
      offer(product, c.mode, 40);
    } else {
      char pid[8];
      std::snprintf(pid, sizeof pid, "%04x", product);
      firmware[pid] = c.reply == "-" ? "" : c.reply;
    }
    fetch.urls.clear();
    const int sleepsBefore = clock.sleeps();
    run();
    EXPECT_EQ(fetch.urls.size(), c.downloads ? 2U : 1U);
    EXPECT_TRUE(reports(path).empty());
    EXPECT_EQ(list.GetSel(0), 0);
    EXPECT_EQ(clock.sleeps(), sleepsBefore) << "no wait follows";
    EXPECT_EQ(fetch.liveStreams, 0);
  }
}

TEST_F(UpdateProcedureTest, ADeviceThatCannotBeOpenedGetsNothingAndCausesNoWait) {
  for (const std::uint32_t mode : {0U, 1U, 2U}) {
    SCOPED_TRACE(mode);
    list.entries.clear();
    const auto product = static_cast<std::uint16_t>(0x400 + mode);
    const std::string path = addDevice(0, product);
    hid.setup(path).openFails = true;
    offer(product, mode, 80);
    const int sleepsBefore = clock.sleeps();
    run();
    EXPECT_TRUE(reports(path).empty());
    EXPECT_EQ(clock.sleeps(), sleepsBefore);
  }
}

TEST_F(UpdateProcedureTest, TheFirstFailedReportEndsTheTransferToThatDevice) {
  struct Case {
    std::uint32_t mode;
    int failAt;
    std::size_t sent;  // reports handed to the device, the failed one included
  };
  // Framed: begin, 3 data reports, end.
  for (const Case c : {Case{0, 2, 2}, Case{2, 1, 1}, Case{2, 3, 3}, Case{2, 5, 5}}) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " failing at " << c.failAt);
    list.entries.clear();
    const auto product = static_cast<std::uint16_t>(0x500 + c.mode * 16 + static_cast<unsigned>(c.failAt));
    const std::string path = addDevice(0, product);
    hid.setup(path).failSetFeatureAt = c.failAt;
    offer(product, c.mode, 120);
    const int sleepsBefore = clock.sleeps();
    run();
    EXPECT_EQ(reports(path).size(), c.sent);
    EXPECT_EQ(clock.sleeps(), sleepsBefore) << "waitReappear keeps its value";
    EXPECT_EQ(list.GetSel(0), 0);
  }
}

TEST_F(UpdateProcedureTest, AReportThatDoesNotFitTheDeviceIsNeverSent) {
  const std::string path = addDevice(0, 0x1234, true, 40);
  offer(0x1234, 0, 80);
  run();
  EXPECT_TRUE(reports(path).empty());
}

TEST_F(UpdateProcedureTest, AFailedBootloaderEntryReportStillWaitsForTheBootloader) {
  const std::string listed = addDevice(0, 0x1234);
  hid.setup(listed).failSetFeatureAt = 1;
  offer(0x1234, 1, 80);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  arriveAtPump(5, boot);
  run();
  EXPECT_EQ(hid.log(listed).failedReports, 1);
  EXPECT_EQ(reports(boot).size(), 2U);
}

TEST_F(UpdateProcedureTest, ABootloaderWhoseCapabilitiesCannotBeReadGetsNothing) {
  addDevice(0, 0x1234);
  offer(0x1234, 1, 80);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  arriveAtPump(5, boot, std::nullopt);
  run();
  EXPECT_TRUE(reports(boot).empty());
  EXPECT_EQ(clock.sleeps(), 5) << "given up: no final wait";
  EXPECT_EQ(hid.openHandles(), 0);
}

struct AbortCase {
  const char* name;
  std::uint32_t mode;  // of the first entry; the second is direct
  int abortAtPump;
  std::size_t firstReports;
  std::size_t bootReports;
  bool inWalk;  // false: in the final wait, after both entries
};

class AbortTest : public UpdateProcedureTest, public testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, ReturnsAtOnceReleasingEverythingAndRestoringNothing) {
  const AbortCase& c = GetParam();
  const std::string first = addDevice(0, 0x1234);
  const std::string second = addDevice(1, 0x1235);
  offer(0x1234, c.mode, 200);  // five chunks
  offer(0x1235, 0, 40);
  const std::string boot = pathOf("hidraw9", kBootVendor, kBootProduct);
  if (c.mode == 1) arriveAtPump(10, boot);
  abortAtPump = c.abortAtPump;
  run();
  EXPECT_EQ(reports(first).size(), c.firstReports);
  EXPECT_EQ(reports(boot).size(), c.bootReports);
  EXPECT_EQ(reports(second).size(), c.inWalk ? 0U : 1U);
  EXPECT_EQ(hid.openHandles(), 0) << "the device handle is closed";
  EXPECT_EQ(fetch.liveStreams, 0) << "the download stream is released";
  EXPECT_EQ(list.GetSel(0), c.inWalk ? 1 : 0) << "an entry being flashed stays selected";
  EXPECT_EQ(list.GetSel(1), c.inWalk ? 1 : 0);
  EXPECT_EQ(rescans, 0);
  EXPECT_FALSE(state.rescanEnabled);
  EXPECT_FALSE(button.enabled);
  EXPECT_FALSE(list.enabled);
  EXPECT_NE(progress.pos, 0) << "the bar keeps its position";
}

INSTANTIATE_TEST_SUITE_P(
    Phases, AbortTest,
    testing::Values(AbortCase{"directTransfer", 0, 2, 2, 0, true}, AbortCase{"framedTransfer", 2, 3, 4, 0, true},
                    AbortCase{"bootloaderWait", 1, 4, 1, 0, true}, AbortCase{"bootloaderTransfer", 1, 12, 1, 2, true},
                    AbortCase{"finalWait", 2, 5 + 1 + 7, 7, 0, false}),
    [](const testing::TestParamInfo<AbortCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace transfer
