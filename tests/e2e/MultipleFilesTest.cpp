// The whole wizard in multiple-file mode: three databases added with the file
// dialog, the default scope, "Move to sub folder" in the original files; and
// a new-file run stopped during its first database.
#include <QComboBox>
#include <QProgressBar>

#include "tests/e2e/Wizard.h"
#include "ui/pages/MultipleFileDlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"

using namespace e2e;
using namespace pagerun;

namespace {

class MultipleFilesWizard : public WizardTest {
protected:
  MultipleFilesWizard() {
    // a and b hold a duplicate in each folder; c holds none.
    for (const char* name : {"a.nsf", "b.nsf"}) {
      testsupport::MakeDatabase(
          m_tmp / name, Database({Memo(100, "Report"), Memo(104, "Lunch"), Memo(108, "Report"),
                                  Memo(200, "Plan"), Memo(204, "Plan"), Memo(208, "Budget"),
                                  Folder(8, "($Inbox)", "100, 104, 108"),
                                  Folder(12, "Projects", "200, 204, 208")}));
    }
    testsupport::MakeDatabase(m_tmp / "c.nsf", Database({Memo(100, "Report"), Memo(104, "Lunch"),
                                                         Folder(8, "($Inbox)", "100, 104"),
                                                         Folder(12, "Projects", "")}));
    for (const char* name : {"a.nsf", "b.nsf", "c.nsf"}) m_vecPaths.push_back(m_tmp / name);
  }

  // Start page to the summary page, with the three databases listed.
  progressDlg* WalkToSummary(const std::function<void()>& onCriteriaPage) {
    Click(1014);  // "Select Multiple NSF Files"
    EXPECT_TRUE(Click(1002).empty());
    uitest::ShellScript shell;
    QStringList paths;
    for (const auto& p : m_vecPaths) paths << QString::fromStdString(p.string());
    shell.openFiles = {paths};
    FrontAs<MultipleFileDlg>();
    Click(1016);  // "Add NSF File(s)"
    EXPECT_TRUE(Click(1021).empty());
    FrontAs<OptionDlg>();
    EXPECT_TRUE(Click(1002).empty());
    FrontAs<SaveingOptionDlg>();
    onCriteriaPage();
    EXPECT_TRUE(Click(1050).empty());
    return FrontAs<progressDlg>();
  }

  std::vector<std::filesystem::path> m_vecPaths;
};

}  // namespace

