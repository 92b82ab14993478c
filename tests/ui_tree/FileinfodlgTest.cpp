// The single-file information page over real databases built from nsf-json:
// what it shows after loading, what Next and Back leave in the run
// settings, and a path that cannot be opened.
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "tests/support/MailFiles.h"
#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/frame/PageFactory.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/tree/XHtmlTree.h"

using namespace xht;

namespace {

// Stands for the scope page, so that Next has somewhere to go.
class ScopePageStub : public frame::CWizardPage {
public:
  ScopePageStub(RunSettings& s, frame::CWizardPage* c) : CWizardPage(130, s, c) {}
};

std::string Database(const std::string& folders) {
  return R"json({"format": "nsf-json", "version": 1, "notes": [
    {"class": "document", "noteId": 100, "items": [{"name": "Form", "type": "text", "value": "Memo"}]},
    {"class": "document", "noteId": 104, "items": [{"name": "Form", "type": "text", "value": "Memo"}]},
    {"class": "document", "noteId": 108, "items": [{"name": "Form", "type": "text", "value": "Draft"}]},
    )json" + folders + "]}";
}

// ($All) has the smallest id, so the database lists it first: the page
// must still show it last.
const char* const kMailFolders = R"json(
    {"class": "view", "noteId": 8, "name": "($All)", "viewType": 0, "select": "all"},
    {"class": "folder", "noteId": 12, "name": "($Inbox)", "entries": [100, 104]},
    {"class": "view", "noteId": 16, "name": "($Drafts)", "viewType": 0, "select": {"form": ["Draft"]}},
    {"class": "folder", "noteId": 20, "name": "Projects", "entries": []},
    {"class": "folder", "noteId": 24, "name": "Projects\\2019", "entries": [104]})json";

struct Shown {
  QString text;
  int image;
  std::intptr_t noteId;
  bool bold;
  int depth;
};

class FileinfoPage : public testsupport::TempDirTest {
protected:
  FileinfoPage() {
    frame::RegisterPageClass<ScopePageStub>(130);
    m_exits = std::make_unique<uitest::TerminateRecorder>();
  }
  ~FileinfoPage() override {
    page.reset();
    uitest::Pump();
  }
  // Creates the page for path and waits until it has loaded; returns the
  // message boxes it showed.
  std::vector<uitest::SeenBox> Load(const std::filesystem::path& path) {
    settings.m_strSingleFilePath = path.u16string();
    page = std::make_unique<Fileinfodlg>(settings, nullptr);
    return uitest::AnswerMessageBoxes([&] {
      EXPECT_TRUE(page->Create());
      page->show();
      page->WaitForLoad();
    });
  }
  std::filesystem::path MakeDb(const std::string& folders) {
    const auto path = m_tmp / "mail.nsf";
    testsupport::MakeDatabase(path, Database(folders));
    return path;
  }
  std::vector<Shown> TreeContents() const {
    std::vector<Shown> out;
    CXHtmlTree* tree = page->Tree();
    for (HTREEITEM h = tree->GetRootItem(); h; h = tree->Model().GetNextItemPreOrder(h)) {
      int depth = 0;
      for (HTREEITEM p = tree->GetParentItem(h); p; p = tree->GetParentItem(p)) ++depth;
      out.push_back({tree->GetItemText(h), tree->GetItemImage(h), tree->GetItemData(h),
                     tree->GetItemState(h, TVIS_BOLD) != 0, depth});
    }
    return out;
  }
  QString Field(int id) const { return page->DlgItem<QLineEdit>(id)->text(); }
  bool Enabled(int id) const { return page->GetDlgItem(id)->isEnabled(); }
  std::vector<std::u16string> SelectedNames() const {
    std::vector<std::u16string> names;
    for (const FolderRecord& r : settings.m_vecSelectedFolders) names.push_back(r.strName);
    return names;
  }
  void Click(int id) {
    uitest::AnswerMessageBoxes([&] { QTest::mouseClick(page->DlgItem<QPushButton>(id), Qt::LeftButton); });
  }

