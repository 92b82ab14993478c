// A dialog built from a template, with its controls reached by id, as the
// pages' handlers expect: GetDlgItem(1013), CheckDlgButton(1013, true) ...
//
// Every CDialog (the wizard pages and the about box) also
//  - swallows Enter and Escape key presses aimed at it or any of its
//    controls, so Enter never presses a button and Escape never cancels;
//  - can be dragged by pressing anywhere on its own surface (background,
//    banner, static texts) and moving past the platform's drag distance
//    with the button held; a click without such a move moves nothing.
//    Controls that take the mouse keep it.
//
// Lifetime: a Qt object; the owner decides (pages own the next page through
// std::unique_ptr, see ui/frame/WizardPage.h). User-interface thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <functional>
#include <map>

#include "ui/win/DialogTemplate.h"
#include "ui/win/DialogUnits.h"

namespace win {

class CDialog : public QDialog {
  Q_OBJECT
public:
  explicit CDialog(int nTemplateId, QWidget* parent = nullptr);
  ~CDialog() override;

  int TemplateId() const { return m_nTemplateId; }

  // Builds the controls of the template and sizes the dialog. False when the
  // template does not exist (the dialog cannot be created); calling it again
  // after success does nothing and returns true.
  [[nodiscard]] bool CreateFromTemplate();
  bool IsCreated() const { return m_bCreated; }

  // The control with this id, or nullptr. When a template repeats an id the
  // first control wins.
  QWidget* GetDlgItem(int id) const;
  template <class T>
  T* DlgItem(int id) const {
    return qobject_cast<T*>(GetDlgItem(id));
  }
  // Text of a static, edit, button, group or combo box ("" for others).
  QString GetDlgItemText(int id) const;
  void SetDlgItemText(int id, const QString& text);
  bool IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, bool bChecked);
  void EnableDlgItem(int id, bool bEnable);
  void ShowDlgItem(int id, bool bShow);
  // Puts replacement where control id is (same geometry, id, visibility and
  // enabled state), deletes the old control and returns replacement. For a
  // control class of a page's own (the check-box tree).
  QWidget* ReplaceDlgItem(int id, QWidget* replacement);

  const DialogUnits& Units() const { return m_units; }

  // Sets the Tab order of the dialog's controls (its direct children that
  // take focus by Tab) to the reading order: rows from top to bottom, a row
  // being the controls whose middles lie within a few pixels of each other,
  // each row from left to right. Pages call it once their controls are all
  // there; the frame does it after OnInitDialog.
  void OrderTabsByReading();

  // Shows the dialog and runs a local event loop until done() is called;
  // returns the result. Unlike exec(), hiding the dialog does not end it, so
  // the start page can hide while later pages are in front.
  int DoModal();

  // What starts a window move once a drag is decided: by default the
  // window manager's move (QWindow::startSystemMove), true when it took
  // it over. Tests install a hook that records the request; an empty
  // function restores the default. Returns the previous hook.
  using WindowMoveHook = std::function<bool(CDialog&)>;
  static WindowMoveHook SetWindowMoveHook(WindowMoveHook hook);

protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

private:
  int m_nTemplateId;
  bool m_bCreated = false;
  DialogUnits m_units;
  std::map<int, QWidget*> m_mapIdToControl;  // children of this dialog (Qt owns them)
  bool StartWindowMove();

  bool m_bPressed = false;    // the left button went down on the surface
  bool m_bDragging = false;   // the dialog follows the mouse itself
  QPoint m_ptPressGlobal;     // where the press was, screen coordinates
  QPoint m_ptDragOffset;
};

// True for Enter, Return and Escape presses, which the dialogs ignore.
bool IsSwallowedKey(int key);

}  // namespace win
