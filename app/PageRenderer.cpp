#include "app/PageRenderer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "engine/RunSettings.h"
#include "ui/frame/CVintrelAboutDlg.h"
#include "ui/frame/PageFactory.h"
#include "ui/frame/Shutdown.h"
#include "ui/pages/CTarnwickDlg.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/review/ReviewDlg.h"
#include "ui/win/Shell.h"

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

void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* w, const QString& dir, const QString& name) {
  w->show();
  Settle(250);
  const QString path = QDir(dir).filePath(name);
  if (!w->grab().save(path, "PNG")) {
    std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
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

}  // namespace

int RenderPages(const QString& dir) {
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
  QObject::connect(&dismiss, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->done(QMessageBox::Ok);
  });
  dismiss.start(20);

  auto settings = std::make_unique<RunSettings>();
  FillSampleSettings(*settings);
  bool ok = true;
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
  frame::CVintrelAboutDlg about(&start);
  if (about.Create()) ok &= Save(&about, dir, QStringLiteral("100-about-box.png"));
  start.hide();
  return ok ? 0 : 1;
}
