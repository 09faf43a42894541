#pragma once

#include <cstdint>
#include <vector>

#include "ui/Controls.h"

namespace fakes {

// A button that remembers whether it is enabled and every change made to it.
class FakeButton final : public ui::Button {
 public:
  void EnableWindow(bool enable) override {
    enabled = enable;
    history.push_back(enable);
  }
  bool enabled = false;
  std::vector<bool> history;
};

}  // namespace fakes
