#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "discovery/SharedState.h"
#include "hid/HotplugMonitor.h"
#include "ui/Controls.h"

namespace discovery {

// Upper-cases a to z and leaves every other byte as it is: paths are bytes, and Linux has no
// double-byte code page whose characters would need mapping as units.
std::string UpperCaseAscii(std::string text);

// True when the record names a device interface whose path contains `pattern`, letter case
// ignored. The empty pattern matches every interface; a record of another type never matches.
bool MatchesArrivalPattern(const hid::DeviceChangeRecord* eventData, std::string pattern);

// Handles one device-change notification: an arrival that matches the arrival pattern is
// recorded (the first after a clear wins), and while rescanning is on, every arrival and
// completed removal rescans and sets the button from the updatable count. Returns true for
// every event.
bool HandleDeviceChange(SharedState& state, std::uint32_t eventType, const hid::DeviceChangeRecord* eventData,
                        const std::function<int()>& rescan, ui::Button& updateButton);

}  // namespace discovery
