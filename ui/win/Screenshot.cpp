#include "ui/win/Screenshot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <cstdio>

namespace win {

void SettleEvents(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool SaveScreenshot(const QPixmap& pixmap, const QString& dir, const QString& name) {
  const QString path = QDir(dir).filePath(name);
  if (!pixmap.save(path, "PNG")) {
    std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace win
