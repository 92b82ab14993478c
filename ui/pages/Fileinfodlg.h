// The single-file information page (template 129): it loads the database
// chosen on the start page on a worker thread, shows its name, size, entry
// total and folder count, and fills the check-box tree with the database and
// its folders (nested folders as nested items), every box checked and
// folders with entries in bold. The user unchecks what is to be left alone;
// Next appends the checked items, in pre-order, to m_vecSelectedFolders and
// opens the scope and date filter page (130). Back empties
// m_vecSelectedFolders, ends the Notes session and returns to the start page.
//
// Any failure to open the database or to read its size shows "Database
// cannot be Opened" with a second line naming the path and the reason
// ("Cannot open PATH: the file does not exist"), and leaves the page usable,
// with empty fields and tree.
//
// A mail source (an mbox file or a maildir) is read into a temporary
// database first and shown as one: the source's path, its size in bytes,
// its messages and its folders (an mbox is one folder named by its file, a
// maildir is its own folder with its Maildir++ sub folders nested below).
// A source that cannot be read says why below the same message. The folder
// list goes to m_vecSourceFolders, so that the run can find the ticked
// folders again in its own read.
//
// Threads: the page, its fields and its tree belong to the user-interface
// thread. The worker does all the Notes work (its own session bracket, the
// open, the folder list) and hands every change of a control, the tree's
// items included, to the user-interface thread through blocking queued
// calls. While it runs, Back, Next and Close are disabled. The destructor
// waits for the worker, pumping events.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "notes/FolderRecord.h"
#include "ui/frame/WizardPage.h"

class CXHtmlTree;
struct FolderTreeItem;
namespace mailio {
class MailSourceProvider;
}

class Fileinfodlg : public frame::CWizardPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 129;
  static constexpr int kTreeId = 1004;
  static constexpr int kNameId = 1005;
  static constexpr int kSizeId = 1006;
  static constexpr int kTotalId = 1007;
  static constexpr int kFolderCountId = 1008;
  static constexpr int kProgressId = 1036;
  static constexpr int kStatusId = 1012;
  static constexpr int kBackId = 1009;
  static constexpr int kNextId = 1002;
  static constexpr int kCloseId = 1003;

  Fileinfodlg(RunSettings& settings, frame::CWizardPage* pCreator);
  ~Fileinfodlg() override;

  CXHtmlTree* Tree() const { return m_pTree; }
  bool IsLoading() const { return m_worker.joinable() && !m_bWorkerDone; }
  // Pumps events until the loading worker has ended.
  void WaitForLoad();

  // A loaded page with a sample mail database, without opening one.
  void FillSampleContents() override;
  // Screenshots of this page into dir: loaded, with a mixed box, and with the
  // tooltip of a cut-off folder name. The files are named
  // 129-single-file-information{,-mixed,-tooltip}.png. False when one
  // cannot be written (the reason on standard error).
  static bool RenderScreenshots(RunSettings& settings, frame::CWizardPage* pCreator, const QString& dir);

protected:
  bool OnInitDialog() override;
  void OnNext() override;
  void OnBack() override;
  void OnClose() override;

private:
  void LoadWorker();
  // Worker side: true when the database is open, its handle and size read.
  bool OpenDatabase();
  // Worker side: runs work on the user-interface thread and waits for it;
  // does nothing once the page is going away.
  void RunOnUi(const std::function<void()>& work);
  // User-interface side.
  void ShowFields(std::uint64_t nTotal, std::size_t nFolders);
  void FillTree(const std::vector<FolderTreeItem>& items);
  void SetupTree();

  CXHtmlTree* m_pTree = nullptr;        // non-owning: a child control of the page
  std::vector<FolderRecord> m_vecFolders;  // the worker's list; emptied once the tree is built
  // The worker's read of a mail source (owned, worker side): its temporary
  // database stands for the source while the page loads and goes with it.
  std::unique_ptr<mailio::MailSourceProvider> m_pSources;
  std::u16string m_strOpenFailure;  // why the database or mail source could not be opened
  std::thread m_worker;
  std::atomic<bool> m_bWorkerDone{false};
  std::atomic<bool> m_bClosing{false};
};
