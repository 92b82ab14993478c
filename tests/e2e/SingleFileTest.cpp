// The whole wizard in single-file mode: the database typed on the start
// page, one folder unchecked in the tree, the default scope and criteria, a
// cleaned copy written as a new file.
#include "tests/e2e/Wizard.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"
#include "ui/tree/XHtmlTree.h"

using namespace e2e;
using namespace pagerun;
using xht::HTREEITEM;

namespace {

HTREEITEM FindItem(CXHtmlTree* tree, const QString& text) {
  for (HTREEITEM h = tree->GetRootItem(); h; h = tree->Model().GetNextItemPreOrder(h))
    if (tree->GetItemText(h) == text) return h;
  return 0;
}

}  // namespace

TEST_F(WizardTest, SingleFileWithOneFolderUncheckedMakesACleanedCopy) {
  const auto db = m_tmp / "ada.nsf";
  testsupport::MakeDatabase(
      db, Database({Memo(100, "Report"), Memo(104, "Lunch"), Memo(108, "Report"),
                    Memo(200, "Plan"), Memo(204, "Plan"), Memo(300, "Old"), Memo(304, "Old"),
                    Folder(8, "($Inbox)", "100, 104, 108"), Folder(12, "Projects", "200, 204"),
                    Folder(16, "Archive", "300, 304")}));
  const std::string original = testsupport::ReadFile(db);
  const auto clean = m_tmp / "clean";
  std::filesystem::create_directories(clean);

  Type(1000, Q(U(db)));
  EXPECT_TRUE(Click(1002).empty());
  auto* info = FrontAs<Fileinfodlg>();
  ASSERT_NE(info, nullptr);
  std::vector<uitest::SeenBox> loadBoxes = uitest::AnswerMessageBoxes([&] { info->WaitForLoad(); });
  EXPECT_TRUE(loadBoxes.empty());
  CXHtmlTree* tree = info->Tree();
  const HTREEITEM archive = FindItem(tree, "Archive");
  ASSERT_NE(archive, 0u);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->StateIconRect(archive).center());
  EXPECT_EQ(tree->GetItemCheck(archive), 0);
  EXPECT_TRUE(Click(1002).empty());
  ASSERT_NE(FrontAs<OptionDlg>(), nullptr);
  for (const FolderRecord& r : m_settings.m_vecSelectedFolders) EXPECT_NE(r.strName, u"Archive");
  EXPECT_TRUE(Click(1002).empty());
  ASSERT_NE(FrontAs<SaveingOptionDlg>(), nullptr);
  Type(SaveingOptionDlg::kSavingPath, Q(U(clean)));
  EXPECT_TRUE(Click(1050).empty());
  progressDlg* page = FrontAs<progressDlg>();
  ASSERT_NE(page, nullptr);
  const auto head = page->LogRows();
  EXPECT_EQ(head[1], u"Selected Nsf File: " + U(db));
  EXPECT_EQ(head[head.size() - 2], u"Remove Duplicate items in new NSF File, Saving path is: " + U(clean));

  const auto boxes = StartAndWait(*page);  // new files: no confirmation
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kCompleted);
  EXPECT_EQ(page->StatusLine(), "Log file path: " + Q(page->LogPath()));

  std::vector<std::filesystem::path> copies;
  for (const auto& e : std::filesystem::directory_iterator(clean)) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_TRUE(copies[0].filename().string().starts_with("ada.nsf"));
  EXPECT_TRUE(copies[0].filename().string().ends_with(".nsf"));
  EXPECT_EQ(testsupport::ReadFile(db), original);
  const auto dump = Dump(copies[0]);
  // The duplicates of the checked folders are gone; the unchecked folder's
  // duplicate is still there.
  EXPECT_EQ(DocumentIds(dump), (std::set<long long>{100, 104, 200, 300, 304}));
  EXPECT_EQ(FolderEntries(dump, "Archive"), (std::vector<long long>{300, 304}));

  const auto rows = page->LogRows();
  const std::vector<std::u16string> runRows(rows.begin() + static_cast<long>(head.size()), rows.end());
  ASSERT_GE(runRows.size(), 2u);
  EXPECT_EQ(runRows[0], u"Creating Database " + U(copies[0]));
  EXPECT_EQ(runRows[1], u"Opening Database " + U(copies[0]));
  EXPECT_EQ(std::count(runRows.begin(), runRows.end(), u"Processing Folder :\tArchive"), 0);
  const RunExpect expect = {{{u"($Inbox)", {{100, 104}, 3, 1}}, {u"Projects", {{200}, 2, 1}}}};
  EXPECT_EQ(ReadLog(P(page->LogPath())), ExpectedLog(head, expect));
}
