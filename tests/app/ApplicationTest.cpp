// The application object and the tarnwick program: run settings at their
// defaults, one instance at a time (two real processes), and the page
// renderer.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/CTarnwickApp.h"
#include "ui/pages/CTarnwickDlg.h"
#include "platform/InstanceLock.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"

namespace fs = std::filesystem;

namespace {

TEST(CTarnwickApp, RunSettingsStartAtTheirDefaults) {
  CTarnwickApp app;
  const RunSettings& s = app.m_settings;
  EXPECT_EQ(s.m_bSameFolderScope, 1);
  EXPECT_EQ(s.m_bExcludeAllFolder, 1);
  EXPECT_EQ(s.m_bMailCriteria, 1);
  EXPECT_EQ(s.m_bContactCriteria, 1);
  for (std::uint8_t b : {s.m_bMailSubject, s.m_bMailSender, s.m_bMailReceiver, s.m_bMailDateTime, s.m_bMailBody,
                         s.m_bMailAttachments, s.m_bContactFirstName, s.m_bContactLastName,
                         s.m_bContactMiddleName, s.m_bContactFullName, s.m_bContactEmail, s.m_bContactPhone,
                         s.m_bContactCompany})
    EXPECT_EQ(b, 0);
  EXPECT_EQ(s.m_bDateFilter, 0);
  EXPECT_EQ(s.m_nAction, 0);
  EXPECT_EQ(s.m_bModifyOriginal, 0);
  EXPECT_EQ(s.m_bMultipleFiles, 0);
  EXPECT_EQ(s.m_bRunning.load(), 1);
  EXPECT_TRUE(s.m_strSingleFilePath.empty());
  EXPECT_TRUE(s.m_vecFilePaths.empty());
  EXPECT_TRUE(s.m_vecSelectedFolders.empty());
  EXPECT_TRUE(s.m_vecDateRanges.empty());
  EXPECT_FALSE(s.m_logFile.IsOpen());
}

TEST(CTarnwickApp, DestructionClosesAnOpenLogFile) {
  testsupport::ScopedTempDir tmp;
  const std::string log = (tmp / "log.txt").string();
  {
    CTarnwickApp app;
    ASSERT_TRUE(app.m_settings.m_logFile.Open(log, platform::CFile::Mode::createNew));
  }
  platform::CFile again;  // refused while another holder had it
  EXPECT_TRUE(again.Open(log, platform::CFile::Mode::openExisting));
}

TEST(CTarnwickApp, TheFirstInstanceRunsTheStartPageUntilItEnds) {
  testsupport::ScopedTempDir tmp;
  CTarnwickApp app;
  QString shownTitle;
  bool startPageShown = false;
  uitest::ModalAnswerer answerer(
      [] {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (auto* page = dynamic_cast<CTarnwickDlg*>(w); page && page->isVisible()) return w;
        return static_cast<QWidget*>(nullptr);
      },
      [&](QWidget* w) {
        auto* page = static_cast<CTarnwickDlg*>(w);
        startPageShown = true;
        shownTitle = page->windowTitle();
        page->done(0);  // as the process would end
      });
  EXPECT_FALSE(app.InitInstance(0));
  EXPECT_TRUE(answerer.Answered());
  EXPECT_TRUE(startPageShown);
  EXPECT_EQ(shownTitle, "Tarnwick v1.0");
  EXPECT_EQ(QCoreApplication::organizationName(), "Tarnwickv1.0");
}

// True when some process holds the single-instance lock (probed without
// keeping it).
bool LockHeldByOther() {
  const int fd = ::open(platform::InstanceLockPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return held;
}

TEST(SingleInstance, ASecondInstanceIsToldAndShowsNoPageWhileTheFirstRunsOn) {
  testsupport::ScopedTempDir tmp;  // the lock lives in this XDG_RUNTIME_DIR
  const fs::path program = testsupport::ToolPath("tarnwick");
  ASSERT_TRUE(fs::exists(program)) << program;
  QProcess first;
  first.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  first.start(QString::fromStdString(program.string()), {});
  ASSERT_TRUE(first.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (!LockHeldByOther() && t.elapsed() < 20000) QThread::msleep(20);
  ASSERT_TRUE(LockHeldByOther()) << "the first instance never took the lock";

  // This test process is the second instance.
  const unsigned long error = platform::AcquireInstanceLock();
  EXPECT_EQ(error, platform::kErrorAlreadyExists);
  CTarnwickApp second;
  bool result = true;
  const auto seen = uitest::AnswerMessageBoxes([&] { result = second.InitInstance(error); });
  EXPECT_FALSE(result);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Another instance of application is already running");
  EXPECT_EQ(seen[0].caption, "Tarnwick v1.0");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_EQ(seen[0].owner, nullptr);
  for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();

  // The first instance is undisturbed: still running, still holding the lock.
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_TRUE(LockHeldByOther());
  first.kill();
  first.waitForFinished(10000);
  platform::ReleaseInstanceLock();
}

TEST(RenderPages, WritesAPictureOfEveryPageAtItsDialogSize) {
  testsupport::ScopedTempDir tmp;
  const fs::path out = tmp / "shots";
  QProcess render;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");  // the command needs no display of its own
  render.setProcessEnvironment(env);
  render.start(QString::fromStdString(testsupport::ToolPath("tarnwick").string()),
               {"--render-pages", QString::fromStdString(out.string())});
  ASSERT_TRUE(render.waitForFinished(60000));
  EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
  for (const char* name : {"102-start-page.png", "131-multiple-file-list.png", "100-about-box.png"}) {
    const QImage img(QString::fromStdString((out / name).string()));
    ASSERT_FALSE(img.isNull()) << name;
  }
  const QImage start(QString::fromStdString((out / "102-start-page.png").string()));
  const QImage list(QString::fromStdString((out / "131-multiple-file-list.png").string()));
  EXPECT_EQ(start.size(), list.size());
  // 430 x 330 dialog units keep their proportions.
  EXPECT_NEAR(double(start.width()) / start.height(), 430.0 * 6 / 4 / (330.0 * 13 / 8), 0.08);
  // It took no single-instance lock: it may run beside the wizard.
  EXPECT_FALSE(LockHeldByOther());
}

}  // namespace
