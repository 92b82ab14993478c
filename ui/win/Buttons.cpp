#include "ui/win/Buttons.h"

#include <QFontMetrics>
#include <QIcon>
#include <QMenu>

#include "res/Resources.h"
#include "ui/win/DialogTemplate.h"
#include "ui/win/Shell.h"

namespace win {

void DressButton(QAbstractButton* button, int nPngId, const QString& tooltip) {
  InitTarnwickResources();
  button->setToolTip(tooltip);
  button->setIcon(QIcon(PngResourcePath(nPngId)));
  button->setIconSize(QSize(16, 16));
  // Qt draws a push button's icon left of its text already; the layout
  // direction pins it there for right-to-left locales too.
  button->setLayoutDirection(Qt::LeftToRight);
}

CMenuButton::CMenuButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

bool CMenuButton::LoadMenu(int nMenuId) {
  const MenuTemplate* t = FindMenuTemplate(nMenuId);
  if (!t) return false;
  delete m_pMenu;
  m_pMenu = new QMenu(t->strTitle, this);
  // Drawn like the buttons rather than as a bare system pop-up.
  m_pMenu->setStyleSheet(QStringLiteral(
      "QMenu { background: palette(button); border: 1px solid palette(mid); padding: 2px; }"
      "QMenu::item { padding: 4px 18px 4px 10px; border: 1px solid transparent; }"
      "QMenu::item:selected { background: palette(highlight); color: palette(highlighted-text);"
      " border: 1px solid palette(dark); }"));
  for (const MenuItemTemplate& item : t->items) {
    QAction* a = m_pMenu->addAction(item.strText);
    const int id = item.nCommandId;
    connect(a, &QAction::triggered, this, [this, id] {
      m_nMenuResult = id;
      emit commandChosen(id);
    });
  }
  connect(m_pMenu, &QMenu::aboutToShow, this, [this] { m_nMenuResult = 0; });
  setMenu(m_pMenu);
  return true;
}

CLinkButton::CLinkButton(QWidget* parent) : QPushButton(parent) {
  setFlat(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setStyleSheet(QStringLiteral(
      "QPushButton { color: palette(link); text-decoration: underline; border: none;"
      " text-align: left; padding: 0px; background: transparent; }"));
  connect(this, &QPushButton::clicked, this, [this] { ShellOpen(Target()); });
}

void CLinkButton::SizeToContent() {
  const QFontMetrics fm(font());
  resize(fm.horizontalAdvance(text()) + 4, std::max(height(), fm.height() + 2));
}

}  // namespace win
