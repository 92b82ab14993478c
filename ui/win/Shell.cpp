#include "ui/win/Shell.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace win {

namespace {
ShellHooks& Hooks() {
  static ShellHooks hooks;
  return hooks;
}
}  // namespace

ShellHooks SetShellHooks(ShellHooks hooks) {
  ShellHooks old = Hooks();
  Hooks() = std::move(hooks);
  return old;
}

void ShellOpen(const QString& url) {
  if (Hooks().open) return Hooks().open(url);
  QDesktopServices::openUrl(QUrl::fromUserInput(url));
}

QString GetOpenFilePath(QWidget* owner, const QString& title, const FileChoice& choice) {
  if (Hooks().openFile) return Hooks().openFile(owner);
  SourceFileDialog dialog(owner, title, choice, false);
  return dialog.exec() == QDialog::Accepted ? dialog.Chosen().value(0) : QString();
}

QStringList GetOpenFilePaths(QWidget* owner, const QString& title, const FileChoice& choice) {
  if (Hooks().openFiles) return Hooks().openFiles(owner);
  SourceFileDialog dialog(owner, title, choice, true);
  return dialog.exec() == QDialog::Accepted ? dialog.Chosen() : QStringList();
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder) {
  if (Hooks().browseFolder) return Hooks().browseFolder(owner, title, startFolder);
  return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace win
