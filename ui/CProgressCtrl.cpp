#include "ui/CProgressCtrl.h"

#include <algorithm>

namespace ui {

CProgressCtrl::CProgressCtrl(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  setRange(0, 100);
  setValue(0);
}

void CProgressCtrl::SetRange(std::uint16_t lower, std::uint16_t upper) {
  // An empty range would turn QProgressBar into a busy indicator.
  setRange(lower, std::max<int>(lower + 1, upper));
  SetPos(m_position);
}

void CProgressCtrl::SetPos(int position) {
  m_position = position;
  // QProgressBar ignores a value outside its range; the bar must stand at the nearer bound instead.
  setValue(std::clamp(position, minimum(), maximum()));
}

}  // namespace ui
