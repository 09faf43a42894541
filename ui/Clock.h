#pragma once

namespace ui {

// The one way the program waits. Tests replace it so that long waits cost no real time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(unsigned milliseconds) = 0;
};

class SystemClock final : public Clock {
 public:
  void Sleep(unsigned milliseconds) override;
};

}  // namespace ui
