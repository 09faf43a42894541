#pragma once

#include <QProgressBar>

#include "ui/Controls.h"

namespace ui {

// A continuous progress bar without text. A position outside the range shows as the nearer bound.
class CProgressCtrl final : public QProgressBar, public ProgressBar {
  Q_OBJECT

 public:
  explicit CProgressCtrl(QWidget* parent = nullptr);

  void SetRange(std::uint16_t lower, std::uint16_t upper) override;
  void SetPos(int position) override;
  int GetPos() const { return m_position; }

 private:
  int m_position = 0;
};

}  // namespace ui
