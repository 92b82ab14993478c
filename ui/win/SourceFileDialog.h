// The open-file dialog of the pages that pick sources: every file listed
// first (the default filter), then further name filters, and folders that
// stand for a source (a maildir) chosen as a file is: select the folder and
// press Open. A double click still opens any folder to look inside it.
//
// It is always Qt's own dialog: a desktop's native dialog cannot be taught
// to take a folder in a file dialog. User-interface thread only.
#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>
#include <functional>

namespace win {

// What a source dialog offers beyond every file.
struct FileChoice {
  QStringList nameFilters;                                  // after "All files (*)"
  std::function<bool(const QString& folder)> acceptsFolder;  // folders taken as files
};

class SourceFileDialog : public QFileDialog {
public:
  // bMany: several files (and folders) at once.
  SourceFileDialog(QWidget* owner, const QString& title, const FileChoice& choice, bool bMany);

  // The chosen paths once the dialog was accepted.
  QStringList Chosen() const { return m_chosen; }

  // Takes the selection when every chosen path is a file or an accepted
  // folder; otherwise as the plain dialog does (a folder is opened).
  void accept() override;

protected:
  void showEvent(QShowEvent* e) override;

private:
  FileChoice m_choice;
  QStringList m_chosen;
};

}  // namespace win
