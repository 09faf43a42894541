// The scan against scripted devices and a real HTTP firmware service on 127.0.0.1.
#include <gtest/gtest.h>

#include <httplib.h>

#include <map>

#include "TestService.h"
#include "discovery/Scan.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHidSystem.h"
#include "service/CurlFetch.h"
#include "ui/CListBox.h"

namespace discovery {
namespace {

class ScanTest : public testing::Test {
 protected:
  void SetUp() override {
    service.route(testsupport::TestService::kFirmwarePath, [this](const httplib::Request& req, httplib::Response& res) {
      const auto it = replies.find(req.get_param_value("sn"));
      res.set_content(it == replies.end() ? std::string() : it->second, "text/plain");
    });
  }

  // A listable device of the family with the given serial.
  fakes::FakeDeviceSetup device(const std::string& serial, std::uint16_t version = 0x0104) {
    fakes::FakeDeviceSetup setup;
    setup.path = "/dev/hidraw-" + serial + "#VID_1DD2&PID_1234#0003:1DD2:1234.0001";
    setup.attributes = {0x1DD2, 0x1234, version};
    setup.product = u"Demo Unit";
    setup.serial = std::u16string(serial.begin(), serial.end());
    setup.featureReportByteLength = 65;
    return setup;
  }

  int scan() { return ScanDevices({hid, fetch, clock, baseUrl()}, state, list); }
  virtual std::string baseUrl() const { return service.baseUrl(); }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (int i = 0; i < list.GetCount(); ++i) out.push_back(list.GetText(i));
    return out;
  }
  std::size_t statusQueries() const { return service.requests().size(); }

