// The device-change handler: which arrivals are recorded, and when the list is rescanned.
#include <gtest/gtest.h>

#include "discovery/DeviceChange.h"
#include "fakes/FakeControls.h"

namespace discovery {
namespace {

constexpr std::uint32_t kInterface = hid::kDbtDevtypDeviceInterface;

struct Case {
  const char* name;
  // State before the event.
  std::string pattern;
  bool arrivalSeen;
  bool rescanEnabled;
  // The event.
  std::uint32_t eventType;
  std::uint32_t deviceType;
  std::string path;
  // What follows.
  bool recorded;  // arrivedPath becomes `path` and arrivalSeen true
  bool rescans;
};

const Case kCases[] = {
    {"lower-case path matches the upper-case pattern", "VID_1DD2&PID_0001", false, true, hid::kDbtDeviceArrival,
     kInterface, "/dev/hidraw0#vid_1dd2&pid_0001#0003:1DD2:0001.0004", true, true},
    {"match while rescanning is off records without rescan", "VID_1DD2&PID_0001", false, false,
     hid::kDbtDeviceArrival, kInterface, "/dev/hidraw0#VID_1DD2&PID_0001#x", true, false},
    {"a second arrival while one is seen is not recorded", "VID_1DD2&PID_0001", true, true, hid::kDbtDeviceArrival,
     kInterface, "/dev/hidraw1#VID_1DD2&PID_0001#y", false, true},
    {"plain substring: PID_00012 contains PID_0001", "VID_1DD2&PID_0001", false, false, hid::kDbtDeviceArrival,
     kInterface, "/dev/hidraw2#VID_1DD2&PID_00012#z", true, false},
    {"no match", "VID_1DD2&PID_0001", false, true, hid::kDbtDeviceArrival, kInterface,
     "/dev/hidraw2#VID_1DD2&PID_0002#z", false, true},
    {"the empty pattern matches every interface", "", false, true, hid::kDbtDeviceArrival, kInterface,
     "/dev/hidraw3", true, true},
    {"another device type never matches, still rescans", "", false, true, hid::kDbtDeviceArrival, 3,
     "/dev/hidraw3#VID_1DD2&PID_0001#z", false, true},
    {"a removal is never recorded", "", false, true, hid::kDbtDeviceRemoveComplete, kInterface,
     "/dev/hidraw3#VID_1DD2&PID_0001#z", false, true},
    {"a removal while rescanning is off does nothing", "", false, false, hid::kDbtDeviceRemoveComplete, kInterface,
     "/dev/hidraw3", false, false},
    {"nodes changed does nothing", "", false, true, hid::kDbtDevNodesChanged, kInterface, "/dev/hidraw3", false,
     false},
    {"any other event type does nothing", "", false, true, 0x8001, kInterface, "/dev/hidraw3", false, false},
};

TEST(OnDeviceChange, BehaviourTable) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SharedState state;
    state.arrivalPattern = c.pattern;
    state.arrivalSeen = c.arrivalSeen;
    state.arrivedPath = c.arrivalSeen ? "earlier" : "";
    state.rescanEnabled = c.rescanEnabled;
    fakes::FakeButton button;
    int rescans = 0;
    const hid::DeviceChangeRecord record{c.deviceType, c.path};

    EXPECT_TRUE(HandleDeviceChange(state, c.eventType, &record, [&] { return ++rescans, 0; }, button));

    EXPECT_EQ(state.arrivalSeen, c.arrivalSeen || c.recorded);
    EXPECT_EQ(state.arrivedPath, c.recorded ? c.path : (c.arrivalSeen ? "earlier" : ""));
    EXPECT_EQ(rescans, c.rescans ? 1 : 0);
    EXPECT_EQ(button.history.size(), c.rescans ? 1U : 0U);
    EXPECT_EQ(state.arrivalPattern, c.pattern) << "the pattern is never changed";
  }
}

TEST(OnDeviceChange, TheButtonFollowsTheUpdatableCountAlone) {
  SharedState state;
  state.rescanEnabled = true;
  fakes::FakeButton button;
  const hid::DeviceChangeRecord record{kInterface, "/dev/hidraw0"};
  for (const int count : {2, 0, 1}) {
    HandleDeviceChange(state, hid::kDbtDeviceArrival, &record, [&] { return count; }, button);
    EXPECT_EQ(button.enabled, count != 0);
  }
}

TEST(MatchesArrivalPattern, UpperCasesOnlyAsciiLettersAndKeepsTheCallersPattern) {
  const hid::DeviceChangeRecord record{kInterface, "/dev/x#vid_16c0&pid_05b4\xe9#y"};
  EXPECT_TRUE(MatchesArrivalPattern(&record, "VID_16C0&PID_05B4\xe9"));
  // 0xE9 is a byte, not a letter to fold: 0xC9 does not match it.
  EXPECT_FALSE(MatchesArrivalPattern(&record, "PID_05B4\xc9"));
  EXPECT_FALSE(MatchesArrivalPattern(nullptr, ""));
  EXPECT_EQ(UpperCaseAscii("az{AZ`\x80"), "AZ{AZ`\x80");
}

}  // namespace
}  // namespace discovery
