#pragma once

#include "discovery/SharedState.h"
#include "transfer/ReportBuffer.h"

namespace transfer {

// All process-wide state of a program run in one object: the shared flags, patterns, paths and
// device table, and the buffer every feature report is sent from. Tests make a fresh one.
struct ProcessState : discovery::SharedState {
  ReportBuffer reportBuffer;
};

}  // namespace transfer
