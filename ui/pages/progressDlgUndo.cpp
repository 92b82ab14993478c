// The summary and progress page's Undo: reversing the latest run's journal
// on the page's worker (see progressDlg.h).
#include <QPushButton>

#include "engine/journal/RecordKinds.h"
#include "engine/journal/RunJournal.h"
#include "platform/Text.h"
#include "ui/pages/progressDlg.h"
#include "ui/win/DialogBuilder.h"

namespace {

constexpr const char* kUndoQuestion =
    "Do you want to undo the last run? Every document it deleted, moved or copied is put back "
    "as it was.";

// The undo's rows go to the log list; its progress to the folder bar.
class PageUndoOutput : public journal::UndoOutput {
public:
  explicit PageUndoOutput(RunPage& page) : m_page(page) {}
  void AddRow(const std::u16string& text) override { m_page.AddLogRow(text); }
  void SetProgress(std::size_t nDone, std::size_t nTotal) override {
    if (nDone == 0) m_page.SetBarRange(RunPage::kFolderBar, 0, static_cast<int>(nTotal));
    // Every record would be one blocking call into the page: a few hundred
    // steps are plenty for a bar.
    if (nDone == 0 || nDone == nTotal || nDone % 64 == 0)
      m_page.SetBarPos(RunPage::kFolderBar, static_cast<int>(nDone));
  }

private:
  RunPage& m_page;  // the page (outlives the worker)
};

}  // namespace

QRect progressDlg::StripSlotDlu(int nSlot) {
  // Help ends at 60 and the hidden Cancel starts at 193: slots of 55 with a
  // gap of 5, from 185 leftwards (Preview's place in the template).
  return QRect(130 - 60 * nSlot, 307, 55, 18);
}

void progressDlg::CreateUndoButton() {
  win::ControlTemplate undo;
  undo.nId = kUndo;
  undo.kind = win::ControlKind::button;
  undo.strText = QStringLiteral("Undo");
  undo.strTooltip = QStringLiteral("Undo the last run");
  undo.rectDlu = StripSlotDlu(1);
  undo.flags = {QStringLiteral("hidden")};
  m_pUndo = qobject_cast<QPushButton*>(win::BuildControl(this, undo, Units()));
  connect(m_pUndo, &QPushButton::clicked, this, &progressDlg::OnUndo);
}

void progressDlg::ShowUndo(bool bShow) {
  if (m_pUndo) {
    m_pUndo->setVisible(bShow);
    m_pUndo->setEnabled(bShow);
  }
}

void progressDlg::OnUndo() {
  if (IsRunning() || m_strJournalPath.empty() || !Confirm(QString::fromLatin1(kUndoQuestion))) {
    return;
  }
  WaitForWorker();
  m_pJournal.reset();  // the run is over; undo reads the file on its own
  m_pUndo->setEnabled(false);
  EnableControl(RunPage::kBack, false);
  EnableControl(RunPage::kStartProcess, false);
  EnableControl(RunPage::kClose, false);
  ShowControl(RunPage::kFolderBar, true);
  ShowControl(RunPage::kDatabaseBar, true);
  SetBarRange(RunPage::kDatabaseBar, 0, 1);
  SetBarPos(RunPage::kDatabaseBar, 0);
  const std::string path = platform::ToUtf8(m_strJournalPath);
  m_bWorkerDone = false;
  m_worker = std::thread([this, path] {
    PageUndoOutput out(*this);
    const journal::UndoResult result = journal::UndoJournal(path, out);
    SetBarPos(RunPage::kDatabaseBar, 1);
    FinishUndo(result.nRestored, result.status == journal::UndoStatus::complete,
               platform::FromUtf8(result.strError));
    m_bWorkerDone = true;
  });
}

void progressDlg::FinishUndo(std::size_t nRestored, bool bComplete, const std::u16string& error) {
  std::u16string message = error.empty() ? journal::RestoredRow(nRestored) : error;
  if (error.empty() && !bComplete) {
    message += u". Some documents could not be restored; the log list names them.";
  }
  ShowMessage(message);
  EnableControl(RunPage::kBack, true);
  EnableControl(RunPage::kStartProcess, true);
  EnableControl(RunPage::kClose, true);
  ShowControl(RunPage::kFolderBar, false);
  ShowControl(RunPage::kDatabaseBar, false);
  // Done: a second undo would find everything in place. One that could not
  // finish may be tried again.
  SetUndoShown(!bComplete);
}
