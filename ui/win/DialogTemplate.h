// Dialog templates as data: what a Windows dialog resource holds, read from
// the program's resources (res/templates/dialogs.json). A template gives the
// dialog's size in dialog units and, for every control, its id, kind, text,
// rectangle in dialog units, style flags and initial state; the builder
// (DialogBuilder.h) turns it into widgets.
//
// Threads: the tables are loaded once on first use and never change; lookups
// are read-only afterwards. Call from the user-interface thread.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

namespace win {

enum class ControlKind {
  picture,     // a bitmap resource (QLabel with a pixmap)
  group,       // group box
  staticText,  // static text
  edit,        // edit box
  button,      // push button (dressed with image and tooltip when the template says so)
  radio,       // radio button (each one its own group: pages keep pairs exclusive)
  check,       // auto check box
  list,        // list view in report mode
  tree,        // tree view
  progress,    // progress bar
  combo,       // editable drop-down combo box
  droplist,    // drop-down list combo box
  date,        // date-time picker
  menubutton,  // the Help menu button
  link,        // link button
};

struct ControlTemplate {
  int nId = -1;  // -1: not addressable
  ControlKind kind = ControlKind::staticText;
  QString strText;
  QRect rectDlu;          // x, y, width, height in dialog units
  QStringList flags;      // style and initial state: hidden, disabled, checked, default, ...
  int nImageId = 0;       // PNG (buttons) or bitmap (pictures) resource id; 0 none
  QString strTooltip;
  int nMenuId = 0;        // menu resource of a menu button

  bool Has(const char* flag) const { return flags.contains(QLatin1String(flag)); }
};

struct DialogTemplate {
  int nId = 0;
  QSize sizeDlu;           // width, height in dialog units
  bool bCaption = false;   // has a caption bar (the about box); pages have none
  QString strTitle;
  std::vector<ControlTemplate> controls;

  // The control with this id, or nullptr.
  const ControlTemplate* Find(int id) const;
};

struct MenuItemTemplate {
  int nCommandId = 0;
  QString strText;
};

struct MenuTemplate {
  int nId = 0;
  QString strTitle;  // the pop-up's title
  std::vector<MenuItemTemplate> items;
};

// The template with this id, or nullptr when there is none (the caller
// reports that the dialog cannot be created).
const DialogTemplate* FindDialogTemplate(int id);
const MenuTemplate* FindMenuTemplate(int id);

// Parses a template table from JSON text; used for the resource and by
// tests. Returns false and leaves the outputs empty when the text is not a
// valid table (unknown kind, missing rect, ...); error gets the reason.
bool ParseTemplates(const QByteArray& json, std::vector<DialogTemplate>* dialogs,
                    std::vector<MenuTemplate>* menus, QString* error);

}  // namespace win
