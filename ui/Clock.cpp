#include "ui/Clock.h"

#include <chrono>
#include <thread>

namespace ui {

void SystemClock::Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace ui
