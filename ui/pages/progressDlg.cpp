#include "ui/pages/progressDlg.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "engine/SummaryRows.h"
#include "engine/journal/RunJournal.h"
#include "mail/RunWithSources.h"
#include "platform/Text.h"
#include "ui/frame/Shutdown.h"
#include "ui/review/DuplicatePreview.h"
#include "ui/review/ReviewDlg.h"

namespace {

constexpr const char* kConfirmOriginal =
    "You Select option to change in Original File.Please keep backup of Original File.Do you "
    "want to Proceed ?";

bool LogFileExists(const std::u16string& path) {
  if (path.empty()) {
    return false;
  }
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(platform::ToUtf8(path)), ec);
}

}  // namespace

progressDlg::progressDlg(RunSettings& settings, frame::CWizardPage* pCreator)
    : frame::CWizardPage(kTemplateId, settings, pCreator) {}

progressDlg::~progressDlg() {
  if (IsRunning()) {
    m_settings.m_bRunning = 0;
  }
  m_bEnding = true;  // also keeps a finished preview from opening its window now
  WaitForWorker();
}

QTreeWidget* progressDlg::LogList() const { return DlgItem<QTreeWidget>(RunPage::kLogList); }

bool progressDlg::OnInitDialog() {
  QTreeWidget* list = LogList();
  list->setColumnCount(1);
  list->setHeaderLabels({QStringLiteral("Progress Log")});
  list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(0, 550);
  // A row cut off at the list's edge shows whole in its tooltip.
  list->viewport()->installEventFilter(this);
  for (const std::u16string& row : SummaryRows(m_settings)) {
    AddLogRow(row);
  }
  SetStatusLine(u"");
  // A review made on an earlier page for these same settings still binds
  // Start Process: say so where the page's state is read.
  m_pPreview = std::make_unique<DuplicatePreview>(m_settings, *this);
  ShowChoicesInForce();
  connect(DlgItem<QAbstractButton>(RunPage::kStartProcess), &QAbstractButton::clicked, this,
          &progressDlg::OnStartProcess);
  connect(DlgItem<QAbstractButton>(RunPage::kStop), &QAbstractButton::clicked, this,
          &progressDlg::OnStop);
  connect(DlgItem<QAbstractButton>(kPreview), &QAbstractButton::clicked, this,
          &progressDlg::OnPreview);
  CreateUndoButton();
  return true;
}

bool progressDlg::IsRunning() const { return m_worker.joinable() && !m_bWorkerDone; }

void progressDlg::OnStartProcess() {
  if (IsRunning()) {
    return;  // the button is disabled while a run works; a stray click does nothing
  }
  if (m_settings.m_bModifyOriginal == 1 && !Confirm(QString::fromLatin1(kConfirmOriginal))) {
    return;
  }
  WaitForWorker();  // the previous run's worker has finished; collect it
  ShowUndo(false);
  m_pJournal.reset();  // a run in the same second appends to that journal
  m_strJournalPath.clear();
  m_strLogPath = StartRun(m_settings, *this);
  RunOptions options;
  options.strLogPath = m_strLogPath;
  // After a Preview the run removes only what its review left ticked.
  options.pSpare = m_pPreview->Spare();
  bool bJournalThere = false;  // a run in the same second shares the journal
  if (journal::RunChangesOriginals(m_settings, false)) {
    bJournalThere = LogFileExists(journal::JournalPathForLog(m_strLogPath));
    m_pJournal = journal::StartRunJournal(m_settings, *this, m_strLogPath);
    if (!m_pJournal) {
      return;  // never a change without its journal: the run does not start
    }
    m_strJournalPath = m_pJournal->Path();
    options.pJournal = m_pJournal.get();
  }
  m_bWorkerDone = false;
  m_worker = std::thread([this, options, bJournalThere] {
    // Mail sources are read into databases and written back by the run.
    mailio::RunWorkerWithMailSources(m_settings, *this, options, m_pJournal.get());
    if (m_pJournal && m_pJournal->RecordCount() == 0 && !m_pJournal->Failed() && !bJournalThere) {
      // Nothing was journaled (no duplicate, or the database did not open):
      // no journal file is left behind to puzzle over.
      OnUiThread([this] {
        const std::u16string path = m_pJournal->Path();
        m_pJournal.reset();
        m_strJournalPath.clear();
        std::error_code ec;
        std::filesystem::remove(std::filesystem::path(platform::ToUtf8(path)), ec);
      });
    } else if (m_pJournal) {
      AddLogRow(u"Journal file path: " + m_pJournal->Path());
      SetUndoShown(m_pJournal->RecordCount() > 0);
    }
    m_bWorkerDone = true;
  });
}

