#include "ui/DialogUnits.h"

#include <QFontMetrics>

namespace ui {

namespace {

// a * b / c rounded to the nearest integer, halves away from zero.
int mulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded, as dialog layouts have always measured it.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  m_baseWidth = (letters / 26 + 1) / 2;
  m_baseHeight = metrics.height();
  if (m_baseWidth < 1) m_baseWidth = 1;
  if (m_baseHeight < 1) m_baseHeight = 1;
}

int DialogUnits::toPixelsX(int units) const { return mulDiv(units, m_baseWidth, 4); }
int DialogUnits::toPixelsY(int units) const { return mulDiv(units, m_baseHeight, 8); }

QRect DialogUnits::toPixels(int x, int y, int cx, int cy) const {
  return {toPixelsX(x), toPixelsY(y), toPixelsX(cx), toPixelsY(cy)};
}

}  // namespace ui