  testsupport::TestService service;
  std::map<std::string, std::string> replies;  // by serial
  service::CurlFetch fetch;
  fakes::FakeHidSystem hid;
  fakes::FakeClock clock;
  SharedState state;
  ui::CListBox list;
};

TEST_F(ScanTest, SendsTheStatusQueryWithTheDeviceTextsEncoded) {
  fakes::FakeDeviceSetup setup = device("000123");
  setup.attributes = {0x16C0, 0x05B4, 0x0104};
  hid.plug(setup);
  fakes::FakeDeviceSetup odd = device("a&b #1");
  odd.product = u"Pad+";
  hid.plug(odd);
  scan();
  EXPECT_EQ(service.requests(),
            (std::vector<std::string>{
                "/scripts/firmware.php?vid=16c0&pid=05b4&sn=000123&ver=104&name=Demo%20Unit&req=1",
                "/scripts/firmware.php?vid=1dd2&pid=1234&sn=a%26b%20%231&ver=104&name=Pad%2B&req=1",
            }));
}

TEST_F(ScanTest, ListsSelectsAndCountsByTheReplies) {
  hid.plug(device("B-updatable"));
  hid.plug(device("A-current", 0x0105));
  hid.plug(device("C-unknown"));
  replies = {{"B-updatable", "105"}, {"A-current", "105,0,"}};

  EXPECT_EQ(scan(), 1);
  ASSERT_EQ(texts(), (std::vector<std::string>{"Demo Unit, A-current, v1.05", "Demo Unit, B-updatable, v1.04, update to v1.05",
                                               "Demo Unit, C-unknown, v1.04, no online firmware"}));
  // Slots follow the enumeration order; entries the sorted order.
  EXPECT_EQ(list.GetItemData(0), 1U);
  EXPECT_EQ(list.GetItemData(1), 0U);
  EXPECT_EQ(list.GetItemData(2), 2U);
  EXPECT_EQ(list.GetSel(0), 0);
  EXPECT_GT(list.GetSel(1), 0);
  EXPECT_EQ(list.GetSel(2), 0);
  EXPECT_TRUE(state.deviceTable[0].selectable);
  EXPECT_FALSE(state.deviceTable[2].selectable);
  EXPECT_EQ(state.deviceTable[0].devicePath, device("B-updatable").path);
  EXPECT_EQ(state.deviceTable[0].vendorId, 0x1DD2U);
  EXPECT_EQ(state.deviceTable[0].productId, 0x1234U);
  EXPECT_EQ(state.deviceTable[0].featureReportLength, 65U);
  EXPECT_EQ(hid.openHandles(), 0) << "every device is closed after its visit";
}

TEST_F(ScanTest, LeavesOutDevicesItCannotUseWithoutAskingTheService) {
  fakes::FakeDeviceSetup cannotOpen = device("open-fails");
  cannotOpen.openFails = true;
  fakes::FakeDeviceSetup noAttributes = device("attributes-fail");
  noAttributes.attributesFail = true;
  fakes::FakeDeviceSetup foreign = device("foreign");
  foreign.attributes.vendorId = 0x046D;
  fakes::FakeDeviceSetup neighbour = device("neighbour");
  neighbour.attributes = {0x16C0, 0x27D8, 0x0104};
  fakes::FakeDeviceSetup noStrings = device("no-strings");
  noStrings.product.reset();
  noStrings.serial.reset();
  fakes::FakeDeviceSetup noCaps = device("no-caps");
  noCaps.featureReportByteLength.reset();
  for (const auto& setup : {cannotOpen, noAttributes, foreign, neighbour, noStrings, noCaps}) hid.plug(setup);

  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(texts(), (std::vector<std::string>{"Demo Unit, no-caps, v1.04, no online firmware"}));
  EXPECT_EQ(statusQueries(), 1U);
  EXPECT_EQ(state.deviceTable[0].featureReportLength, 0U) << "no capabilities: no report can be sized";
  EXPECT_EQ(hid.log(foreign.path).productCalls, 0);
  EXPECT_EQ(hid.log(noStrings.path).productCalls, 100);
}

TEST_F(ScanTest, ProductObtainedOnlyAtTheLastAttemptsShowsAnEmptySerial) {
  fakes::FakeDeviceSetup late = device("000123");
  late.productFailures = 98;
  hid.plug(late);
  scan();
  EXPECT_EQ(texts(), (std::vector<std::string>{"Demo Unit, , v1.04, no online firmware"}));
  EXPECT_EQ(clock.sleeps(), 98) << "the sleeps go through the clock";
}

TEST_F(ScanTest, AcceptsRepliesOfOneTo998BytesCutAtAZeroByte) {
  struct Case {
    const char* name;
    std::string reply;
    const char* status;
  };
  const Case cases[] = {
      {"998 bytes", "105" + std::string(995, ' '), ", update to v1.05"},
      {"999 bytes", "105" + std::string(996, ' '), ", no online firmware"},
      {"1000 bytes", "105" + std::string(997, ' '), ", no online firmware"},
      {"much longer", "105" + std::string(100000, ' '), ", no online firmware"},
      {"zero byte first", std::string("\0" "105", 4), ", no online firmware"},
      {"zero byte after the number", std::string("106\0,1,Beta", 11), ", update to v1.06"},
  };
  hid.plug(device("000123"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    replies["000123"] = c.reply;
    scan();
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetText(0), std::string("Demo Unit, 000123, v1.04") + c.status);
  }
}

TEST_F(ScanTest, ListsAtMost32DevicesAndOpensNothingAfterThe32nd) {
  for (int i = 0; i < 40; ++i) hid.plug(device("S" + std::to_string(100 + i)));
  for (int i = 0; i < 40; ++i) replies["S" + std::to_string(100 + i)] = "105";
  EXPECT_EQ(scan(), 32);
  EXPECT_EQ(list.GetCount(), 32);
  EXPECT_EQ(statusQueries(), 32U);
  EXPECT_EQ(hid.openOrder().size(), 32U);
  EXPECT_EQ(hid.openOrder().back(), device("S131").path);
}

TEST_F(ScanTest, ARescanWithFewerDevicesLeavesTheSurplusSlotsAlone) {
  hid.plug(device("first"));
  hid.plug(device("second"));
  scan();
  hid.unplug(device("first").path);
  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(list.GetItemData(0), 0U);
  EXPECT_EQ(state.deviceTable[0].devicePath, device("second").path);
  EXPECT_EQ(state.deviceTable[1].devicePath, device("second").path) << "slot 1 keeps what the first scan wrote";
}

class UnreachableServiceScanTest : public ScanTest {
 protected:
  std::string baseUrl() const override { return "http://127.0.0.1:1/scripts/firmware.php"; }
};

TEST_F(UnreachableServiceScanTest, ShowsNoOnlineFirmware) {
  hid.plug(device("000123"));
  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(texts(), (std::vector<std::string>{"Demo Unit, 000123, v1.04, no online firmware"}));
}

}  // namespace
}  // namespace discovery