  RunSettings settings;
  std::unique_ptr<Fileinfodlg> page;
  std::unique_ptr<uitest::TerminateRecorder> m_exits;
};

}  // namespace

TEST_F(FileinfoPage, LoadedMailDatabaseShowsItsFoldersCheckedWithAllLast) {
  const auto path = MakeDb(kMailFolders);
  EXPECT_TRUE(Load(path).empty());
  const QString db = QString::fromStdString(path.string());
  const std::vector<Shown> shown = TreeContents();
  ASSERT_EQ(shown.size(), 6u);
  const Shown expected[] = {
      {db, 0, 0, false, 0},          {"($Inbox)", 3, 12, true, 1}, {"($Drafts)", 2, 16, true, 1},
      {"Projects", 10, 20, false, 1}, {"2019", 10, 24, true, 2},    {"($All)", 10, 8, true, 1},
  };
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].text, expected[i].text);
    EXPECT_EQ(shown[i].image, expected[i].image);
    EXPECT_EQ(shown[i].noteId, expected[i].noteId);
    EXPECT_EQ(shown[i].bold, expected[i].bold);
    EXPECT_EQ(shown[i].depth, expected[i].depth);
  }
  CXHtmlTree* tree = page->Tree();
  for (HTREEITEM h = tree->GetRootItem(); h; h = tree->Model().GetNextItemPreOrder(h))
    EXPECT_EQ(tree->GetStateImage(h), kStateChecked) << tree->GetItemText(h).toStdString();
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(tree->GetRootItem()));
  EXPECT_EQ(tree->GetItemDataStruct(tree->GetRootItem())->isExpanded, 1);

  EXPECT_EQ(Field(Fileinfodlg::kNameId), db);
  EXPECT_EQ(Field(Fileinfodlg::kSizeId), QString::number(std::filesystem::file_size(path)));
  EXPECT_EQ(Field(Fileinfodlg::kTotalId), "4");  // 2 + 1 + 0 + 1, ($All) not counted
  EXPECT_EQ(Field(Fileinfodlg::kFolderCountId), "5");
  EXPECT_EQ(page->GetDlgItemText(Fileinfodlg::kStatusId), "");
  EXPECT_TRUE(page->GetDlgItem(Fileinfodlg::kProgressId)->isHidden());
  for (int id : {Fileinfodlg::kBackId, Fileinfodlg::kNextId, Fileinfodlg::kCloseId}) EXPECT_TRUE(Enabled(id));
  EXPECT_EQ(settings.m_nDbSize, std::filesystem::file_size(path));
  EXPECT_FALSE(settings.m_db.IsOpen());
}

TEST_F(FileinfoPage, NestedFolderWithoutItsParentCreatesTheParentLevel) {
  Load(MakeDb(R"json({"class": "folder", "noteId": 24, "name": "Projects\\2019", "entries": [100]})json"));
  const std::vector<Shown> shown = TreeContents();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].text, "Projects");
  EXPECT_EQ(shown[1].noteId, 24);
  EXPECT_TRUE(shown[1].bold);
  EXPECT_EQ(shown[2].text, "2019");
  EXPECT_EQ(shown[2].noteId, 24);
  EXPECT_EQ(shown[2].depth, 2);
}

TEST_F(FileinfoPage, ParentListedAfterItsChildAppearsTwice) {
  Load(MakeDb(R"json({"class": "folder", "noteId": 8, "name": "Projects\\2019", "entries": []},
                 {"class": "folder", "noteId": 12, "name": "Projects", "entries": [100]})json"));
  const std::vector<Shown> shown = TreeContents();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[1].text, "Projects");
  EXPECT_EQ(shown[1].noteId, 8);
  EXPECT_FALSE(shown[1].bold);
  EXPECT_EQ(shown[2].text, "2019");
  EXPECT_EQ(shown[3].text, "Projects");
  EXPECT_EQ(shown[3].noteId, 12);
  EXPECT_EQ(shown[3].depth, 1);
}

