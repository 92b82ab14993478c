#include "ui/win/MessageBox.h"

#include <QMessageBox>

namespace win {

namespace {
int RunBox(QWidget* owner, const QString& text, QMessageBox::Icon icon,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton deflt) {
  QMessageBox box(icon, QString::fromLatin1(kCaption), text, buttons, owner);
  box.setDefaultButton(deflt);
  // Modal for the whole program, owner or not: a page's worker may not
  // open another page behind the box.
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec();
}
}  // namespace

void MessageBoxNotice(QWidget* owner, const QString& text) {
  RunBox(owner, text, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxConfirm(QWidget* owner, const QString& text) {
  return RunBox(owner, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes) == QMessageBox::Yes;
}

}  // namespace win
