#pragma once

#include <functional>
#include <vector>

#include "ui/Clock.h"

namespace fakes {

// A clock that only counts: no real time passes. An optional hook runs after each sleep, with
// the number of that sleep (from 1), so a test can make things happen at a chosen tick.
class FakeClock final : public ui::Clock {
 public:
  void Sleep(unsigned milliseconds) override {
    m_sleeps.push_back(milliseconds);
    m_elapsed += milliseconds;
    if (onSleep) onSleep(static_cast<int>(m_sleeps.size()));
  }
  int sleeps() const { return static_cast<int>(m_sleeps.size()); }
  unsigned long long elapsedMs() const { return m_elapsed; }

  std::function<void(int)> onSleep;

 private:
  std::vector<unsigned> m_sleeps;
  unsigned long long m_elapsed = 0;
};

}  // namespace fakes
