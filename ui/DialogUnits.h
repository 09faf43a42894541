#pragma once

#include <QFont>
#include <QRect>

namespace ui {

// Dialog units of a font: a horizontal unit is a quarter of the font's average character width,
// a vertical unit an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseWidth, int baseHeight) : m_baseWidth(baseWidth), m_baseHeight(baseHeight) {}

  int baseWidth() const { return m_baseWidth; }
  int baseHeight() const { return m_baseHeight; }
  int toPixelsX(int units) const;
  int toPixelsY(int units) const;
  QRect toPixels(int x, int y, int cx, int cy) const;

 private:
  int m_baseWidth;
  int m_baseHeight;
};

}  // namespace ui
