// The program's compiled-in resources: dialog templates, menus and artwork.
// Resource names follow the numeric ids the pages use:
//   :/templates/dialogs.json   every dialog template and menu
//   :/png/<id>.png             button images (137 Next, 138 Back, ...)
//   :/bitmap/<id>.png          135 page banner, 136 about banner, 154 folder strip
//   :/icon/128.png             the application icon
// Call InitTarnwickResources once before the first lookup (the resources sit
// in a static library, whose registration the linker would otherwise drop).
// Safe to call more than once; user-interface thread.
#pragma once

#include <QString>

void InitTarnwickResources();

inline QString PngResourcePath(int id) { return QStringLiteral(":/png/%1.png").arg(id); }
inline QString BitmapResourcePath(int id) { return QStringLiteral(":/bitmap/%1.png").arg(id); }
inline QString IconResourcePath(int id) { return QStringLiteral(":/icon/%1.png").arg(id); }