void progressDlg::ShowChoicesInForce() {
  const QString text = m_pPreview->ChoicesInForce();
  if (!text.isEmpty()) {
    DlgItem<QPlainTextEdit>(RunPage::kStatusLine)->setPlainText(text);
  }
}

bool progressDlg::eventFilter(QObject* watched, QEvent* event) {
  QTreeWidget* list = LogList();
  if (event->type() == QEvent::ToolTip && list && watched == list->viewport()) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QTreeWidgetItem* item = list->itemAt(help->pos());
    const QString text = item ? item->text(0) : QString();
    const QRect shown = item ? list->visualItemRect(item) & list->viewport()->rect() : QRect();
    // The cell's text margins, and the column's or the list's edge.
    const int nMargins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    const int nRoom = std::min(list->columnWidth(0), list->viewport()->width() - shown.left()) - nMargins;
    if (item && list->fontMetrics().horizontalAdvance(text) > nRoom) {
      QToolTip::showText(help->globalPos(), text, list->viewport(), shown);
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return frame::CWizardPage::eventFilter(watched, event);
}

void progressDlg::SetUndoShown(bool bShow) {
  OnUiThread([this, bShow] { ShowUndo(bShow); });
}

void progressDlg::OnStop() { m_settings.m_bRunning = 0; }

void progressDlg::OnPreview() {
  if (IsRunning()) {
    return;
  }
  WaitForWorker();
  m_pPreview->Begin();
  m_bWorkerDone = false;
  m_worker = std::thread([this] {
    m_pPreview->RunOnWorker();
    m_bWorkerDone = true;
    QMetaObject::invokeMethod(this, [this] {
      if (m_bEnding) {
        return;
      }
      const QString failures = m_pPreview->Finish(this);
      if (ReviewDlg* review = m_pPreview->Window()) {
        connect(review, &QDialog::finished, this, &progressDlg::ShowChoicesInForce);
      }
      if (!failures.isEmpty()) {
        Notice(failures);
      }
    }, Qt::QueuedConnection);
  });
}

void progressDlg::WaitForWorker() {
  if (!m_worker.joinable()) {
    return;
  }
  // The worker may be blocked in a call that this thread must carry out:
  // keep handling events until it has returned, and only then join.
  while (!m_bWorkerDone) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!m_bWorkerDone) {
      QThread::msleep(2);
    }
  }
  m_worker.join();
}

void progressDlg::OnClose() {
  if (!Confirm(QString::fromLatin1(frame::kCloseQuestion))) {
    return;
  }
  if (LogFileExists(m_strLogPath)) {
    Notice(QStringLiteral("Log file path: ") + QString::fromStdU16String(m_strLogPath));
  }
  CommonShutdown();
}

void progressDlg::OnCancel() {
  if (!IsRunning()) {
    CWizardPage::OnCancel();
    return;
  }
  if (!Confirm(QString::fromLatin1(frame::kCloseQuestion))) {
    return;
  }
  // Never end the process while the worker writes to a database: stop the
  // run as Stop does and let it close the database first.
  m_bEnding = true;
  m_settings.m_bRunning = 0;
  EndAfterWorker();
}

void progressDlg::EndAfterWorker() {
  // Inside one of the worker's calls (the Cancel came while that call ran a
  // message box) the worker cannot finish until the call returns: try again
  // once it has.
  if (m_nWorkerCallDepth > 0) {
    QTimer::singleShot(10, this, &progressDlg::EndAfterWorker);
    return;
  }
  WaitForWorker();
  done(QDialog::Rejected);
  frame::TerminateProcess(frame::kExitStatusClosed);
}

