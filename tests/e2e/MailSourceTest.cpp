// The whole wizard on mail sources typed on the start page, their folders
// in the tree, duplicates deleted in the original: the kept messages stay
// byte for byte, in order, and Undo gives the source back.
#include "tests/e2e/Wizard.h"
#include "mail/SourceUndo.h"
#include "tests/support/MailFiles.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"

using namespace e2e;
using namespace pagerun;
using testsupport::MailMessage;
using testsupport::MboxEntry;

namespace {

class MailWizard : public WizardTest {
protected:
  MailWizard() { mailio::RegisterMailRecordKinds(); }  // as the program does at start
  // Start page to the summary page with "Delete" in the original; between
  // runs once the folder tree is shown.
  progressDlg* WalkToDelete(const std::filesystem::path& source, const std::function<void()>& between = {}) {
    Type(1000, Q(U(source)));
    EXPECT_TRUE(Click(1002).empty());
    auto* info = FrontAs<Fileinfodlg>();
    if (!info) return nullptr;
    EXPECT_TRUE(uitest::AnswerMessageBoxes([&] { info->WaitForLoad(); }).empty());
    if (between) between();
    EXPECT_TRUE(Click(1002).empty());
    FrontAs<OptionDlg>();
    EXPECT_TRUE(Click(1002).empty());
    FrontAs<SaveingOptionDlg>();
    Click(SaveingOptionDlg::kOriginalMode);  // the action stays "Delete"
    EXPECT_TRUE(Click(1050).empty());
    return FrontAs<progressDlg>();
  }
  void RunConfirmed(progressDlg& page) {
    const auto boxes = StartAndWait(page, {QMessageBox::Yes});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, kCompleted);
  }
};

std::set<std::string> FilesBelow(const std::filesystem::path& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file()) out.insert(std::filesystem::relative(e.path(), root).string());
  return out;
}

}  // namespace

TEST_F(MailWizard, DeletingInAnMboxKeepsTheFirstOfEachGroupByteForByteAndUndoes) {
  // A quoted ">From" line and a header the store does not read must come
  // back untouched in the kept messages.
  const std::string report = MailMessage("Report", "see below\n>From the minutes", 1);
  const std::string lunch = "X-Spam: no\n" + MailMessage("Lunch", "at noon", 3);
  const auto mbox = m_tmp / "archive";
  const std::string original = MboxEntry(report) + MboxEntry(MailMessage("Report", "see below\n>From the minutes", 2)) +
                               MboxEntry(lunch) + MboxEntry(MailMessage("Lunch", "at noon", 4));
  testsupport::WriteFile(mbox, original);
  progressDlg* page = WalkToDelete(mbox);
  ASSERT_NE(page, nullptr);
  const std::size_t nHead = page->LogRows().size();
  RunConfirmed(*page);
  EXPECT_EQ(testsupport::ReadFile(mbox), MboxEntry(report) + MboxEntry(lunch));
  const auto rows = page->LogRows();
  EXPECT_EQ(std::vector<std::u16string>(rows.begin() + static_cast<long>(nHead), rows.end()),
            (std::vector<std::u16string>{u"Opening Database " + U(mbox), u"Processing Folders",
                                         u"Processing Folder :\tarchive",
                                         u"Total Items Found: 4 , Items Save: 2 , Duplicate Items: 2 , Items not save: 0",
                                         u"Journal file path: " + page->JournalPath()}));

  auto* undo = page->findChild<QAbstractButton*>(QStringLiteral("ctl1101"));
  ASSERT_NE(undo, nullptr);
  ASSERT_TRUE(undo->isVisible());
  uitest::MessageBoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
  undo->click();
  ASSERT_TRUE(PumpUntil([&] { return !page->IsRunning(); }));
  uitest::Pump();
  EXPECT_EQ(testsupport::ReadFile(mbox), original);
  EXPECT_EQ(page->LogRows().back(), u"Restored: 2 documents");
}

// The run reads the source anew: mail delivered after the tree was shown
// must not make it take one folder for another.
TEST_F(MailWizard, MailDeliveredAfterTheTreeWasShownStillCleansTheTickedFolders) {
  const auto maildir = m_tmp / "Maildir";
  testsupport::MakeMaildir(maildir, {{"", {MailMessage("Inbox", "a", 1), MailMessage("Inbox", "a", 2)}},
                                     {".Work", {MailMessage("Work", "b", 3), MailMessage("Work", "b", 4)}}});
  progressDlg* page = WalkToDelete(maildir, [&] {
    testsupport::WriteFile(maildir / "new" / "0999.host", MailMessage("Fresh", "c", 9));
  });
  ASSERT_NE(page, nullptr);
  RunConfirmed(*page);
  EXPECT_EQ(FilesBelow(maildir), (std::set<std::string>{"new/0999.host", "cur/10001.host:2,S", ".Work/cur/10003.host:2,S"}));
}