TEST_F(FileinfoPage, NextWithEveryBoxCheckedAppendsEveryItemInPreOrder) {
  const auto path = MakeDb(kMailFolders);
  Load(path);
  settings.m_vecSelectedFolders.push_back({u"kept from before", 1, 0});
  Click(Fileinfodlg::kNextId);
  EXPECT_EQ(SelectedNames(), (std::vector<std::u16string>{u"kept from before", path.u16string(), u"($Inbox)",
                                                          u"($Drafts)", u"Projects", u"2019", u"($All)"}));
  EXPECT_EQ(settings.m_vecSelectedFolders[1].dwNoteId, 0u);
  EXPECT_EQ(settings.m_vecSelectedFolders[5].dwNoteId, 24u);
  ASSERT_NE(page->NextPage(), nullptr);
  EXPECT_TRUE(page->NextPage()->isVisible());
  EXPECT_FALSE(page->isVisible());
}

TEST_F(FileinfoPage, NextAfterUncheckingOneFolderLeavesOutItAndTheMixedDatabaseItem) {
  Load(MakeDb(kMailFolders));
  CXHtmlTree* tree = page->Tree();
  const HTREEITEM drafts = tree->GetNextSiblingItem(tree->GetChildItem(tree->GetRootItem()));
  ASSERT_EQ(tree->GetItemText(drafts), "($Drafts)");
  (void)tree->grab();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->StateIconRect(drafts).center());
  EXPECT_EQ(tree->GetStateImage(tree->GetRootItem()), kStateMixed);
  Click(Fileinfodlg::kNextId);
  EXPECT_EQ(SelectedNames(), (std::vector<std::u16string>{u"($Inbox)", u"Projects", u"2019", u"($All)"}));
}

TEST_F(FileinfoPage, NextWithNothingCheckedStillGoesOn) {
  Load(MakeDb(kMailFolders));
  page->Tree()->SetItemCheck(page->Tree()->GetRootItem(), 0);
  Click(Fileinfodlg::kNextId);
  EXPECT_TRUE(settings.m_vecSelectedFolders.empty());
  EXPECT_NE(page->NextPage(), nullptr);
}

TEST_F(FileinfoPage, NextWithoutAScopePageSaysSoAndStays) {
  Load(MakeDb(kMailFolders));
  frame::RegisterPage(130, {});
  std::vector<uitest::SeenBox> boxes = uitest::AnswerMessageBoxes(
      [&] { QTest::mouseClick(page->DlgItem<QPushButton>(Fileinfodlg::kNextId), Qt::LeftButton); });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Option dialog cannot be created");
  EXPECT_TRUE(page->isVisible());
  EXPECT_EQ(settings.m_vecSelectedFolders.size(), 6u);
}

TEST_F(FileinfoPage, PathThatCannotBeOpenedLeavesAnEmptyUsablePage) {
  for (const auto& path : {m_tmp / "missing.nsf", m_tmp / "notes.txt"}) {
    SCOPED_TRACE(path.string());
    testsupport::WriteFile(m_tmp / "notes.txt", "not a database");
    const std::vector<uitest::SeenBox> boxes = Load(path);
    ASSERT_EQ(boxes.size(), 1u);
    // The first line as it always was; the second names the file and why.
    EXPECT_TRUE(boxes[0].text.startsWith("Database cannot be Opened\n\nCannot open " +
                                         QString::fromStdString(path.string()) + ": "))
        << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[0].caption, "Tarnwick v1.0");
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(page->Tree()->GetRootItem(), 0u);
    for (int id : {Fileinfodlg::kNameId, Fileinfodlg::kSizeId, Fileinfodlg::kTotalId, Fileinfodlg::kFolderCountId})
      EXPECT_TRUE(Field(id).isEmpty());
    EXPECT_EQ(page->GetDlgItemText(Fileinfodlg::kStatusId), "Opening Database....");
    EXPECT_FALSE(page->GetDlgItem(Fileinfodlg::kProgressId)->isHidden());
    for (int id : {Fileinfodlg::kBackId, Fileinfodlg::kNextId, Fileinfodlg::kCloseId}) EXPECT_TRUE(Enabled(id));
  }
}

