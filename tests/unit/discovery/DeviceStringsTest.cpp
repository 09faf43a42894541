// Device strings: the reduction to 7-bit text and the retry budget shared by both strings.
#include <gtest/gtest.h>

#include "discovery/DeviceString.h"
#include "discovery/Scan.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeHidSystem.h"

namespace discovery {
namespace {

std::string reduce(const std::u16string& text) {
  std::vector<std::uint8_t> buffer(2 * text.size() + 2, 0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    buffer[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    buffer[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
  }
  return ReduceDeviceString(buffer.data(), buffer.size());
}

TEST(ReduceDeviceString, KeepsLowBytesUntilTheFirstThatIsZeroOrAbove0x7F) {
  EXPECT_EQ(reduce(u"Demo Unit"), "Demo Unit");
  EXPECT_EQ(reduce(u"Caf\u00e9 Pad"), "Caf");
  EXPECT_EQ(reduce(u"ab\u0100cd"), "ab");
  EXPECT_EQ(reduce(u"\u0141\u4e2d"), "A-");
  EXPECT_EQ(reduce(u"\u00ffabc"), "");
  EXPECT_EQ(reduce(u""), "");
}

TEST(ReduceDeviceString, StopsAtTheBufferEndWithoutATerminator) {
  const std::uint8_t unterminated[] = {'a', 0, 'b', 0, 'c'};
  EXPECT_EQ(ReduceDeviceString(unterminated, sizeof unterminated), "ab");
}

struct BudgetCase {
  const char* name;
  int productFailures;  // 100 or more: never obtained
  bool hasSerial;
  int expectedProductCalls;
  int expectedSerialCalls;
  bool obtained;
  std::string serial;
};

TEST(RetrieveDeviceStrings, ShareOneBudget) {
  const BudgetCase cases[] = {
      {"product at attempt 1", 0, true, 1, 1, true, "000123"},
      {"product at attempt 98", 97, true, 98, 1, true, "000123"},
      {"product at attempt 99", 98, true, 99, 0, true, ""},
      {"product at attempt 100", 99, true, 100, 0, true, ""},
      {"product never", 1000, true, 100, 0, false, ""},
  };
  for (const BudgetCase& c : cases) {
    SCOPED_TRACE(c.name);
    fakes::FakeHidSystem system;
    system.plug({.path = "dev", .product = u"Demo Unit", .serial = u"000123", .productFailures = c.productFailures});
    fakes::FakeClock clock;
    const auto device = system.open("dev");
    const DeviceStrings strings = RetrieveDeviceStrings(*device, clock);
    EXPECT_EQ(system.log("dev").productCalls, c.expectedProductCalls);
    EXPECT_EQ(system.log("dev").serialCalls, c.expectedSerialCalls);
    EXPECT_EQ(strings.obtained, c.obtained);
    EXPECT_EQ(strings.serial, c.serial);
    EXPECT_EQ(clock.sleeps(), std::min(c.productFailures, 100));
  }
}

TEST(RetrieveDeviceStrings, SerialGetsWhatTheProductLeftOfTheBudget) {
  // The product at attempt k leaves 99 - k serial attempts, each failure sleeping 2 ms.
  for (const int k : {1, 50, 98}) {
    SCOPED_TRACE(k);
    fakes::FakeHidSystem system;
    system.plug({.path = "dev", .product = u"P", .serial = std::nullopt, .productFailures = k - 1});
    fakes::FakeClock clock;
    const auto device = system.open("dev");
    const DeviceStrings strings = RetrieveDeviceStrings(*device, clock);
    EXPECT_TRUE(strings.obtained);
    EXPECT_EQ(system.log("dev").serialCalls, 99 - k);
    EXPECT_EQ(clock.sleeps(), (k - 1) + (99 - k));
    EXPECT_EQ(clock.elapsedMs(), 2ULL * static_cast<unsigned long long>(clock.sleeps()));
  }
}

TEST(RetrieveDeviceStrings, AnEmptyStringCountsAsObtainedButASerialIsNeverReadWithoutAProduct) {
  fakes::FakeHidSystem system;
  system.plug({.path = "empty", .product = u"", .serial = u""});
  system.plug({.path = "serial only", .product = std::nullopt, .serial = u"S1"});
  fakes::FakeClock clock;
  const DeviceStrings empty = RetrieveDeviceStrings(*system.open("empty"), clock);
  EXPECT_TRUE(empty.obtained);
  EXPECT_EQ(empty.product, "");
  // No product within the budget: the serial is never tried, so nothing is obtained.
  const DeviceStrings serialOnly = RetrieveDeviceStrings(*system.open("serial only"), clock);
  EXPECT_FALSE(serialOnly.obtained);
  EXPECT_EQ(system.log("serial only").serialCalls, 0);
}

}  // namespace
}  // namespace discovery
