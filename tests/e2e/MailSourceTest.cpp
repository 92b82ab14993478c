// The whole wizard on mail: an mbox typed on the start page, its one folder
// in the tree, duplicates deleted in the original; the kept messages stay
// byte for byte, in order.
#include "tests/e2e/Wizard.h"
#include "tests/support/MailFiles.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"

using namespace e2e;
using namespace pagerun;
using testsupport::MailMessage;
using testsupport::MboxEntry;

TEST_F(WizardTest, DeletingInAnMboxKeepsTheFirstOfEachGroupByteForByte) {
  // A quoted ">From" line and a header the store does not read must come
  // back untouched in the kept messages.
  const std::string report = MailMessage("Report", "see below\n>From the minutes", 1);
  const std::string lunch = "X-Spam: no\n" + MailMessage("Lunch", "at noon", 3);
  const auto mbox = m_tmp / "archive";
  testsupport::WriteFile(mbox, MboxEntry(report) + MboxEntry(MailMessage("Report", "see below\n>From the minutes", 2)) +
                                   MboxEntry(lunch) + MboxEntry(MailMessage("Lunch", "at noon", 4)));

  Type(1000, Q(U(mbox)));
  EXPECT_TRUE(Click(1002).empty());
  auto* info = FrontAs<Fileinfodlg>();
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(uitest::AnswerMessageBoxes([&] { info->WaitForLoad(); }).empty());
  EXPECT_TRUE(Click(1002).empty());
  ASSERT_NE(FrontAs<OptionDlg>(), nullptr);
  EXPECT_TRUE(Click(1002).empty());
  ASSERT_NE(FrontAs<SaveingOptionDlg>(), nullptr);
  Click(SaveingOptionDlg::kOriginalMode);  // the action stays "Delete"
  EXPECT_TRUE(Click(1050).empty());
  progressDlg* page = FrontAs<progressDlg>();
  ASSERT_NE(page, nullptr);
  const std::size_t nHead = page->LogRows().size();

  const auto boxes = StartAndWait(*page, {QMessageBox::Yes});
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, kCompleted);
  EXPECT_EQ(testsupport::ReadFile(mbox), MboxEntry(report) + MboxEntry(lunch));
  const auto rows = page->LogRows();
  EXPECT_EQ(std::vector<std::u16string>(rows.begin() + static_cast<long>(nHead), rows.begin() + static_cast<long>(nHead) + 5),
            (std::vector<std::u16string>{u"Opening Database " + U(mbox), u"Processing Folders",
                                         u"Processing Folder :\tarchive",
                                         u"Total Items Found: 4 , Items Save: 2 , Duplicate Items: 2 , Items not save: 0",
                                         u"Journal file path: " + page->JournalPath()}));
}