TEST_F(FileinfoPage, BackEmptiesTheSelectionAndEndsTheSession) {
  Load(MakeDb(kMailFolders));
  settings.m_vecSelectedFolders.push_back({u"($Inbox)", 12, 0});
  ASSERT_TRUE(settings.m_session.IsInitialized());
  Click(Fileinfodlg::kBackId);
  EXPECT_TRUE(settings.m_vecSelectedFolders.empty());
  EXPECT_FALSE(settings.m_session.IsInitialized());
}

TEST_F(FileinfoPage, CloseAsksWithItsOwnWording) {
  Load(MakeDb(kMailFolders));
  std::vector<uitest::SeenBox> boxes = uitest::AnswerMessageBoxes(
      [&] { QTest::mouseClick(page->DlgItem<QPushButton>(Fileinfodlg::kCloseId), Qt::LeftButton); },
      {QMessageBox::No});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Do you want to close Application ?");
  EXPECT_TRUE(m_exits->codes.empty());
}

TEST_F(FileinfoPage, ScreenshotsAreWritten) {
  settings.m_strSingleFilePath = (m_tmp / "no-such.nsf").u16string();
  bool ok = false;
  uitest::AnswerMessageBoxes([&] { ok = Fileinfodlg::RenderScreenshots(settings, nullptr, QString::fromStdString((m_tmp / "shots").string())); });
  EXPECT_TRUE(ok);
  for (const char* name : {"129-single-file-information.png", "129-single-file-information-mixed.png",
                           "129-single-file-information-tooltip.png"})
    EXPECT_TRUE(std::filesystem::exists(m_tmp / "shots" / name)) << name;
}

TEST_F(FileinfoPage, MailSourcesShowTheirFoldersBelowTheSourcesPath) {
  using testsupport::MailMessage;
  const auto mbox = m_tmp / "archive.mbox";
  testsupport::MakeMbox(mbox, {MailMessage("A", "x", 1), MailMessage("B", "y", 2)});
  const auto maildir = m_tmp / "Maildir";
  const std::string c = MailMessage("C", "z", 3), d = MailMessage("D", "w", 4);
  testsupport::MakeMaildir(maildir, {{"", {c}}, {".Work.2020", {d}}});
  struct Case {
    std::filesystem::path path;
    std::vector<std::pair<QString, int>> items;  // text and depth, in pre-order, as for a database
    std::uintmax_t nSize;
  };
  const Case cases[] = {
      {mbox, {{"archive.mbox", 1}, {"($All)", 1}}, std::filesystem::file_size(mbox)},
      {maildir, {{"Maildir", 1}, {"Work", 1}, {"2020", 2}, {"($All)", 1}}, c.size() + d.size()},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.path.string());
    EXPECT_TRUE(Load(t.path).empty());
    std::vector<std::pair<QString, int>> items;
    for (const Shown& s : TreeContents()) items.emplace_back(s.text, s.depth);
    items.erase(items.begin());
    EXPECT_EQ(TreeContents()[0].text.toStdString(), t.path.string());
    EXPECT_EQ(items, t.items);
    EXPECT_EQ(Field(Fileinfodlg::kSizeId), QString::number(t.nSize));
    EXPECT_EQ(Field(Fileinfodlg::kTotalId), "2");
    EXPECT_FALSE(settings.m_vecSourceFolders.empty());
  }
}

TEST_F(FileinfoPage, AMailSourceThatCannotBeReadSaysWhy) {
  const auto mbox = m_tmp / "broken.mbox";
  testsupport::WriteFile(mbox, testsupport::MboxEntry(testsupport::MailMessage("A", "x", 1)) +
                                   "From ada@example.org Mon Jan  4 10:00:00 2021\n\nno header lines\n");
  const auto boxes = Load(mbox);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].text.startsWith("Database cannot be Opened\n\nSource not read: " +
                                       QString::fromStdString(mbox.string())))
      << boxes[0].text.toStdString();
  EXPECT_EQ(page->Tree()->GetRootItem(), 0u);
}
