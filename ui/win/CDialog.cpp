#include "ui/win/CDialog.h"

#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWindow>

#include "ui/win/DialogBuilder.h"

namespace win {

namespace {

// One filter for the whole application: it sees key presses before the
// focused control does, which a per-dialog keyPressEvent would not (a focused
// push button or line edit acts on Enter itself).
class KeyFilter : public QObject {
public:
  using QObject::QObject;
  bool eventFilter(QObject* obj, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!IsSwallowedKey(key->key())) return false;
    auto* w = qobject_cast<QWidget*>(obj);
    if (!w || !dynamic_cast<CDialog*>(w->window())) return false;
    return true;
  }
};

void InstallKeyFilterOnce() {
  static QPointer<KeyFilter> filter;
  if (!filter && qApp) {
    filter = new KeyFilter(qApp);
    qApp->installEventFilter(filter);
  }
}

}  // namespace

bool IsSwallowedKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape; }

CDialog::CDialog(int nTemplateId, QWidget* parent) : QDialog(parent), m_nTemplateId(nTemplateId) {
  InstallKeyFilterOnce();
  setFont(DialogFont());
  m_units = DialogUnits::FromFont(font());
}

CDialog::~CDialog() = default;

bool CDialog::CreateFromTemplate() {
  if (m_bCreated) return true;
  const DialogTemplate* t = FindDialogTemplate(m_nTemplateId);
  if (!t) return false;
  for (const auto& [id, w] : BuildControls(this, *t, m_units))
    if (id != -1) m_mapIdToControl.emplace(id, w);
  setFixedSize(m_units.MapDialogSize(t->sizeDlu));
  if (!t->strTitle.isEmpty()) setWindowTitle(t->strTitle);
  m_bCreated = true;
  return true;
}

QWidget* CDialog::GetDlgItem(int id) const {
  const auto it = m_mapIdToControl.find(id);
  return it == m_mapIdToControl.end() ? nullptr : it->second;
}

QString CDialog::GetDlgItemText(int id) const {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  return {};
}

void CDialog::SetDlgItemText(int id, const QString& text) {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(text);
  else if (auto* e = qobject_cast<QPlainTextEdit*>(w)) e->setPlainText(text);
  else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
  else if (auto* c = qobject_cast<QComboBox*>(w)) c->setEditText(text);
}

bool CDialog::IsDlgButtonChecked(int id) const {
  auto* b = DlgItem<QAbstractButton>(id);
  return b && b->isChecked();
}

void CDialog::CheckDlgButton(int id, bool bChecked) {
  if (auto* b = DlgItem<QAbstractButton>(id)) b->setChecked(bChecked);
}

void CDialog::EnableDlgItem(int id, bool bEnable) {
  if (QWidget* w = GetDlgItem(id)) w->setEnabled(bEnable);
}

void CDialog::ShowDlgItem(int id, bool bShow) {
  if (QWidget* w = GetDlgItem(id)) w->setVisible(bShow);
}

QWidget* CDialog::ReplaceDlgItem(int id, QWidget* replacement) {
  QWidget* old = GetDlgItem(id);
  if (!old || !replacement) return replacement;
  replacement->setParent(this);
  replacement->setGeometry(old->geometry());
  replacement->setProperty("dlgId", id);
  replacement->setObjectName(old->objectName());
  replacement->setToolTip(old->toolTip());
  replacement->setEnabled(old->isEnabled());
  replacement->setVisible(!old->isHidden());
  replacement->stackUnder(old);
  m_mapIdToControl[id] = replacement;
  delete old;
  return replacement;
}

void CDialog::OrderTabsByReading() {
  std::vector<QWidget*> controls;
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if ((w->focusPolicy() & Qt::TabFocus) && !w->isWindow()) controls.push_back(w);
  const auto middle = [](const QWidget* w) { return w->geometry().center().y(); };
  std::stable_sort(controls.begin(), controls.end(),
                   [&](const QWidget* a, const QWidget* b) { return middle(a) < middle(b); });
  // A label's edit and its button stand a pixel or two apart in height.
  const int nRowSlack = m_units.Y(4);
  for (auto row = controls.begin(); row != controls.end();) {
    auto end = row;
    while (end != controls.end() && middle(*end) - middle(*row) <= nRowSlack) ++end;
    std::stable_sort(row, end, [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
    row = end;
  }
  for (std::size_t i = 1; i < controls.size(); ++i) QWidget::setTabOrder(controls[i - 1], controls[i]);
}

int CDialog::DoModal() {
  QEventLoop loop;
  const auto conn = connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  setResult(0);
  show();
  loop.exec(QEventLoop::DialogExec);
  disconnect(conn);
  return result();
}

namespace {
CDialog::WindowMoveHook& MoveHook() {
  static CDialog::WindowMoveHook hook;
  return hook;
}
}  // namespace

CDialog::WindowMoveHook CDialog::SetWindowMoveHook(WindowMoveHook hook) {
  WindowMoveHook old = std::move(MoveHook());
  MoveHook() = std::move(hook);
  return old;
}

bool CDialog::StartWindowMove() {
  if (MoveHook()) return MoveHook()(*this);
  return windowHandle() && windowHandle()->startSystemMove();
}

void CDialog::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
  // Nothing moves yet: a tap gives press and release at once, and a window
  // manager handed a move then would keep it until the next click.
  m_bPressed = true;
  m_bDragging = false;
  m_ptPressGlobal = e->globalPosition().toPoint();
  m_ptDragOffset = m_ptPressGlobal - pos();
  e->accept();
}

void CDialog::mouseMoveEvent(QMouseEvent* e) {
  if (!(e->buttons() & Qt::LeftButton)) m_bPressed = m_bDragging = false;
  if (m_bDragging) {
    move(e->globalPosition().toPoint() - m_ptDragOffset);
    e->accept();
    return;
  }
  if (m_bPressed &&
      (e->globalPosition().toPoint() - m_ptPressGlobal).manhattanLength() >= QApplication::startDragDistance()) {
    m_bPressed = false;
    // The window manager moves the window when it can; the offscreen and
    // some other platforms cannot, so the dialog follows the mouse itself.
    if (!StartWindowMove()) {
      m_bDragging = true;
      move(e->globalPosition().toPoint() - m_ptDragOffset);
    }
    e->accept();
    return;
  }
  QDialog::mouseMoveEvent(e);
}

void CDialog::mouseReleaseEvent(QMouseEvent* e) {
  m_bPressed = m_bDragging = false;
  QDialog::mouseReleaseEvent(e);
}

}  // namespace win
