#pragma once

#include <QListWidget>

#include <cstdint>
#include <string>

#include "ui/Controls.h"

namespace ui {

// A sorted multiple-selection list box. Entries are 8-bit texts kept in ascending order (bytes
// compared after mapping A-Z to a-z; an entry equal to existing ones goes after them), each with a
// 32-bit item value that travels with it. Each click or Space toggles one entry and raises one
// selChange(); changes the program makes raise none. It never scrolls sideways.
class CListBox final : public QListWidget, public ListBox {
  Q_OBJECT

 public:
  // The result of operations given an index that has no entry.
  static constexpr int kError = -1;

  explicit CListBox(QWidget* parent = nullptr);

  void ResetContent() override;
  int AddString(const std::string& text) override;
  void SetSel(bool select, int index) override;
  void SetItemData(int index, std::uint32_t value) override;
  std::uint32_t GetItemData(int index) const override;
  int GetCount() const override;
  int GetSel(int index) const override;
  int GetSelCount() const override;
  void EnableWindow(bool enable) override;

  std::string GetText(int index) const;

 signals:
  // The user changed the selection.
  void selChange();

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;

 private:
  // Sets m_programmatic for the lifetime of a change the program makes.
  class ProgrammaticChange;
  bool m_programmatic = false;
};

}  // namespace ui
