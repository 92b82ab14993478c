#include "ui/review/DuplicatePreview.h"

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "engine/report/DocumentFields.h"
#include "mail/MailSourceRun.h"
#include "mail/RunWithSources.h"
#include "platform/Text.h"
#include "ui/review/ReviewDlg.h"

namespace {

// The review a page leaves behind when it goes (Back), for the next page
// made for the same run settings. One wizard runs in a process.
struct LeftReview {
  const RunSettings* pSettings = nullptr;
  DuplicatePreview::Judgement judged;
  std::unique_ptr<report::Review> pReview;
};

LeftReview& Left() {
  static LeftReview left;
  return left;
}

}  // namespace

DuplicatePreview::DuplicatePreview(RunSettings& settings, RunPage& page)
    : m_settings(settings), m_quiet(page) {}

DuplicatePreview::~DuplicatePreview() {
  if (m_pWindow) delete m_pWindow.data();  // it edits m_pReview
  if (m_pReview) {
    LeftReview& left = Left();
    left.pSettings = &m_settings;
    left.judged = m_judged;
    left.pReview = std::move(m_pReview);
  }
}

DuplicatePreview::Judgement DuplicatePreview::JudgementOf(const RunSettings& s) {
  Judgement j;
  j.vecSources = s.m_bMultipleFiles == 1 ? s.m_vecFilePaths : std::vector<std::u16string>{s.m_strSingleFilePath};
  if (s.m_bMultipleFiles != 1)
    for (const FolderRecord& f : s.m_vecSelectedFolders) j.vecFolders.emplace_back(f.strName, f.dwNoteId);
  j.vecScope = {s.m_bSameFolderScope, s.m_bExcludeAllFolder, s.m_bDateFilter, s.m_bTimeFormatHM};
  if (s.m_bDateFilter == 1)
    for (const DateRange& r : s.m_vecDateRanges)
      for (const DateTimeValue& d : {r.dtStart, r.dtEnd})
        j.vecRanges.push_back(d.IsValid() ? d.GetOleDate() : -1e9 - static_cast<int>(d.GetStatus()));
  j.vecMail = {s.m_bMailCriteria, s.m_bMailSubject, s.m_bMailSender, s.m_bMailReceiver,
               s.m_bMailDateTime, s.m_bMailBody,    s.m_bMailAttachments};
  j.vecContact = {s.m_bContactCriteria,  s.m_bContactFullName, s.m_bContactFirstName, s.m_bContactMiddleName,
                  s.m_bContactLastName,  s.m_bContactEmail,    s.m_bContactPhone,     s.m_bContactCompany};
  return j;
}

QString DuplicatePreview::WhyReset(const Judgement& before, const Judgement& now) {
  QStringList why;
  if (before.vecSources != now.vecSources) why << QStringLiteral("the databases chosen");
  if (before.vecFolders != now.vecFolders) why << QStringLiteral("the folders ticked");
  if (before.vecScope != now.vecScope || before.vecRanges != now.vecRanges)
    why << QStringLiteral("the search scope or date filter");
  if (before.vecMail != now.vecMail || before.vecContact != now.vecContact)
    why << QStringLiteral("the criteria");
  if (why.isEmpty()) return {};
  return why.join(QStringLiteral(", ")) + QStringLiteral(" changed");
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

report::Review* DuplicatePreview::EarlierReview() {
  if (!m_pReview && Left().pSettings == &m_settings && Left().pReview) {
    m_pReview = std::move(Left().pReview);
    m_judged = Left().judged;
    Left() = LeftReview{};
  }
  return m_pReview.get();
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
  m_pSources.reset();  // the sources are read again for this review's comparisons
  auto review = std::make_unique<report::Review>(collector->Take());
  const Judgement now = JudgementOf(m_settings);
  QString notice;
  if (const report::Review* earlier = EarlierReview()) {
    const QString why = WhyReset(m_judged, now);
    if (!why.isEmpty()) {
      if (earlier->SparedCount() > 0)
        notice = QStringLiteral("The choices of the earlier review were reset, every duplicate is ticked again: %1 "
                                "since it was made.")
                     .arg(why);
    } else if (const std::size_t n = review->CarryChoices(*earlier); n > 0) {
      notice = n == 1 ? QStringLiteral("The duplicate you unticked in the earlier review stays unticked.")
                      : QStringLiteral("The %1 duplicates you unticked in the earlier review stay unticked.").arg(n);
    }
  }
  m_pReview = std::move(review);
  m_judged = now;
  m_pWindow = new ReviewDlg(*m_pReview, parent,
                            [this](const report::Review& r, const report::Review::Row& row, std::u16string* error) {
                              return CompareInSource(r, row, error);
                            });
  m_pWindow->SetNotice(notice);
  m_pWindow->open();
  return failures;
}

std::vector<report::FieldPair> DuplicatePreview::CompareInSource(const report::Review& review,
                                                                 const report::Review::Row& row,
                                                                 std::u16string* strError) {
  const report::Group& g = review.GroupAt(row.nGroup);
  const std::u16string& source = review.DatabaseOf(row.nGroup).strPath;
  const NOTEID duplicateId = review.MemberOf(row).id;
  if (!mailio::IsMailSource(platform::ToUtf8(source)))
    return report::CompareDocuments(source, g.kind, g.nCompared, g.kept.id, duplicateId, strError);
  // Read as the run read it (so the note ids are the judged ones), but with
  // the bodies, which the comparison shows whole.
  if (!m_pSources) {
    mailio::MailSourceSettings read = mailio::MailSourceSettingsForRun(m_settings, true);
    read.bReadBody = true;
    m_pSources = std::make_unique<mailio::MailSourceProvider>(read);
  }
  std::u16string failure;
  const std::u16string work = m_pSources->Prepare(source, &failure);
  if (work.empty()) {
    if (strError) *strError = failure;
    return {};
  }
  std::vector<report::FieldPair> pairs =
      report::CompareDocuments(work, g.kind, g.nCompared, g.kept.id, duplicateId, strError);
  // The source changed since the preview when the kept item reads otherwise
  // (the body and attachments were maybe not read for the judgement).
  for (std::size_t i = 0; i < pairs.size() && i < g.fields.Count(); ++i) {
    if (pairs[i].strName == u"Body" || pairs[i].strName == u"Attachments" || pairs[i].strKept == g.fields.At(i))
      continue;
    if (strError) *strError = source + u" changed since the preview: press Preview again";
    return {};
  }
  if (strError && pairs.empty() && strError->find(work) != std::u16string::npos)
    *strError = u"Document " + platform::DecimalText(duplicateId) + u" is no longer in " + source;
  return pairs;
}

ReviewDlg* DuplicatePreview::Window() const { return m_pWindow.data(); }

const SparePredicate* DuplicatePreview::Spare() {
  report::Review* review = EarlierReview();
  if (!review || WhyReset(m_judged, JudgementOf(m_settings)) != QString()) return nullptr;
  m_pSpare = std::make_unique<report::SpareSet>(*review);
  return m_pSpare.get();
}

QString DuplicatePreview::ChoicesInForce() {
  report::Review* review = EarlierReview();
  if (!review || !WhyReset(m_judged, JudgementOf(m_settings)).isEmpty()) return {};
  return QStringLiteral("The review's choices are in force: Start Process removes only the %1 of %2 duplicates "
                        "left ticked.")
      .arg(review->TickedCount())
      .arg(review->DuplicateCount());
}
