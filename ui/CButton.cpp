#include "ui/CButton.h"

namespace ui {

CButton::CButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  // A QDialog makes its first auto-default button the default when shown, so that Enter anywhere
  // would click it.
  setAutoDefault(false);
  setDefault(false);
}

void CButton::EnableWindow(bool enable) { setEnabled(enable); }

}  // namespace ui
