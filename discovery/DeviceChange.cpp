#include "discovery/DeviceChange.h"

namespace discovery {

std::string UpperCaseAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool MatchesArrivalPattern(const hid::DeviceChangeRecord* eventData, std::string pattern) {
  if (!eventData || eventData->deviceType != hid::kDbtDevtypDeviceInterface) return false;
  const std::string name = UpperCaseAscii(eventData->name);
  pattern = UpperCaseAscii(std::move(pattern));
  return name.find(pattern) != std::string::npos;
}

bool HandleDeviceChange(SharedState& state, std::uint32_t eventType, const hid::DeviceChangeRecord* eventData,
                        const std::function<int()>& rescan, ui::Button& updateButton) {
  if (eventType == hid::kDbtDeviceArrival) {
    if (!state.arrivalSeen && MatchesArrivalPattern(eventData, state.arrivalPattern)) {
      state.arrivedPath = eventData->name;
      state.arrivalSeen = true;
    }
  } else if (eventType != hid::kDbtDeviceRemoveComplete) {
    return true;
  }
  if (state.rescanEnabled) updateButton.EnableWindow(rescan() != 0);
  return true;
}

}  // namespace discovery
