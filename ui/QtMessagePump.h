#pragma once

#include "ui/Controls.h"

namespace ui {

// Handles the events that are pending now, once. It does not loop until the queue is empty: a
// source that is always ready would keep it spinning for ever. A request to end a modal run made
// meanwhile takes effect when control returns to that run's loop.
class QtMessagePump final : public MessagePump {
 public:
  void PumpPendingMessages() override;
};

}  // namespace ui
