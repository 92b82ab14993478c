// Dialog units, converted to pixels the way Windows converts them: the
// horizontal unit is a quarter of the dialog font's average character width,
// the vertical unit an eighth of its character height. A 430 x 330 page thus
// keeps the proportions its template was laid out for, whatever the font.
// Plain value; thread-safe.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace win {

struct DialogUnits {
  int nBaseX = 6;   // average character width in pixels
  int nBaseY = 13;  // character height in pixels

  // Average width as Windows measures it: the width of the 52 letters A-Z
  // and a-z, divided by 26, plus one, halved (rounded).
  static DialogUnits FromFont(const QFont& font);

  int X(int dluX) const;  // MulDiv(dluX, nBaseX, 4)
  int Y(int dluY) const;  // MulDiv(dluY, nBaseY, 8)
  QRect MapDialogRect(const QRect& dlu) const;
  QSize MapDialogSize(const QSize& dlu) const;
};

// The dialog font of every template ("MS Shell Dlg", 8 points): a sans-serif
// of 11 pixels (8 points at 96 dots per inch).
QFont DialogFont();

}  // namespace win
