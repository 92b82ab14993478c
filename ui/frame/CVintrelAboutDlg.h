// The about box: the product title, three links to the maker (web site,
// support mail, sales mail) and the program's version. Modal over the page whose Help menu opened it;
// OK ends it as accepted, the window's close as cancelled. Enter and Escape
// do nothing; it can be dragged by its body. User-interface thread.
#pragma once

#include <QFont>

#include "ui/win/CDialog.h"

namespace frame {

class CVintrelAboutDlg : public win::CDialog {
  Q_OBJECT
public:
  // The static below the links that shows "Version " + the version.
  static constexpr int kVersionStatic = 1079;

  explicit CVintrelAboutDlg(QWidget* parent = nullptr);
  // Builds the template and initialises the links, title and OK button.
  [[nodiscard]] bool Create();

private:
  QFont m_titleFont;  // Arial, 15 pixels, semi-bold; the title static uses it
};

}  // namespace frame