template <class F>
void progressDlg::OnUiThread(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, &f] {
        ++m_nWorkerCallDepth;
        f();
        --m_nWorkerCallDepth;
      },
      Qt::BlockingQueuedConnection);
}

void progressDlg::AddLogRow(const std::u16string& text) {
  OnUiThread([this, &text] {
    // Appended at the end; the list is not scrolled to it.
    auto* item = new QTreeWidgetItem();
    item->setText(0, QString::fromStdU16String(text));
    LogList()->addTopLevelItem(item);
  });
}

std::vector<std::u16string> progressDlg::LogRows() const {
  std::vector<std::u16string> rows;
  const QTreeWidget* list = LogList();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    rows.push_back(list->topLevelItem(i)->text(0).toStdU16String());
  }
  return rows;
}

std::vector<std::u16string> progressDlg::GetLogRows() {
  std::vector<std::u16string> rows;
  OnUiThread([this, &rows] { rows = LogRows(); });
  return rows;
}

void progressDlg::SetBarRange(int bar, int nLower, int nUpper) {
  OnUiThread([this, bar, nLower, nUpper] {
    if (auto* progress = DlgItem<QProgressBar>(bar)) {
      progress->setRange(nLower, std::max(nLower, nUpper));
    }
  });
}

void progressDlg::SetBarPos(int bar, int nPos) {
  OnUiThread([this, bar, nPos] {
    // A position outside the range shows at its nearer end, as a native bar
    // does (Qt would ignore it).
    if (auto* progress = DlgItem<QProgressBar>(bar)) {
      progress->setValue(std::clamp(nPos, progress->minimum(), progress->maximum()));
    }
  });
}

void progressDlg::ShowControl(int id, bool bShow) {
  OnUiThread([this, id, bShow] { ShowDlgItem(id, bShow); });
}

void progressDlg::EnableControl(int id, bool bEnable) {
  OnUiThread([this, id, bEnable] {
    EnableDlgItem(id, bEnable);
    if (id == RunPage::kStartProcess) {
      EnableDlgItem(kPreview, bEnable);
    }
  });
}

QString progressDlg::StatusLine() const {
  return DlgItem<QPlainTextEdit>(RunPage::kStatusLine)->toPlainText();
}

void progressDlg::SetStatusLine(const std::u16string& text) {
  OnUiThread([this, &text] {
    DlgItem<QPlainTextEdit>(RunPage::kStatusLine)->setPlainText(QString::fromStdU16String(text));
  });
}

void progressDlg::ShowMessage(const std::u16string& text) {
  OnUiThread([this, &text] {
    // On the way out (Cancel during a run) nobody is left to read it.
    if (!m_bEnding) {
      Notice(QString::fromStdU16String(text));
    }
  });
}

void progressDlg::FillSampleContents() {
  // A finished new-file run below the summary, one database after the other,
  // as the user sees it (nothing is opened: the rows are written here).
  std::vector<std::u16string> sources = m_settings.m_vecFilePaths;
  if (m_settings.m_bMultipleFiles != 1) {
    sources = {m_settings.m_strSingleFilePath};
  }
  const std::u16string stamp = u"8-12-2025-9-5-7";
  int nFound = 1284;
  for (const std::u16string& source : sources) {
    const std::u16string name = source.substr(source.find_last_of(u'/') + 1);
    const std::u16string copy = m_settings.m_strNewNsfFolder + u"/" + name + stamp + u".nsf";
    const int nDuplicates = nFound / 11;
    for (const std::u16string& row : std::vector<std::u16string>{
             u"Creating Database " + copy, u"Opening Database " + copy, u"Processing Folders",
             u"Processing Folder :\t($Inbox)",
             u"Total Items Found: " + platform::DecimalText(nFound) + u" , Items Save: " +
                 platform::DecimalText(nFound - nDuplicates) + u" , Duplicate Items: " +
                 platform::DecimalText(nDuplicates) + u" , Items not save: 0"}) {
      AddLogRow(row);
    }
    nFound = nFound / 3 + 17;
  }
  SetStatusLine(u"Log file path: /home/anna/Desktop/Tarnwick_log_" + stamp + u".txt");
}
