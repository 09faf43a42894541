// What the list shows for a device: filter, version arithmetic, reply parsing, entry texts.
#include <gtest/gtest.h>

#include "discovery/Scan.h"
#include "discovery/StatusQuery.h"

namespace discovery {
namespace {

TEST(DeviceFilter, AcceptsExactlyTheFamilyRanges) {
  struct Case {
    std::uint16_t vendor, product;
    bool accepted;
  };
  const Case cases[] = {
      {0x1DD2, 0x0000, true},  {0x1DD2, 0xFFFF, true},  {0x16C0, 0x2773, false}, {0x16C0, 0x2774, true},
      {0x16C0, 0x27D7, true},  {0x16C0, 0x27D8, false}, {0x16C0, 0x05B3, false}, {0x16C0, 0x05B4, true},
      {0x16C0, 0x05BD, true},  {0x16C0, 0x05BE, false}, {0x0000, 0x2774, false}, {0x1DD3, 0x0001, false},
      {0x16C1, 0x2774, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.vendor << ":" << c.product);
    EXPECT_EQ(IsSupportedDevice(c.vendor, c.product), c.accepted);
  }
}

TEST(InstalledVersion, TakesTheHighByteWholeAndTheNibblesAsTheyCome) {
  EXPECT_EQ(InstalledVersion(0x0104), 104);
  EXPECT_EQ(InstalledVersion(0x0123), 123);
  EXPECT_EQ(InstalledVersion(0x0A05), 1005);
  EXPECT_EQ(InstalledVersion(0x01A0), 200);
  EXPECT_EQ(InstalledVersion(0xFFFF), 25500 + 150 + 15);
}

TEST(StatusReplyParsing, ReadsFieldsUntilTheFirstMisfit) {
  struct Case {
    const char* name;
    std::string reply;
    std::uint32_t latest, flag;
    std::string label;
  };
  const Case cases[] = {
      {"empty", "", 0, 0, ""},
      {"one number", "105", 105, 0, ""},
      {"full", "210,1,Beta", 210, 1, "Beta"},
      {"empty label", "105,0,", 105, 0, ""},
      {"label ends at the next comma", "210,1,Beta,rest", 210, 1, "Beta"},
      {"line break is part of the label", "210,1,Beta\r\n", 210, 1, "Beta\r\n"},
      {"white space before numbers", " \t\n105,\r 1,x", 105, 1, "x"},
      {"space before a comma stops", "105 ,1,x", 105, 0, ""},
      {"error page", "<html>105,1,x", 0, 0, ""},
      {"sign", "+105,-1,x", 105, 0xFFFFFFFFU, "x"},
      {"negative reads modulo 2^32", "-2,0,", 0xFFFFFFFEU, 0, ""},
      {"too large saturates", "99999999999,0,", 0xFFFFFFFFU, 0, ""},
      {"above 2^31 kept unsigned", "2147483648,0,", 2147483648U, 0, ""},
      {"sign without digits", "-,1,x", 0, 0, ""},
      {"label cut to 299", "1,1," + std::string(400, 'L'), 1, 1, std::string(299, 'L')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StatusReply reply = ParseStatusReply(c.reply);
    EXPECT_EQ(reply.latestVersion, c.latest);
    EXPECT_EQ(reply.labelFlag, c.flag);
    EXPECT_EQ(reply.label, c.label);
  }
}

TEST(DeviceListing, WorkedExamples) {
  struct Case {
    std::uint16_t version;
    std::string reply;
    std::string text;
    bool preselect, selectable, counted;
  };
  const Case cases[] = {
      {0x0123, "105,0,", "Demo Unit, 000123, v1.23", false, true, false},
      {0x0104, "105", "Demo Unit, 000123, v1.04, update to v1.05", true, true, true},
      {0x0105, "105,0,", "Demo Unit, 000123, v1.05", false, true, false},
      {0x0104, "", "Demo Unit, 000123, v1.04, no online firmware", false, false, false},
      {0x0A05, "1004", "Demo Unit, 000123, vA.05", false, true, false},
      {0x0104, "210,1,Beta", "Beta Demo Unit, 000123, update to v2.10", true, true, true},
      {0x0104, "0,1,Beta", "Beta Demo Unit, 000123, no online firmware", true, false, true},
      // Label flag 1 wins over any installed version.
      {0xFFFF, "1,1,Beta", "Beta Demo Unit, 000123, update to v0.01", true, true, true},
      // Negative as a signed number: never an update.
      {0x0104, "2147483648,0,", "Demo Unit, 000123, v1.04", false, true, false},
      // Label flag 1 without label text: no prefix, not even a space.
      {0x0104, "210,1,", "Demo Unit, 000123, update to v2.10", true, true, true},
      {0x0104, "210,1,Beta\n", "Beta\n Demo Unit, 000123, update to v2.10", true, true, true},
      {0x0104, "210,2,Beta", "Demo Unit, 000123, v1.04, update to v2.10", true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    const DeviceListing listing = DescribeDevice(c.version, "Demo Unit", "000123", ParseStatusReply(c.reply));
    EXPECT_EQ(listing.text, c.text);
    EXPECT_EQ(listing.preselect, c.preselect);
    EXPECT_EQ(listing.selectable, c.selectable);
    EXPECT_EQ(listing.counted, c.counted);
  }
}

TEST(StatusQueryUrl, FormatsTheQueryAndEncodesTheDeviceTexts) {
  EXPECT_EQ(StatusQueryUrl("http://h/scripts/firmware.php", 0x16C0, 0x05B4, 0x0104, "Demo Unit", "000123"),
            "http://h/scripts/firmware.php?vid=16c0&pid=05b4&sn=000123&ver=104&name=Demo%20Unit&req=1");
  EXPECT_EQ(StatusQueryUrl("B", 0x1DD2, 0x0001, 0x0A05, "a&b#c", "x y"),
            "B?vid=1dd2&pid=0001&sn=x%20y&ver=a05&name=a%26b%23c&req=1");
  EXPECT_EQ(StatusQueryUrl("B", 0, 0, 0, "", ""), "B?vid=0000&pid=0000&sn=&ver=000&name=&req=1");
}

}  // namespace
}  // namespace discovery
