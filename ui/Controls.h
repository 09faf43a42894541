#pragma once

#include <cstdint>
#include <string>

namespace ui {

// The operations of the program's controls, under the names the program uses for them. The
// logic of discovery/ and transfer/ sees the controls only through these interfaces; the Qt
// controls implement them, and tests use plain fakes.

class ListBox {
 public:
  virtual ~ListBox() = default;
  virtual void ResetContent() = 0;
  // Inserts the entry unselected at its sorted place and returns that index.
  virtual int AddString(const std::string& text) = 0;
  // Raises no selection-change event.
  virtual void SetSel(bool select, int index) = 0;
  virtual void SetItemData(int index, std::uint32_t value) = 0;
  virtual std::uint32_t GetItemData(int index) const = 0;
  virtual int GetCount() const = 0;
  // Greater than 0 when the entry is selected, 0 when not.
  virtual int GetSel(int index) const = 0;
  virtual int GetSelCount() const = 0;
  virtual void EnableWindow(bool enable) = 0;
};

class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void SetRange(std::uint16_t lower, std::uint16_t upper) = 0;
  // A position outside the range shows as the nearer bound.
  virtual void SetPos(int position) = 0;
};

class Button {
 public:
  virtual ~Button() = default;
  virtual void EnableWindow(bool enable) = 0;
};

// Lets the window's other event handlers run while a long handler works.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void PumpPendingMessages() = 0;
};

}  // namespace ui
