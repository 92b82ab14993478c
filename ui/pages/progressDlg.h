// The summary and progress page (template 134), the last page of the
// wizard. It lists a summary of every choice in its log list; Start Process
// runs the engine on a worker thread, which adds its rows below the summary,
// moves the two progress bars and ends with the completion message; Stop
// asks the run to end after the current folder pass. A second Start Process
// on the same page appends its rows below the first run's, and its log file
// starts with a copy of all of them.
//
// The page is the run's RunPage: the worker's calls are carried out on the
// user-interface thread through blocking queued calls, so each has taken
// effect when it returns; calls made on the user-interface thread itself
// (StartRun) are carried out directly.
//
// Ending while a run works: Cancel (the window manager's close) confirmed
// during a run first stops the run and waits, pumping events so that the
// worker's calls still get through, until the worker has closed its database
// and finished; only then does the process end. The completion message is
// not shown on that way out. The destructor waits the same way.
//
// Undo: after a run that changed originals (its journal holds at least one
// disposal) the page shows Undo in the free strip left of Back. Undo asks
// Yes/No, then reverses that run's journal on the page's worker, with the
// bars showing the records done, adds the undo's rows to the log list and
// reports the count restored in a message box; Back, Start Process and
// Close are disabled meanwhile, as during a run. The log list shows the
// journal's path ("Journal file path: ") after each run that wrote one; a
// run that journaled nothing leaves no journal file.
//
// Threads: the page lives on the user-interface thread; the worker touches
// nothing of it except through the RunPage calls.
#pragma once

#include <QRect>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/RunPage.h"
#include "ui/frame/WizardPage.h"

class QTreeWidget;
class DuplicatePreview;
class QPushButton;
namespace journal {
class RunJournal;
}

class progressDlg : public frame::CWizardPage, public RunPage {
  Q_OBJECT
public:
  static constexpr int kTemplateId = 134;
  // Preview: the run's judgement without a change, then the review window
  // (ui/review/DuplicatePreview.h). It is enabled whenever Start Process is.
  static constexpr int kPreview = 1090;
  // The page's own buttons beyond its template sit in the free strip left
  // of Back, right to left: slot 0 holds Preview, slot 1 Undo. Each is 55 by
  // 18 dialog units on Back's line, clear of the hidden Cancel and of Help.
  static constexpr int kUndo = 1101;
  static QRect StripSlotDlu(int nSlot);

  progressDlg(RunSettings& settings, frame::CWizardPage* pCreator);
  ~progressDlg() override;

  // The log file of the latest run; empty before the first Start Process.
  const std::u16string& LogPath() const { return m_strLogPath; }
  // The journal of the latest run that changed originals; empty otherwise.
  const std::u16string& JournalPath() const { return m_strJournalPath; }
  // True from Start Process (or Undo) until the worker has finished.
  bool IsRunning() const;
  // Every row of the log list, first to last (user-interface thread).
  std::vector<std::u16string> LogRows() const;
  QString StatusLine() const;

  void FillSampleContents() override;
  // The page's Preview (made with the page; a review of an earlier page for
  // the same settings is its latest until a new one completes).
  DuplicatePreview* Preview() const { return m_pPreview.get(); }

  // RunPage, for the run's worker (and StartRun on this thread).
  void AddLogRow(const std::u16string& text) override;
  std::vector<std::u16string> GetLogRows() override;
  void SetBarRange(int bar, int nLower, int nUpper) override;
  void SetBarPos(int bar, int nPos) override;
  void ShowControl(int id, bool bShow) override;
  void EnableControl(int id, bool bEnable) override;
  void SetStatusLine(const std::u16string& text) override;
  void ShowMessage(const std::u16string& text) override;

protected:
  bool OnInitDialog() override;
  // The log list's tooltip: a row wider than the list, whole.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnClose() override;
  void OnCancel() override;

private:
  void OnStartProcess();
  void OnStop();
  void OnPreview();
  // While a review binds Start Process the status line says so.
  void ShowChoicesInForce();
  void CreateUndoButton();
  void ShowUndo(bool bShow);      // user-interface thread
  void SetUndoShown(bool bShow);  // either thread
  void OnUndo();
  // The worker's end of an undo: rows, message and the page given back.
  void FinishUndo(std::size_t nRestored, bool bComplete, const std::u16string& error);
  // Pumps events until the worker has returned, then joins it. Safe to call
  // with no worker.
  void WaitForWorker();
  // The end of a Cancel confirmed during a run: once the worker has
  // finished, end the page and the process.
  void EndAfterWorker();
  template <class F>
  void OnUiThread(F&& f);
  QTreeWidget* LogList() const;

  std::u16string m_strLogPath;            // the log file of the latest run
  std::u16string m_strJournalPath;        // the journal of the latest run, if it wrote one
  std::unique_ptr<journal::RunJournal> m_pJournal;  // owned; the running or latest run's journal
  QPushButton* m_pUndo = nullptr;         // child of the page (Qt owns it)
  std::thread m_worker;                   // the run's worker, joined by WaitForWorker
  std::atomic<bool> m_bWorkerDone{true};  // set by the worker as its last act
  bool m_bEnding = false;                 // Cancel or destruction is waiting for the worker
  int m_nWorkerCallDepth = 0;             // worker calls being carried out on this thread now
  std::unique_ptr<DuplicatePreview> m_pPreview;  // made with the page
};
