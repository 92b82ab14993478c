// The multiple-file list page (template 131): the user assembles the list of
// databases to clean, with the open-file dialog (Add, several files at once,
// inserted at the top) or with a recursive search below a folder for files
// whose extension is "nsf" in any letter case (Search, on a worker thread,
// with a progress bar and Stop). Next appends the list to m_vecFilePaths and
// opens the scope and date filter page (130).
//
// Mail sources: Add also takes a maildir (a folder holding cur and new,
// chosen in the dialog like a file), and with "Search also finds mail files"
// ticked (1091, unticked at first) Search lists mbox files (first line
// "From ") and maildirs too, a maildir as one row with the bytes of its
// messages. A maildir's own folders are not searched: they belong to it.
//
// A file is listed only when it can be opened for reading and no other
// process holds it through the Notes layer (another program working on that
// database); such a file is left out without a message.
//
// While a search runs, Next, Back and Close are disabled and so are Add,
// Search, Remove and Remove All (one search at a time, and the list only
// changes through it); Stop, Help and Cancel stay available.
//
// Threads: the page and its list belong to the user-interface thread. The
// search worker touches no widget: it reads the stop flag and asks the page,
// through blocking queued calls, to add rows and move the progress bar. The
// page's destructor stops a running search and waits for it (pumping events).
#pragma once

#include <QPersistentModelIndex>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/frame/WizardPage.h"

class QThread;
class QTreeWidget;

namespace nsfsearch {

// The file's length when it can be opened for reading and no other process
// holds it through the Notes layer; nullopt otherwise (missing, unreadable,
// a directory, or held).
std::optional<std::uint64_t> OpenForReadingWithoutSharing(const std::string& path);

// True when the text after the last "." of name equals ext regardless of
// letter case. A name without "." has no extension.
bool HasExtension(std::string_view name, std::string_view ext);

struct SearchCallbacks {
  std::function<void(int nFolderCount)> onFolderEntered;  // after the counter went up
  std::function<void(const std::string& path, std::uint64_t nSize)> onFileFound;
};

// What a listed source shows as its size: a file's length when
// OpenForReadingWithoutSharing accepts it, else a maildir's message bytes;
// nullopt for anything else.
std::optional<std::uint64_t> SourceSize(const std::string& path);

// Walks folder to any depth, hidden entries included, in listing order:
// each sub-folder raises nFolderCount and is searched in turn; each file
// with extension ext that OpenForReadingWithoutSharing accepts is reported.
// With bMailSources, also every mbox file and every maildir (reported, not
// searched). Leaves every level's loop before its next entry once stop is
// 1. Folders that cannot be listed are passed over; symbolic links to
// folders are not followed (a link to a parent would otherwise never end).
void SearchFolder(const std::string& folder, std::string_view ext, const std::atomic<std::uint8_t>& stop,
                  std::atomic<int>& nFolderCount, const SearchCallbacks& callbacks, bool bMailSources = false);

}  // namespace nsfsearch

class MultipleFileDlg : public frame::CWizardPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 131;
  static constexpr int kMailSourcesCheck = 1091;
  MultipleFileDlg(RunSettings& settings, frame::CWizardPage* pCreator);
  ~MultipleFileDlg() override;

  bool IsSearching() const { return m_pWorker != nullptr && !m_bSearchDone; }
  void FillSampleContents() override;

protected:
  bool OnInitDialog() override;
  void OnNext() override;

private:
  void OnAdd();
  void OnSearch();
  void OnRemove();
  void OnRemoveAll();
  void OnStop();
  void SetSearching(bool bSearching);
  void InsertRow(int nIndex, const QString& path, std::uint64_t nSize);
  void StopWorker();
  QTreeWidget* List() const;

  std::atomic<std::uint8_t> m_bStop{0};   // 1 asks a running search to stop
  std::atomic<int> m_nFolderCount{0};     // folders entered by the current search
  std::atomic<bool> m_bSearchDone{true};
  std::unique_ptr<QThread> m_pWorker;     // owned: the last search's thread
  QPersistentModelIndex m_selectionMark;  // the row that last received the selection
};
