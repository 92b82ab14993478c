#include "app/PageRenderer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "engine/RunSettings.h"
#include "ui/frame/CVintrelAboutDlg.h"
#include "ui/frame/PageFactory.h"
#include "ui/frame/Shutdown.h"
#include "ui/pages/CTarnwickDlg.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/progressDlg.h"
#include "ui/review/DuplicatePreview.h"
#include "ui/review/ReviewDlg.h"
#include "ui/review/ReviewModel.h"
#include "ui/win/Shell.h"
#include "ui/win/Screenshot.h"

namespace {

// The choices a user might have made by the summary page.
void FillSampleSettings(RunSettings& s) {
  s.m_strSingleFilePath = u"/home/anna/Mail/anna.nsf";
  s.m_bMultipleFiles = 1;
  s.m_vecFilePaths = {u"/home/anna/Mail/anna.nsf", u"/home/anna/Mail/Archive/archive-2019.NSF",
                      u"/home/anna/Mail/Archive/projects.nsf"};
  s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = s.m_bMailDateTime = 1;
  s.m_bMailBody = s.m_bMailAttachments = 1;
  s.m_bContactFirstName = s.m_bContactLastName = s.m_bContactMiddleName = 1;
  s.m_bContactFullName = s.m_bContactEmail = s.m_bContactPhone = s.m_bContactCompany = 1;
  s.m_strNewNsfFolder = u"/home/anna/Mail/Cleaned";
}


struct PageName {
  int nTemplateId;
  const char* file;
};
constexpr PageName kPages[] = {
    {131, "131-multiple-file-list.png"},       {129, "129-single-file-information.png"},
    {130, "130-scope-and-date-filter.png"},    {133, "133-criteria-and-action.png"},
    {134, "134-summary-and-progress.png"},
};

// The message box the dismissing timer saves before it closes it.
QString g_strBoxShot;  // user-interface thread

bool SaveShown(QWidget* w, const QString& dir, const QString& name) {
  return win::SaveScreenshot(w->grab(), dir, name);
}

bool Save(QWidget* w, const QString& dir, const QString& name) {
  w->show();
  win::SettleEvents(250);
  return SaveShown(w, dir, name);
}

// The summary page in the middle of a run: Stop and both bars shown, the
// buttons that wait for the run disabled.
bool SaveRunningSummary(RunSettings& settings, frame::CWizardPage* creator, const QString& dir) {
  std::unique_ptr<frame::CWizardPage> page = frame::CreatePageObject(134, settings, creator);
  auto* summary = dynamic_cast<progressDlg*>(page.get());
  if (!summary || !summary->Create()) return true;  // not built
  for (const char16_t* row : {u"Creating Database /home/anna/Mail/Cleaned/anna.nsf8-12-2025-9-5-7.nsf",
                              u"Opening Database /home/anna/Mail/Cleaned/anna.nsf8-12-2025-9-5-7.nsf",
                              u"Processing Folders", u"Processing Folder :\t($Inbox)"})
    summary->AddLogRow(row);
  summary->SetStatusLine(u"");
  for (int id : {RunPage::kStop, RunPage::kFolderBar, RunPage::kDatabaseBar}) summary->ShowControl(id, true);
  for (int id : {RunPage::kBack, RunPage::kStartProcess, RunPage::kClose}) summary->EnableControl(id, false);
  summary->SetBarRange(RunPage::kFolderBar, 0, 9);
  summary->SetBarPos(RunPage::kFolderBar, 3);
  summary->SetBarRange(RunPage::kDatabaseBar, 0, 3);
  summary->SetBarPos(RunPage::kDatabaseBar, 1);
  const bool ok = Save(summary, dir, QStringLiteral("134-summary-during-run.png"));
  summary->hide();
  return ok;
}

// A real Preview of an mbox made for the picture, in a folder of its own:
// the review window with a duplicate beside its kept message.
bool SaveMboxReview(frame::CWizardPage* creator, const QString& dir) {
  QTemporaryDir folder;
  const QString mbox = folder.filePath(QStringLiteral("archive.mbox"));
  QFile file(mbox);
  if (!folder.isValid() || !file.open(QIODevice::WriteOnly)) return false;
  const auto message = [](const char* subject, const char* date, const char* body) {
    return QStringLiteral("From ada@example.org Mon Jan  4 10:00:00 2021\nFrom: Ada Example <ada@example.org>\n"
                          "To: anna@example.org, team@example.org\nSubject: %1\nDate: %2\n\n%3\n\n")
        .arg(QString::fromUtf8(subject), QString::fromUtf8(date), QString::fromUtf8(body));
  };
  const char* report = "Please find the quarterly figures below. Sales rose in every region but the north.";
  file.write((message("Quarterly report", "Fri, 5 Mar 2010 14:07:09 +0100", report) +
              message("Lunch on Friday?", "Thu, 2 May 2019 12:10:38 +0200", "At noon, as always?") +
              message("Quarterly report", "Fri, 5 Mar 2010 14:07:09 +0100", report) +
              message("Quarterly report", "Fri, 5 Mar 2010 14:07:09 +0100",
                      "Please find the quarterly figures below. (Draft)"))
                 .toUtf8());
  file.close();
  RunSettings settings;
  settings.m_bMultipleFiles = 1;
  settings.m_vecFilePaths = {mbox.toStdU16String()};
  settings.m_bMailSubject = settings.m_bMailSender = settings.m_bMailReceiver = settings.m_bMailDateTime = 1;
  settings.m_strNewNsfFolder = folder.path().toStdU16String();
  std::unique_ptr<frame::CWizardPage> page = frame::CreatePageObject(134, settings, creator);
  auto* summary = dynamic_cast<progressDlg*>(page.get());
  if (!summary || !summary->Create()) return true;
  summary->show();
  summary->DlgItem<QAbstractButton>(progressDlg::kPreview)->click();
  QElapsedTimer t;
  t.start();
  while ((summary->IsRunning() || !summary->Preview()->Window()) && t.elapsed() < 20000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ReviewDlg* review = summary->Preview()->Window();
  if (!review) {
    std::fprintf(stderr, "The preview of %s opened no review\n", qPrintable(mbox));
    return false;
  }
  review->resize(1100, 700);
  review->Rows()->setCurrentIndex(review->Model()->index(2, ReviewModel::kSubject));
  if (QTreeWidget* comparison = review->Comparison(); comparison->topLevelItemCount() > 4)
    comparison->setCurrentItem(comparison->topLevelItem(4));  // the bodies, whole beside it
  const bool ok = Save(review, dir, QStringLiteral("134-review-window-mbox.png"));
  review->accept();
  summary->hide();
  return ok;
}

// The single-file page on a database that is not there: its message box.
void ShowOpenFailure(RunSettings& settings, frame::CWizardPage* creator) {
  settings.m_strSingleFilePath = u"/home/anna/Mail/archive-2019.nsf";
  g_strBoxShot = QStringLiteral("129-database-cannot-be-opened.png");
  std::unique_ptr<frame::CWizardPage> page = frame::CreatePageObject(129, settings, creator);
  auto* info = dynamic_cast<Fileinfodlg*>(page.get());
  if (!info || !info->Create()) return;
  info->show();
  info->WaitForLoad();
  win::SettleEvents(100);
  info->hide();
  if (!g_strBoxShot.isEmpty()) std::fprintf(stderr, "No box for %s\n", qPrintable(g_strBoxShot));
}

}  // namespace

int RenderPages(const QString& dir) {
  bool ok = true;
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "Cannot create the folder %s\n", qPrintable(dir));
    return 1;
  }
  // Nothing leaves the process: no browser, no file dialog, no exit.
  win::ShellHooks hooks;
  hooks.open = [](const QString&) {};
  hooks.openFile = [](QWidget*) { return QString(); };
  hooks.openFiles = [](QWidget*) { return QStringList(); };
  hooks.browseFolder = [](QWidget*, const QString&, const QString&) { return QString(); };
  win::SetShellHooks(hooks);
  frame::SetTerminateHook([](int) {});
  QTimer dismiss;
  QObject::connect(&dismiss, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (!g_strBoxShot.isEmpty()) {
      ok &= SaveShown(box, dir, g_strBoxShot);
      g_strBoxShot.clear();
    }
    box->done(QMessageBox::Ok);
  });
  dismiss.start(20);

  auto settings = std::make_unique<RunSettings>();
  FillSampleSettings(*settings);
  CTarnwickDlg start(*settings);
  if (!start.Create()) {
    std::fprintf(stderr, "The start page cannot be created\n");
    return 1;
  }
  start.SetDlgItemText(1000, QString::fromStdU16String(settings->m_strSingleFilePath));
  ok &= Save(&start, dir, QStringLiteral("102-start-page.png"));
  for (const PageName& p : kPages) {
    std::unique_ptr<frame::CWizardPage> page = frame::CreatePageObject(p.nTemplateId, *settings, &start);
    if (!page) continue;  // not built yet
    if (!page->Create()) {
      std::fprintf(stderr, "Page %d cannot be created\n", p.nTemplateId);
      ok = false;
      continue;
    }
    page->FillSampleContents();
    ok &= Save(page.get(), dir, QString::fromLatin1(p.file));
    page->hide();
  }
  // The information page's tree once more: partly checked, and a cut-off
  // name with its tooltip.
  ok &= Fileinfodlg::RenderScreenshots(*settings, &start, dir);
  // The summary page's Preview opens the review window.
  ok &= ReviewDlg::RenderScreenshots(&start, dir);
  ok &= SaveRunningSummary(*settings, &start, dir);
  ok &= SaveMboxReview(&start, dir);
  {
    RunSettings failing;
    ShowOpenFailure(failing, &start);
  }
  frame::CVintrelAboutDlg about(&start);
  if (about.Create()) ok &= Save(&about, dir, QStringLiteral("100-about-box.png"));
  start.hide();
  return ok ? 0 : 1;
}
