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

QString GetOpenFilePath(QWidget* owner, const QString& title) {
  if (Hooks().openFile) return Hooks().openFile(owner);
  return QFileDialog::getOpenFileName(owner, title, QString(), QString());
}

QStringList GetOpenFilePaths(QWidget* owner, const QString& title) {
  if (Hooks().openFiles) return Hooks().openFiles(owner);
  return QFileDialog::getOpenFileNames(owner, title, QString(), QString());
}

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder) {
  if (Hooks().browseFolder) return Hooks().browseFolder(owner, title, startFolder);
  return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace win
