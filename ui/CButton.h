#pragma once

#include <QPushButton>

#include "ui/Controls.h"

namespace ui {

// A push button that is never a default button: Enter clicks it only while it has the focus,
// which the dialog decides (see CDialog).
class CButton final : public QPushButton, public Button {
  Q_OBJECT

 public:
  explicit CButton(const QString& text, QWidget* parent = nullptr);
  void EnableWindow(bool enable) override;
};

}  // namespace ui
