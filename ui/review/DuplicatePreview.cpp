#include "ui/review/DuplicatePreview.h"

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "mail/RunWithSources.h"
#include "ui/review/ReviewDlg.h"

DuplicatePreview::DuplicatePreview(RunSettings& settings, RunPage& page)
    : m_settings(settings), m_quiet(page) {}

DuplicatePreview::~DuplicatePreview() {
  if (m_pWindow) delete m_pWindow.data();  // it edits m_pReview
}

void DuplicatePreview::Begin() {
  m_quiet.m_vecRows.clear();
  m_pCollector = std::make_unique<report::ReportCollector>();
  m_settings.m_bRunning = 1;
  for (int id : {RunPage::kStop, RunPage::kFolderBar, RunPage::kDatabaseBar}) m_quiet.ShowControl(id, true);
  for (int id : {RunPage::kBack, RunPage::kStartProcess, RunPage::kClose}) m_quiet.EnableControl(id, false);
  if (m_settings.m_session.IsInitialized()) m_settings.m_session.Term(0);
  m_settings.m_session.Initialize();
}

void DuplicatePreview::RunOnWorker() {
  RunOptions options;
  options.bDryRun = true;
  options.pReport = m_pCollector.get();
  options.pLogFile = &m_noLogFile;
  mailio::RunWorkerWithMailSources(m_settings, m_quiet, options, nullptr);
}

QString DuplicatePreview::Finish(QWidget* parent) {
  std::unique_ptr<report::ReportCollector> collector = std::move(m_pCollector);
  if (!collector || m_settings.m_bRunning.load() == 0) return {};
  QString failures;
  for (const std::u16string& row : m_quiet.m_vecRows)
    if (row.rfind(u"Database Cannot be Open: ", 0) == 0 || row.rfind(u"Database not created: ", 0) == 0 ||
        row.rfind(u"Source not read: ", 0) == 0)
      failures += (failures.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdU16String(row);
  if (collector->Result().databases.empty()) return failures;
  if (m_pWindow) delete m_pWindow.data();
  m_pSpare.reset();
  m_pReview = std::make_unique<report::Review>(collector->Take());
  m_pWindow = new ReviewDlg(*m_pReview, parent);
  m_pWindow->open();
  return failures;
}

ReviewDlg* DuplicatePreview::Window() const { return m_pWindow.data(); }

const SparePredicate* DuplicatePreview::Spare() {
  if (!m_pReview) return nullptr;
  m_pSpare = std::make_unique<report::SpareSet>(*m_pReview);
  return m_pSpare.get();
}