TEST_F(MultipleFilesWizard, MoveToSubFolderOverThreeDatabases) {
  progressDlg* page = WalkToSummary([&] {
    Click(SaveingOptionDlg::kOriginalMode);
    FrontAs<SaveingOptionDlg>()->DlgItem<QComboBox>(SaveingOptionDlg::kActionCombo)->setCurrentIndex(2);
    Type(SaveingOptionDlg::kFolderEdit, "Dups");
  });
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(m_settings.m_vecFilePaths.size(), 3u);
  EXPECT_EQ(m_settings.m_vecFilePaths[0], U(m_vecPaths[0]));
  const auto head = page->LogRows();
  EXPECT_EQ(head[1], u"Total Number of Selected NSF Files:  3");
  EXPECT_EQ(head[head.size() - 2],
            u"Action to remove Duplicate items:Move to sub folder. Folder Name: Dups");

  const auto boxes = StartAndWait(*page, {QMessageBox::Yes});
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].icon, QMessageBox::Question);  // the originals will change
  EXPECT_EQ(boxes[1].text, kCompleted);
  EXPECT_EQ(page->StatusLine(), "Log file path: " + Q(page->LogPath()));

  for (int i = 0; i < 2; ++i) {
    const auto dump = Dump(m_vecPaths[static_cast<std::size_t>(i)]);
    EXPECT_EQ(FolderEntries(dump, "($Inbox)"), (std::vector<long long>{100, 104}));
    EXPECT_EQ(FolderEntries(dump, "Projects"), (std::vector<long long>{200, 208}));
    // The duplicates now live, as copies, in the sub folder only.
    const auto moved = FolderEntries(dump, "Dups");
    ASSERT_EQ(moved.size(), 2u);
    EXPECT_EQ(SubjectOf(dump, moved[0]), "Report");
    EXPECT_EQ(SubjectOf(dump, moved[1]), "Plan");
    EXPECT_EQ(DocumentIds(dump).count(108), 0u);
    EXPECT_EQ(DocumentIds(dump).count(204), 0u);
    EXPECT_EQ(DocumentIds(dump).size(), 6u);
  }
  const auto dumpC = Dump(m_vecPaths[2]);
  EXPECT_TRUE(FolderEntries(dumpC, "Dups").empty());
  EXPECT_EQ(DocumentIds(dumpC), (std::set<long long>{100, 104}));

  const auto rows = page->LogRows();
  const std::vector<std::u16string> runRows(rows.begin() + static_cast<long>(head.size()), rows.end());
  const std::vector<std::pair<std::u16string, FolderExpect>> withDups = {
      {u"($Inbox)", {{100, 104}, 3, 1}}, {u"Projects", {{200, 208}, 3, 1}}};
  const RunExpect expect = {withDups, withDups,
                            {{u"($Inbox)", {{100, 104}, 2, 0}}, {u"Projects", {{}, 0, 0}}}};
  EXPECT_EQ(std::count(runRows.begin(), runRows.end(), u"Processing Folder :\t($Inbox)"), 3);
  EXPECT_EQ(runRows[0], u"Opening Database " + U(m_vecPaths[0]));
  EXPECT_EQ(ReadLog(P(page->LogPath())), ExpectedLog(head, expect));
}

TEST_F(MultipleFilesWizard, StopDuringTheFirstDatabaseLeavesTheOthersUntouched) {
  std::filesystem::create_directories(m_tmp / "clean");
  progressDlg* page = WalkToSummary([&] { Type(SaveingOptionDlg::kSavingPath, Q(U(m_tmp / "clean"))); });
  ASSERT_NE(page, nullptr);
  const auto head = page->LogRows();
  bool bStopped = false;
  // Stop is pressed while the worker waits for its first folder row.
  const auto boxes = StartAndWait(*page, {}, [&](const QString& row) {
    if (!bStopped && row.startsWith("Processing Folder :")) {
      bStopped = true;
      EXPECT_FALSE(page->GetDlgItem(RunPage::kStop)->isHidden());
      QTest::mouseClick(page->DlgItem<QAbstractButton>(RunPage::kStop), Qt::LeftButton);
    }
  });
  ASSERT_TRUE(bStopped);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kCompleted);

  // Only the first database was copied; the second and third were neither
  // copied nor opened.
  std::vector<std::filesystem::path> copies;
  for (const auto& e : std::filesystem::directory_iterator(m_tmp / "clean")) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_TRUE(copies[0].filename().string().starts_with("a.nsf"));
  const auto rows = page->LogRows();
  const std::vector<std::u16string> runRows(rows.begin() + static_cast<long>(head.size()), rows.end());
  ASSERT_EQ(runRows.size(), 4u);
  EXPECT_EQ(runRows[0], u"Creating Database " + U(copies[0]));
  EXPECT_EQ(runRows[2], u"Processing Folders");
  // The stopped pass visited no document; the copy keeps them all.
  EXPECT_EQ(DocumentIds(Dump(copies[0])).size(), 6u);
  auto* bar = page->DlgItem<QProgressBar>(RunPage::kDatabaseBar);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(bar->maximum(), 3);

  // The stopped pass is the first folder's.
  const RunExpect expect = {{{u"($Inbox)", {{}, 0, 0}}}};
  EXPECT_EQ(ReadLog(P(page->LogPath())), ExpectedLog(head, expect));
}
