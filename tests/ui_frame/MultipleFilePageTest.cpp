// The multiple-file list page driven as a user would: Add, Search with its
// worker and Stop, Remove, Remove All and Next.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/RunSettings.h"
#include "tests/support/MailFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/frame/PageFactory.h"
#include "ui/pages/MultipleFileDlg.h"

namespace fs = std::filesystem;

namespace {

class StubOptionPage : public frame::CWizardPage {
public:
  StubOptionPage(RunSettings& s, frame::CWizardPage* c) : CWizardPage(130, s, c) {}
};

// Another process holding a file the way the Notes layer holds an open
// database (a shared lock), until the object goes.
class OtherProcessHolding {
public:
  explicit OtherProcessHolding(const fs::path& file) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      const int fd = ::open(file.c_str(), O_RDONLY);
      if (fd >= 0) ::flock(fd, LOCK_SH);
      if (::write(ready[1], "x", 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    char c = 0;
    if (::read(ready[0], &c, 1) != 1) c = 0;
    ::close(ready[0]);
    ::close(ready[1]);
  }
  ~OtherProcessHolding() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }

private:
  pid_t m_pid = -1;
};

class MultipleFileTest : public testsupport::TempDirTest {
protected:
  MultipleFileTest() {
    frame::RegisterPageClass<StubOptionPage>(130);
    EXPECT_TRUE(page.Create());
    page.show();
  }
  ~MultipleFileTest() override { frame::RegisterPage(130, {}); }

