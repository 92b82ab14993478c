#include "ui/win/DialogBuilder.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>

#include "res/Resources.h"
#include "ui/win/Buttons.h"

namespace win {

namespace {

QWidget* MakeStatic(QWidget* parent, const ControlTemplate& c) {
  auto* label = new QLabel(c.strText, parent);
  // A static control of several lines wraps at blanks; a one-line label is
  // never wrapped (see Widen).
  label->setWordWrap(c.rectDlu.height() >= 16 && c.strText.contains(QLatin1Char(' ')));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QWidget* MakePicture(QWidget* parent, const ControlTemplate& c) {
  InitTarnwickResources();
  auto* label = new QLabel(parent);
  label->setPixmap(QPixmap(BitmapResourcePath(c.nImageId)));
  label->setScaledContents(true);
  return label;
}

// A read-only multi-line edit without a border: a status line, which a
// template may lay over other controls.
bool IsStatusEdit(const ControlTemplate& c) {
  return c.kind == ControlKind::edit && c.Has("multiline") && c.Has("readonly") && c.Has("noborder");
}

QWidget* MakeEdit(QWidget* parent, const ControlTemplate& c) {
  if (c.Has("multiline")) {
    auto* edit = new QPlainTextEdit(c.strText, parent);
    edit->setReadOnly(c.Has("readonly"));
    edit->setLineWrapMode(c.Has("autohscroll") ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (c.Has("noborder")) edit->setFrameShape(QFrame::NoFrame);
    if (IsStatusEdit(c)) {
      // Drawn as the platform draws a read-only edit without a border: in
      // the dialog's colour, so that nothing shows where it has no text.
      QPalette palette = edit->palette();
      palette.setColor(QPalette::Base, palette.color(QPalette::Window));
      edit->setPalette(palette);
      edit->setAutoFillBackground(false);
      edit->viewport()->setAutoFillBackground(false);
    }
    return edit;
  }
  auto* edit = new QLineEdit(c.strText, parent);
  edit->setReadOnly(c.Has("readonly"));
  edit->setFrame(!c.Has("noborder"));
  return edit;
}

QWidget* MakeButton(QWidget* parent, const ControlTemplate& c) {
  auto* button = new QPushButton(c.strText, parent);
  // Enter never presses a button on these dialogs; only an explicit
  // default button is drawn as one.
  button->setAutoDefault(false);
  button->setDefault(c.Has("default"));
  if (c.nImageId) DressButton(button, c.nImageId, c.strTooltip);
  return button;
}

QWidget* MakeRadio(QWidget* parent, const ControlTemplate& c) {
  auto* radio = new QRadioButton(c.strText, parent);
  radio->setAutoExclusive(false);
  // An auto radio button is checked by a click and never unchecked by one.
  QObject::connect(radio, &QRadioButton::clicked, radio, [radio] { radio->setChecked(true); });
  return radio;
}

QWidget* MakeList(QWidget* parent, const ControlTemplate& c, bool bTree) {
  auto* view = new QTreeWidget(parent);
  view->setRootIsDecorated(bTree);
  view->setHeaderHidden(bTree);
  view->setUniformRowHeights(true);
  view->setSortingEnabled(false);
  view->setSelectionMode(c.Has("multisel") ? QAbstractItemView::ExtendedSelection
                                           : QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setAllColumnsShowFocus(c.Has("fullrow") || !bTree);
  if (!bTree) {
    view->header()->setStretchLastSection(false);
    view->setColumnCount(0);
    view->setIndentation(0);
  }
  if (c.Has("gridlines"))
    view->setStyleSheet(QStringLiteral("QTreeView::item { border-bottom: 1px solid palette(midlight);"
                                       " border-right: 1px solid palette(midlight); }"));
  if (c.Has("noborder")) view->setFrameShape(QFrame::NoFrame);
  return view;
}

QWidget* MakeCombo(QWidget* parent, const ControlTemplate& c, const DialogUnits& units) {
  auto* combo = new QComboBox(parent);
  combo->setEditable(c.kind == ControlKind::combo);
  // The template's height is the dropped-down list's; the closed box keeps
  // the height of one line.
  const int rows = std::max(1, units.Y(c.rectDlu.height()) / std::max(1, combo->fontMetrics().height()) - 1);
  combo->setMaxVisibleItems(rows);
  return combo;
}

// Moves a date picker's calendar, each time it opens, so that its right edge
// lines up with the picker's (Qt opens it left-aligned), kept on the screen.
class CalendarRightAligner : public QObject {
public:
  CalendarRightAligner(QDateEdit* date, QWidget* popup) : QObject(date), m_pDate(date) {
    popup->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* popup = static_cast<QWidget*>(watched);
      const QPoint below = m_pDate->mapToGlobal(QPoint(m_pDate->width(), m_pDate->height()));
      int left = below.x() - popup->width();
      if (const QScreen* screen = m_pDate->screen())
        left = std::max(left, screen->availableGeometry().left());
      popup->move(left, popup->y());
    }
    return false;
  }

private:
  QDateEdit* m_pDate;  // non-owning: the picker is this object's parent
};

QWidget* MakeDate(QWidget* parent, const ControlTemplate& c) {
  auto* date = new QDateEdit(QDate::currentDate(), parent);
  date->setCalendarPopup(true);
  date->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  if (c.Has("calendarright")) new CalendarRightAligner(date, date->calendarWidget()->window());
  return date;
}

// The templates were measured with the Windows font and check-box glyph;
// labels, radio buttons and check boxes here can need a few pixels more.
// They grow to the right rather than cut their text off.
bool Widen(const ControlTemplate& c) {
  switch (c.kind) {
    case ControlKind::radio:
    case ControlKind::check: return true;
    case ControlKind::staticText: return c.rectDlu.height() < 16 && !c.strText.startsWith(QLatin1Char('_'));
    default: return false;
  }
}

}  // namespace

QWidget* BuildControl(QWidget* parent, const ControlTemplate& c, const DialogUnits& units) {
  QWidget* w = nullptr;
  switch (c.kind) {
    case ControlKind::picture: w = MakePicture(parent, c); break;
    case ControlKind::group: w = new QGroupBox(c.strText, parent); break;
    case ControlKind::staticText: w = MakeStatic(parent, c); break;
    case ControlKind::edit: w = MakeEdit(parent, c); break;
    case ControlKind::button: w = MakeButton(parent, c); break;
    case ControlKind::radio: w = MakeRadio(parent, c); break;
    case ControlKind::check: w = new QCheckBox(c.strText, parent); break;
    case ControlKind::list: w = MakeList(parent, c, false); break;
    case ControlKind::tree: w = MakeList(parent, c, true); break;
    case ControlKind::progress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      w = bar;
      break;
    }
    case ControlKind::combo:
    case ControlKind::droplist: w = MakeCombo(parent, c, units); break;
    case ControlKind::date: w = MakeDate(parent, c); break;
    case ControlKind::menubutton: {
      auto* button = new CMenuButton(c.strText, parent);
      button->setAutoDefault(false);
      if (c.nMenuId) button->LoadMenu(c.nMenuId);
      w = button;
      break;
    }
    case ControlKind::link: {
      auto* link = new CLinkButton(parent);
      link->setText(c.strText);
      link->setToolTip(c.strTooltip);
      w = link;
      break;
    }
  }
  QRect r = units.MapDialogRect(c.rectDlu);
  if (c.kind == ControlKind::combo || c.kind == ControlKind::droplist)
    r.setHeight(std::min(r.height(), w->sizeHint().height()));
  if (Widen(c)) r.setWidth(std::max(r.width(), w->sizeHint().width()));
  w->setGeometry(r);
  w->setProperty("dlgId", c.nId);
  w->setObjectName(QStringLiteral("ctl%1").arg(c.nId));
  if (!c.strTooltip.isEmpty()) w->setToolTip(c.strTooltip);
  if (c.Has("checked"))
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setChecked(true);
  if (c.Has("disabled")) w->setEnabled(false);
  if (c.Has("hidden")) w->setVisible(false);
  return w;
}

std::vector<std::pair<int, QWidget*>> BuildControls(QWidget* parent, const DialogTemplate& t,
                                                    const DialogUnits& units) {
  std::vector<std::pair<int, QWidget*>> out;
  out.reserve(t.controls.size());
  for (const ControlTemplate& c : t.controls) {
    QWidget* w = BuildControl(parent, c, units);
    // A status edit lies beneath the controls before it in the template
    // (the progress bars of the summary page), as a native one does.
    if (IsStatusEdit(c) && !out.empty()) w->stackUnder(out.front().second);
    out.emplace_back(c.nId, w);
  }
  return out;
}

}  // namespace win
