// The shell services the pages use: opening a document or address with the
// desktop's handler (ShellExecute "open"), the open-file dialog in its two
// modes and the folder browser.
//
// Every service can be replaced by a hook, so that tests (and the page
// renderer) script the user's answers and see what would have been opened
// without starting a browser or showing a dialog. Hooks are process-wide;
// set and read them on the user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "ui/win/SourceFileDialog.h"

class QWidget;

namespace win {

// Opens url with the desktop's handler. Failures are not reported (nothing
// is shown when no browser or mail program exists).
void ShellOpen(const QString& url);

// The open-file dialog for one existing file: the full path chosen, or ""
// when cancelled. Every file is listed (the default filter); choice adds
// name filters after it and the folders taken as files
// (SourceFileDialog.h).
QString GetOpenFilePath(QWidget* owner, const QString& title = {}, const FileChoice& choice = {});
// The same with multiple selection: the chosen paths in the dialog's order,
// or an empty list when cancelled.
QStringList GetOpenFilePaths(QWidget* owner, const QString& title = {}, const FileChoice& choice = {});
// The folder browser: the chosen folder's path, or "" when cancelled. It
// starts at startFolder when one is given.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder = {});

struct ShellHooks {
  std::function<void(const QString& url)> open;
  std::function<QString(QWidget* owner)> openFile;
  std::function<QStringList(QWidget* owner)> openFiles;
  std::function<QString(QWidget* owner, const QString& title, const QString& startFolder)> browseFolder;
};
// Replaces the services whose hook is set; an empty hook restores the real
// service. Returns the hooks that were in place.
ShellHooks SetShellHooks(ShellHooks hooks);

}  // namespace win
