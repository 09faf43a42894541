#pragma once

#include <functional>
#include <optional>
#include <string>

#include "hid/HidSystem.h"
#include "service/ServiceFetch.h"
#include "transfer/ProcessState.h"
#include "transfer/ReportFormat.h"
#include "ui/Clock.h"
#include "ui/Controls.h"

namespace transfer {

// Ticks of the waits: 10 ms each, at most 6000 of them.
inline constexpr unsigned kWaitTickMs = 10;
inline constexpr int kWaitTicks = 6000;
// Once the updated devices have begun to come back, the final wait runs in steps this large.
inline constexpr int kReappearStep = 120;

// Progress ranges: direct and framed transfers in hundredths of a percent, the bootloader's wait
// and transfer and the final wait in ticks.
inline constexpr std::uint16_t kTransferRange = 10000;
inline constexpr std::uint16_t kWaitRange = 6000;

// What the update procedure works with.
struct UpdateEnvironment {
  hid::HidSystem& hid;
  service::ServiceFetch& fetch;
  ui::Clock& clock;
  ui::MessagePump& pump;
  std::string serviceBaseUrl;
  // Without it, bootloader transfers are not attempted: the image is dropped like one of an
  // unknown mode.
  std::optional<BootloaderSignature> bootloaderSignature;
  service::FetchLimits downloadLimits = service::kDownloadLimits;
};

struct UpdateControls {
  ui::ListBox& list;
  ui::ProgressBar& progress;
  ui::Button& button;
};

// The update: flashes every selected entry of the list in list order in the transfer mode the
// service names, waits for re-enumerating devices to come back, and rescans at the end through
// `rescan`, which returns the updatable count. Returns at once, restoring nothing, when the
// window has been asked to close (abortRequested after a pump).
void RunUpdateProcedure(const UpdateEnvironment& environment, const UpdateControls& controls, ProcessState& state,
                        const std::function<int()>& rescan);

}  // namespace transfer
