// Rebuilds the artwork under res/images: button images and the application
// icon copied from the Adwaita icon theme (adwaita-icon-theme; CC-BY-SA-3.0 or
// LGPL-3, see res/LICENSES.md), the folder-kind strip assembled from it, and
// the two banners drawn here. Run once by hand; its output is committed:
//   g++ -std=c++20 -fPIC make_artwork.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make_artwork
//   QT_QPA_PLATFORM=offscreen /tmp/make_artwork res/images
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QString>

static const QString kTheme = "/usr/share/icons/Adwaita/";

static QImage Load(const QString& rel) {
  QImage img(kTheme + rel + ".png");
  if (img.isNull()) qFatal("missing icon %s", qPrintable(rel));
  return img.convertToFormat(QImage::Format_ARGB32);
}

static void DrawBanner(const QString& path, int w, int h, int titleSize, const QString& line) {
  QImage img(w, h, QImage::Format_RGB888);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, QColor("#17457f"));
  g.setColorAt(1, QColor("#3d8ed3"));
  p.fillRect(img.rect(), g);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 28));
  p.drawEllipse(QPointF(w - 40, 10), 70, 70);
  p.drawEllipse(QPointF(w - 110, h + 10), 45, 45);
  p.setBrush(QColor(255, 255, 255, 18));
  p.drawEllipse(QPointF(w - 180, -20), 40, 40);
  // Two overlapping sheets: the duplicate and its original.
  p.setPen(QPen(QColor(255, 255, 255, 220), 1.5));
  p.setBrush(QColor(255, 255, 255, 60));
  p.drawRoundedRect(QRectF(14, h / 2.0 - 19, 26, 32), 3, 3);
  p.setBrush(QColor(255, 255, 255, 140));
  p.drawRoundedRect(QRectF(22, h / 2.0 - 13, 26, 32), 3, 3);
  QFont title("DejaVu Sans");
  title.setPixelSize(titleSize);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QPointF(60, h / 2.0 + 2), "Tarnwick");
  QFont sub("DejaVu Sans");
  sub.setPixelSize(12);
  p.setFont(sub);
  p.setPen(QColor("#dcebf9"));
  p.drawText(QPointF(61, h / 2.0 + 22), line);
  p.end();
  if (!img.save(path)) qFatal("cannot write %s", qPrintable(path));
}

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString out = argc > 1 ? argv[1] : "res/images";
  const struct { const char* icon; const char* name; } copies[] = {
      {"24x24/legacy/go-next", "png137-next"},
      {"24x24/legacy/go-previous", "png138-back"},
      {"24x24/legacy/process-stop", "png139-stop"},
      {"24x24/legacy/window-close", "png140-close"},
      {"24x24/legacy/help-browser", "png141-help"},
      {"24x24/legacy/list-add", "png142-add-files"},
      {"24x24/legacy/list-remove", "png145-remove"},
      {"24x24/legacy/media-playback-start", "png148-start"},
      {"24x24/legacy/list-add", "png149-add"},
      {"24x24/legacy/edit-delete", "png150-remove-all"},
      {"24x24/legacy/emblem-default", "png151-ok"},
      {"24x24/legacy/system-search", "png152-search"},
      {"48x48/legacy/edit-find-replace", "icon48-app"},
      {"24x24/legacy/edit-find-replace", "icon24-app"},
  };
  for (const auto& c : copies) {
    QFile::remove(out + "/" + c.name + ".png");
    if (!QFile::copy(kTheme + c.icon + ".png", out + "/" + c.name + ".png")) qFatal("copy %s", c.icon);
  }
  // The theme draws the application icon at 24 and 48 pixels only; the menu
  // sizes between are scaled down from the nearest larger one.
  const struct { const char* icon; int nSize; const char* name; } scaled[] = {
      {"24x24/legacy/edit-find-replace", 16, "icon16-app"},
      {"48x48/legacy/edit-find-replace", 32, "icon32-app"},
  };
  for (const auto& c : scaled) {
    const QImage icon = Load(c.icon).scaled(c.nSize, c.nSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!icon.save(out + "/" + c.name + ".png")) qFatal("cannot write %s", c.name);
  }
  // Folder-kind strip: 18 images of 16 x 16 on magenta, which the tree's
  // image list treats as transparent. Index = folder kind.
  const char* strip[18] = {
      "16x16/devices/drive-harddisk",            // 0 database
      "16x16/mimetypes/x-office-calendar",       // 1 calendar
      "16x16/mimetypes/x-office-document-template",  // 2 drafts
      "16x16/places/folder-download",            // 3 inbox
      "16x16/mimetypes/x-office-document",       // 4 journal
      "16x16/mimetypes/text-x-generic",          // 5 notes
      "16x16/places/folder-publicshare",         // 6 outbox
      "24x24/legacy/mail-send",                  // 7 sent items
      "16x16/mimetypes/x-office-spreadsheet",    // 8 tasks
      "16x16/places/folder-documents",           // 9 (no kind uses it)
      "16x16/places/folder",                     // 10 any other folder
      "16x16/mimetypes/x-office-address-book",   // 11 contacts
      "16x16/places/folder-templates",           // 12 (no kind uses it)
      "16x16/places/folder-open",                // 13 (no kind uses it)
      "24x24/legacy/mail-mark-junk",             // 14 junk e-mail
      "16x16/places/folder-saved-search",        // 15 search folders
      "16x16/places/user-trash",                 // 16 deleted items
      "16x16/places/folder-remote",              // 17 RSS feeds
  };
  QImage sheet(18 * 16, 16, QImage::Format_RGB888);
  sheet.fill(QColor(255, 0, 255));
  {
    QPainter p(&sheet);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < 18; ++i) {
      // Composite on magenta with hard alpha so no blended fringe appears.
      QImage icon = Load(strip[i]).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
          const QColor c = icon.pixelColor(x, y);
          if (c.alpha() >= 128) {
            QColor solid = c;
            solid.setAlpha(255);
            // Blend the half-transparent edge against white, not magenta.
            const double a = c.alphaF();
            solid.setRgbF(c.redF() * a + (1 - a), c.greenF() * a + (1 - a), c.blueF() * a + (1 - a));
            p.setPen(solid);
            p.drawPoint(i * 16 + x, y);
          }
        }
    }
  }
  if (!sheet.save(out + "/bmp154-folders.png")) qFatal("strip");
  DrawBanner(out + "/bmp135-banner.png", 645, 75, 28,
             "Find and remove duplicate mail items and contacts in Notes databases");
  DrawBanner(out + "/bmp136-about.png", 395, 85, 26, "Duplicate remover for Notes databases");
  return 0;
}
