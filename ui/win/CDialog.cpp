#include "ui/win/CDialog.h"

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

int CDialog::DoModal() {
  QEventLoop loop;
  const auto conn = connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  setResult(0);
  show();
  loop.exec(QEventLoop::DialogExec);
  disconnect(conn);
  return result();
}

void CDialog::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QDialog::mousePressEvent(e);
  // The window manager moves the window when it can; the offscreen and
  // some other platforms cannot, so the dialog follows the mouse itself.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  m_bDragging = true;
  m_ptDragOffset = e->globalPosition().toPoint() - pos();
  e->accept();
}

void CDialog::mouseMoveEvent(QMouseEvent* e) {
  if (m_bDragging && (e->buttons() & Qt::LeftButton)) {
    move(e->globalPosition().toPoint() - m_ptDragOffset);
    e->accept();
    return;
  }
  QDialog::mouseMoveEvent(e);
}

void CDialog::mouseReleaseEvent(QMouseEvent* e) {
  m_bDragging = false;
  QDialog::mouseReleaseEvent(e);
}

}  // namespace win