  std::string File(const std::string& rel, std::uintmax_t size = 10) {
    const fs::path p = m_tmp / rel;
    testsupport::WriteFile(p, std::string(static_cast<std::size_t>(size), 'x'));
    return p.string();
  }
  QTreeWidget* List() { return page.DlgItem<QTreeWidget>(1015); }
  QStringList Column(int col) {
    QStringList out;
    for (int i = 0; i < List()->topLevelItemCount(); ++i) out << List()->topLevelItem(i)->text(col);
    return out;
  }
  void Add(const QStringList& files) {
    shell.openFiles = {files};
    EXPECT_TRUE(uitest::AnswerMessageBoxes([&] { page.DlgItem<QPushButton>(1016)->click(); }).empty());
  }
  void StartSearch(const fs::path& folder) {
    shell.browseFolder = {QString::fromStdString(folder.string())};
    page.DlgItem<QPushButton>(1017)->click();
  }
  void WaitForSearch() {
    QElapsedTimer t;
    t.start();
    while (page.IsSearching() && t.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_FALSE(page.IsSearching());
  }
  void Search(const fs::path& folder) {
    StartSearch(folder);
    WaitForSearch();
  }

  uitest::ShellScript shell;
  uitest::TerminateRecorder exits;
  RunSettings settings;
  MultipleFileDlg page{settings, nullptr};
};

TEST(NsfSearch, ExtensionIsTheTextAfterTheLastDotInAnyCase) {
  EXPECT_TRUE(nsfsearch::HasExtension("mail.nsf", "nsf"));
  EXPECT_TRUE(nsfsearch::HasExtension("MAIL.NSF", "nsf"));
  EXPECT_TRUE(nsfsearch::HasExtension("a.b.Nsf", "nsf"));
  EXPECT_FALSE(nsfsearch::HasExtension("mail.nsf.bak", "nsf"));
  EXPECT_FALSE(nsfsearch::HasExtension("nsf", "nsf"));
  EXPECT_FALSE(nsfsearch::HasExtension("mail.nsfx", "nsf"));
  EXPECT_FALSE(nsfsearch::HasExtension("mail.", "nsf"));
}

TEST_F(MultipleFileTest, TheListHasItsTwoColumns) {
  ASSERT_EQ(List()->columnCount(), 2);
  EXPECT_EQ(List()->headerItem()->text(0), "File Name");
  EXPECT_EQ(List()->headerItem()->text(1), "File Size(Bytes)");
  EXPECT_EQ(List()->columnWidth(0), 400);
  EXPECT_EQ(List()->columnWidth(1), 100);
  EXPECT_TRUE(page.GetDlgItem(1036)->isHidden());
  EXPECT_TRUE(page.GetDlgItem(1078)->isHidden());
}

TEST_F(MultipleFileTest, AddInsertsTheChosenFilesAtTheTopInTheDialogsOrder) {
  const std::string old = File("old.nsf", 1);
  Add({QString::fromStdString(old)});
  const std::string a = File("a.nsf", 2), b = File("b.txt", 3), c = File("c.nsf", 4);
  Add({QString::fromStdString(a), QString::fromStdString(b), QString::fromStdString(c)});
  EXPECT_EQ(Column(0), (QStringList{QString::fromStdString(a), QString::fromStdString(b),
                                    QString::fromStdString(c), QString::fromStdString(old)}));
  EXPECT_EQ(Column(1), (QStringList{"2", "3", "4", "1"}));
  Add({QString::fromStdString(a)});  // the same file again is listed again
  EXPECT_EQ(List()->topLevelItemCount(), 5);
  Add({});  // the dialog cancelled
  EXPECT_EQ(List()->topLevelItemCount(), 5);
}

TEST_F(MultipleFileTest, AFileHeldByAnotherProcessIsLeftOutAndThePositionStillAdvances) {
  const std::string old = File("old.nsf"), a = File("a.nsf"), held = File("held.nsf"), b = File("b.nsf");
  Add({QString::fromStdString(old)});
  OtherProcessHolding other(held);
  Add({QString::fromStdString(a), QString::fromStdString(held), QString::fromStdString(b),
       QString::fromStdString((m_tmp / "missing.nsf").string())});
  EXPECT_EQ(Column(0), (QStringList{QString::fromStdString(a), QString::fromStdString(old),
                                    QString::fromStdString(b)}));
}

TEST_F(MultipleFileTest, SearchFindsNsfFilesInAnyCaseAtAnyDepthAndNothingElse) {
  const fs::path root = m_tmp / "mail";
  const std::set<std::string> expected = {File("mail/a.nsf"), File("mail/B.NSF"), File("mail/sub/deep/c.Nsf"),
                                          File("mail/.hidden/d.nsf")};
  File("mail/x.nsf.bak");
  File("mail/nsf");
  File("mail/sub/readme.txt");
  fs::create_directory_symlink(root, root / "sub" / "loop");  // must not be followed forever
  ASSERT_EQ(::mkfifo((root / "pipe.nsf").c_str(), 0600), 0);  // must not block the search
  fs::create_directories(root / "folder.nsf");                 // a folder is searched, not listed

  StartSearch(root);
  // While it runs: progress and Stop shown, the list's buttons and the
  // navigation disabled, and the status line says so.
  EXPECT_TRUE(page.GetDlgItem(1036)->isVisible());
  EXPECT_TRUE(page.GetDlgItem(1078)->isVisible());
  for (int id : {1021, 1009, 1003, 1016, 1017, 1018, 1019}) EXPECT_FALSE(page.GetDlgItem(id)->isEnabled()) << id;
  EXPECT_TRUE(page.GetDlgItem(1028)->isEnabled());
  EXPECT_EQ(page.GetDlgItemText(1012), "Please wait while process is running");
  WaitForSearch();

  EXPECT_EQ(shell.folderTitles, QStringList{"Select Folder"});
  std::set<std::string> found;
  for (const QString& f : Column(0)) found.insert(f.toStdString());
  EXPECT_EQ(found, expected);
  EXPECT_EQ(List()->topLevelItemCount(), 4);
  EXPECT_EQ(page.GetDlgItemText(1012), "Click Next to continue");
  EXPECT_TRUE(page.GetDlgItem(1036)->isHidden());
  EXPECT_TRUE(page.GetDlgItem(1078)->isHidden());
  for (int id : {1021, 1009, 1003, 1016, 1017, 1018, 1019}) EXPECT_TRUE(page.GetDlgItem(id)->isEnabled()) << id;
}

TEST_F(MultipleFileTest, ACancelledFolderBrowserChangesNothing) {
  page.DlgItem<QPushButton>(1017)->click();
  EXPECT_FALSE(page.IsSearching());
  EXPECT_TRUE(page.GetDlgItem(1036)->isHidden());
  EXPECT_EQ(page.GetDlgItemText(1012), "");
}

TEST_F(MultipleFileTest, SearchFindsMboxFilesAndMaildirsOnlyWithTheMailOption) {
  const fs::path root = m_tmp / "mail";
  const std::string nsf = File("mail/a.nsf", 7);
  const std::string mbox = (root / "deep" / "archive").string();
  testsupport::MakeMbox(mbox, {testsupport::MailMessage("Hello", "one", 1)});
  File("mail/notes.txt");  // a file that is no mbox
  const fs::path maildir = root / "Maildir";
  // Its sub folder belongs to it: never a row of its own.
  testsupport::MakeMaildir(maildir, {{"", {"ab"}}, {".Sent", {"cde"}}});
  auto* option = page.DlgItem<QAbstractButton>(MultipleFileDlg::kMailSourcesCheck);
  ASSERT_NE(option, nullptr);
  EXPECT_FALSE(option->isChecked());

  Search(root);
  EXPECT_EQ(Column(0), QStringList{QString::fromStdString(nsf)});
  List()->clear();
  option->click();
  Search(root);
  const QStringList found = Column(0);
  EXPECT_EQ((std::set<QString>(found.begin(), found.end())),
            (std::set<QString>{QString::fromStdString(nsf), QString::fromStdString(mbox),
                               QString::fromStdString(maildir.string())}));
  EXPECT_EQ(List()->findItems(QString::fromStdString(maildir.string()), Qt::MatchExactly)[0]->text(1), "5");
}

TEST_F(MultipleFileTest, AddTakesAMaildirWithTheBytesOfItsMessages) {
  const fs::path maildir = m_tmp / "Maildir";
  testsupport::MakeMaildir(maildir, {{"", {"ab"}}, {".Sent.2020", {"cde"}}});
  Add({QString::fromStdString(maildir.string()), QString::fromStdString(m_tmp.Path().string())});
  EXPECT_EQ(Column(0), QStringList{QString::fromStdString(maildir.string())});
  EXPECT_EQ(Column(1), QStringList{"5"});
}

TEST_F(MultipleFileTest, SearchingTwiceListsEveryFileTwiceAndNextAppendsBoth) {
  const std::string a = File("mail/a.nsf");
  settings.m_vecFilePaths = {u"/earlier.nsf"};
  Search(m_tmp / "mail");
  Search(m_tmp / "mail");
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_TRUE(uitest::AnswerMessageBoxes([&] { page.DlgItem<QPushButton>(1021)->click(); }).empty());
  const std::u16string ua = QString::fromStdString(a).toStdU16String();
  EXPECT_EQ(settings.m_vecFilePaths, (std::vector<std::u16string>{u"/earlier.nsf", ua, ua}));
  ASSERT_NE(page.NextPage(), nullptr);
  EXPECT_TRUE(page.NextPage()->isVisible());
  EXPECT_FALSE(page.isVisible());
}

TEST_F(MultipleFileTest, StopKeepsTheRowsFoundSoFar) {
  for (int i = 0; i < 60; ++i) File("mail/f" + std::to_string(100 + i) + "/m.nsf");
  StartSearch(m_tmp / "mail");
  QElapsedTimer t;
  t.start();
  while (List()->topLevelItemCount() == 0 && t.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  ASSERT_GT(List()->topLevelItemCount(), 0);
  page.DlgItem<QPushButton>(1078)->click();
  WaitForSearch();
  const int kept = List()->topLevelItemCount();
  EXPECT_GE(kept, 1);
  EXPECT_LT(kept, 60);
  EXPECT_EQ(page.GetDlgItemText(1012), "Click Next to continue");
  EXPECT_TRUE(page.GetDlgItem(1021)->isEnabled());
  // The stop request is spent: the next search runs to the end.
  Search(m_tmp / "mail");
  EXPECT_EQ(List()->topLevelItemCount(), kept + 60);
}

TEST_F(MultipleFileTest, RemoveTakesOnlyTheRowThatLastReceivedTheSelection) {
  // Clicks on the list's rows (row, modifiers; row -1 is the Down key), and
  // the row that Remove must take.
  struct Case {
    std::vector<std::pair<int, Qt::KeyboardModifiers>> clicks;
    int removed;
  };
  const std::vector<Case> cases = {
      {{{1, Qt::NoModifier}, {3, Qt::ControlModifier}}, 3},
      {{{1, Qt::ControlModifier}, {3, Qt::ControlModifier}, {1, Qt::NoModifier}}, 1},
      {{{1, Qt::NoModifier}, {3, Qt::ShiftModifier}, {2, Qt::NoModifier}}, 2},
      {{{0, Qt::NoModifier}, {-1, Qt::NoModifier}}, 1},
  };
  QStringList files;
  for (int i = 0; i < 4; ++i) files << QString::fromStdString(File("r" + std::to_string(i) + ".nsf"));
  for (const Case& c : cases) {
    page.DlgItem<QPushButton>(1019)->click();
    Add(files);
    page.DlgItem<QPushButton>(1018)->click();  // nothing selected yet
    ASSERT_EQ(List()->topLevelItemCount(), 4);
    for (const auto& [row, modifiers] : c.clicks) {
      if (row < 0) {
        QTest::keyClick(List(), Qt::Key_Down, modifiers);
        continue;
      }
      const QRect rect = List()->visualItemRect(List()->topLevelItem(row));
      QTest::mouseClick(List()->viewport(), Qt::LeftButton, modifiers, rect.center());
    }
    page.DlgItem<QPushButton>(1018)->click();
    QStringList left = files;
    left.removeAt(c.removed);
    EXPECT_EQ(Column(0), left) << "removed row should be " << c.removed;
  }
  page.DlgItem<QPushButton>(1019)->click();
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  page.DlgItem<QPushButton>(1018)->click();  // empty list: nothing happens
  EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(MultipleFileTest, SizesBeyondFourGibibytesAreShownInFull) {
  const fs::path big = m_tmp / "big" / "huge.nsf";
  fs::create_directories(big.parent_path());
  testsupport::WriteFile(big, "");
  fs::resize_file(big, 5000000000ULL);  // sparse: takes no disk space
  Add({QString::fromStdString(big.string())});
  Search(m_tmp / "big");
  EXPECT_EQ(Column(1), (QStringList{"5000000000", "5000000000"}));
}

TEST_F(MultipleFileTest, NextWithAnEmptyListAsksForFilesAndCreatesNoPage) {
  settings.m_vecFilePaths = {u"/kept.nsf"};
  const auto seen = uitest::AnswerMessageBoxes([&] { page.DlgItem<QPushButton>(1021)->click(); });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Please add NSF File(s) to list to continue");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_EQ(page.NextPage(), nullptr);
  EXPECT_EQ(settings.m_vecFilePaths, std::vector<std::u16string>{u"/kept.nsf"});
}

TEST_F(MultipleFileTest, DestroyingThePageDuringASearchStopsTheWorker) {
  for (int i = 0; i < 30; ++i) File("mail/f" + std::to_string(i) + "/m.nsf");
  auto other = std::make_unique<MultipleFileDlg>(settings, nullptr);
  ASSERT_TRUE(other->Create());
  shell.browseFolder = {QString::fromStdString((m_tmp / "mail").string())};
  other->DlgItem<QPushButton>(1017)->click();
  EXPECT_TRUE(other->IsSearching());
  other.reset();  // must neither hang nor touch the destroyed page
  SUCCEED();
}

}  // namespace
