// Builds the widgets of a dialog template inside a parent widget, at the
// template's places converted from dialog units. Each control gets its id as
// the "dlgId" property and the object name "ctl<id>". User-interface thread.
#pragma once

#include <utility>
#include <vector>

#include "ui/win/DialogTemplate.h"
#include "ui/win/DialogUnits.h"

class QWidget;

namespace win {

// What the builder makes per kind: picture QLabel (pixmap scaled to the
// rect), group QGroupBox, static QLabel, edit QLineEdit (QPlainTextEdit when
// multiline), button QPushButton (dressed when the template names an image),
// radio QRadioButton (not auto-exclusive: each is its own group, and a click
// checks it, never unchecks it), check QCheckBox, list QTreeWidget in report
// style, tree QTreeWidget, progress QProgressBar (0..100, no text), combo and
// droplist QComboBox, date QDateEdit (short date, calendar pop-up, today),
// menubutton CMenuButton (menu loaded), link CLinkButton.
// Returns the controls in template order (id, widget); -1 for unnamed ones.
std::vector<std::pair<int, QWidget*>> BuildControls(QWidget* parent, const DialogTemplate& t,
                                                    const DialogUnits& units);

// One control, for tests and for pages that rebuild a control.
QWidget* BuildControl(QWidget* parent, const ControlTemplate& c, const DialogUnits& units);

}  // namespace win
