#include "ui/win/SourceFileDialog.h"

#include <QFileInfo>
#include <QShowEvent>

namespace win {

SourceFileDialog::SourceFileDialog(QWidget* owner, const QString& title, const FileChoice& choice, bool bMany)
    : QFileDialog(owner, title), m_choice(choice) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptOpen);
  setFileMode(bMany ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  QStringList filters{QStringLiteral("All files (*)")};
  filters += choice.nameFilters;
  setNameFilters(filters);
}

void SourceFileDialog::showEvent(QShowEvent* e) {
  QFileDialog::showEvent(e);
  // Centred over the wizard page, the first time too: Qt places a dialog
  // before its first layout knows its size, which leaves it in a corner.
  if (QWidget* owner = parentWidget(); owner && !e->spontaneous()) {
    const QRect over = owner->window()->frameGeometry();
    move(over.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
  }
}

void SourceFileDialog::accept() {
  const QStringList chosen = selectedFiles();
  bool bFolder = false;
  bool bEveryOneTaken = !chosen.isEmpty() && m_choice.acceptsFolder;
  for (const QString& path : chosen) {
    const QFileInfo info(path);
    if (!info.isDir()) {
      bEveryOneTaken = bEveryOneTaken && info.exists();
      continue;
    }
    bFolder = true;
    bEveryOneTaken = bEveryOneTaken && m_choice.acceptsFolder(path);
  }
  if (bFolder && bEveryOneTaken) {
    m_chosen = chosen;
    QDialog::accept();  // the plain dialog would open the folder instead
    return;
  }
  QFileDialog::accept();
  if (result() == QDialog::Accepted) m_chosen = selectedFiles();
}

}  // namespace win
