#include "ui/win/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>
#include <cmath>

namespace win {

namespace {
// Windows' MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c) {
  return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}
}  // namespace

DialogUnits DialogUnits::FromFont(const QFont& font) {
  const QFontMetrics fm(font);
  const int width52 = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits u;
  u.nBaseX = std::max(1, (width52 / 26 + 1) / 2);
  u.nBaseY = std::max(1, fm.height());
  return u;
}

int DialogUnits::X(int dluX) const { return MulDiv(dluX, nBaseX, 4); }
int DialogUnits::Y(int dluY) const { return MulDiv(dluY, nBaseY, 8); }

QRect DialogUnits::MapDialogRect(const QRect& dlu) const {
  // Map the corners, not the size, so neighbouring controls meet exactly.
  const int left = X(dlu.x()), top = Y(dlu.y());
  return QRect(left, top, X(dlu.x() + dlu.width()) - left, Y(dlu.y() + dlu.height()) - top);
}

QSize DialogUnits::MapDialogSize(const QSize& dlu) const { return QSize(X(dlu.width()), Y(dlu.height())); }

QFont DialogFont() {
  // DejaVu Sans Condensed at 11 pixels has the metrics the templates were
  // laid out for (6 x 13 pixels per 4 x 8 dialog units, as Tahoma 8 points
  // at 96 dots per inch): a 430 x 330 page is 645 x 536 pixels and the
  // banner bitmap fits its picture exactly. Other fonts still work; the
  // units follow whatever font is found.
  QFont f;
  f.setFamilies(QStringList{QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Tahoma"),
                 QStringLiteral("Sans Serif")});
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(11);
  return f;
}

}  // namespace win
