#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
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

// A list whose entries stay in the order they were added (the sorting is the real list's
// business and tested there).
class FakeListBox final : public ui::ListBox {
 public:
  struct Entry {
    std::string text;
    std::uint32_t data = 0;
    bool selected = false;
  };
  void ResetContent() override { entries.clear(); }
  int AddString(const std::string& text) override {
    entries.push_back({text, 0, false});
    return static_cast<int>(entries.size()) - 1;
  }
  void SetSel(bool select, int index) override {
    if (valid(index)) entries[static_cast<std::size_t>(index)].selected = select;
  }
  void SetItemData(int index, std::uint32_t value) override {
    if (valid(index)) entries[static_cast<std::size_t>(index)].data = value;
  }
  std::uint32_t GetItemData(int index) const override {
    return valid(index) ? entries[static_cast<std::size_t>(index)].data : 0xFFFFFFFFU;
  }
  int GetCount() const override { return static_cast<int>(entries.size()); }
  int GetSel(int index) const override { return valid(index) ? (entries[static_cast<std::size_t>(index)].selected ? 1 : 0) : -1; }
  int GetSelCount() const override {
    int n = 0;
    for (const Entry& e : entries) n += e.selected ? 1 : 0;
    return n;
  }
  void EnableWindow(bool enable) override { enabled = enable; }

  std::vector<Entry> entries;
  bool enabled = true;

 private:
  bool valid(int index) const { return index >= 0 && index < GetCount(); }
};

// A progress bar that records what it was told.
class FakeProgressBar final : public ui::ProgressBar {
 public:
  void SetRange(std::uint16_t lower, std::uint16_t upper) override { range = {lower, upper}; }
  void SetPos(int position) override {
    pos = position;
    positions.push_back(position);
  }
  std::pair<int, int> range{0, 100};
  int pos = 0;
  std::vector<int> positions;
};

// A pump that runs a script: `onPump` gets the number of the pump call, from 1.
class ScriptedPump final : public ui::MessagePump {
 public:
  void PumpPendingMessages() override {
    ++calls;
    if (onPump) onPump(calls);
  }
  int calls = 0;
  std::function<void(int)> onPump;
};

}  // namespace fakes
