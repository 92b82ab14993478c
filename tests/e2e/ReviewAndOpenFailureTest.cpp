// The wizard where a new user stumbles: the review window's comparison for
// mail sources, and a database that does not open, from the start page's
// Next to the end of the run.
#include <QLabel>
#include <QTreeView>
#include <QTreeWidget>

#include "mail/SourceUndo.h"
#include "platform/Paths.h"
#include "tests/e2e/Wizard.h"
#include "tests/support/MailFiles.h"
#include "ui/pages/Fileinfodlg.h"
#include "ui/pages/OptionDlg.h"
#include "ui/pages/SaveingOptionDlg.h"
#include "ui/pages/progressDlg.h"
#include "ui/review/DuplicatePreview.h"
#include "ui/review/ReviewDlg.h"
#include "ui/review/ReviewModel.h"

using namespace e2e;
using namespace pagerun;
using testsupport::MailMessage;

namespace {

class NewUser : public WizardTest {
protected:
  NewUser() { mailio::RegisterMailRecordKinds(); }
  // Start page to the summary page, "Delete" in the original; the boxes the
  // single-file page raised go to *pBoxes.
  progressDlg* WalkToSummary(const std::filesystem::path& source, std::vector<uitest::SeenBox>* pBoxes = nullptr) {
    Type(1000, Q(U(source)));
    EXPECT_TRUE(Click(1002).empty());
    auto* info = FrontAs<Fileinfodlg>();
    if (!info) return nullptr;
    const auto boxes = uitest::AnswerMessageBoxes([&] { info->WaitForLoad(); });
    if (pBoxes) *pBoxes = boxes;
    EXPECT_TRUE(Click(1002).empty());
    FrontAs<OptionDlg>();
    EXPECT_TRUE(Click(1002).empty());
    FrontAs<SaveingOptionDlg>();
    Click(SaveingOptionDlg::kOriginalMode);
    EXPECT_TRUE(Click(1050).empty());
    return FrontAs<progressDlg>();
  }
};

TEST_F(NewUser, TheReviewComparesMailSourcesAsTheRunJudgedThem) {
  const std::string report = MailMessage("Report", "the whole body of the report", 1);
  const auto mbox = m_tmp / "archive.mbox";
  testsupport::MakeMbox(mbox, {report, MailMessage("Report", "the whole body of the report", 2),
                               MailMessage("Lunch", "at noon", 3)});
  const auto maildir = m_tmp / "Maildir";
  testsupport::MakeMaildir(maildir, {{"", {MailMessage("Lunch", "at noon", 3)}}, {".Projects.2019", {report, report}}});
  for (const auto& source : {mbox, maildir}) {
    SCOPED_TRACE(source.string());
    progressDlg* page = WalkToSummary(source);
    ASSERT_NE(page, nullptr);
    const auto boxes = uitest::AnswerMessageBoxes([&] {
      QTest::mouseClick(page->DlgItem<QAbstractButton>(progressDlg::kPreview), Qt::LeftButton);
      EXPECT_TRUE(PumpUntil([&] { return !page->IsRunning() && page->Preview()->Window(); }, 20000));
    });
    for (const auto& box : boxes) ADD_FAILURE() << box.text.toStdString();
    ASSERT_NE(page->Preview()->Window(), nullptr);
    ReviewDlg* review = page->Preview()->Window();
    ReviewModel* model = review->Model();
    ASSERT_EQ(model->rowCount(), 2);
    QTreeView* rows = review->Rows();
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                      rows->visualRect(model->index(1, ReviewModel::kSubject)).center());
    QTreeWidget* comparison = review->Comparison();
    ASSERT_EQ(comparison->topLevelItemCount(), 7) << review->findChild<QLabel*>()->text().toStdString();
    EXPECT_EQ(comparison->topLevelItem(0)->text(2), "Report");
    EXPECT_EQ(comparison->topLevelItem(4)->text(0), "Body");
    EXPECT_EQ(comparison->topLevelItem(4)->text(3), "the whole body of the report");
    // A message's size is its bytes, the same for both copies.
    EXPECT_EQ(comparison->topLevelItem(6)->text(0), "Size");
    EXPECT_EQ(comparison->topLevelItem(6)->text(2), comparison->topLevelItem(6)->text(3));
    review->accept();
    Click(1017);  // Back, to the criteria page
    Click(1051);
    Click(1009);
    Click(1009);
    ASSERT_EQ(Front(), m_pStart.get());
  }
}

TEST_F(NewUser, ADatabaseThatDoesNotOpenSaysWhyAndItsRunEndsAsEveryRunEnds) {
  testsupport::WriteFile(m_tmp / "notes.txt", "not a database at all, but long enough to be read as one............"
                                              "........................................................");
  const struct {
    std::string name;
    std::string reason;
  } cases[] = {{"gone.nsf", "the file does not exist"}, {"notes.txt", "file is not a Tarnwick database"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string path = U(m_tmp / c.name);
    std::vector<uitest::SeenBox> boxes;
    progressDlg* page = WalkToSummary(m_tmp / c.name, &boxes);
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Database cannot be Opened\n\nCannot open " + Q(path) + ": " + QString::fromStdString(c.reason));

    const std::size_t nHead = page->LogRows().size();
    boxes = StartAndWait(*page, {QMessageBox::Yes, QMessageBox::Ok});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, kCompleted);
    const auto rows = page->LogRows();
    EXPECT_EQ(std::vector<std::u16string>(rows.begin() + static_cast<long>(nHead), rows.end()),
              (std::vector<std::u16string>{u"Opening Database " + path, u"Database Cannot be Open: " + path}));
    const std::u16string log = ReadLog(P(page->LogPath()));
    EXPECT_EQ(log.substr(log.size() - Closing().size()), Closing());
    EXPECT_EQ(page->StatusLine(), "Log file path: " + Q(page->LogPath()));
    // Nothing was journaled: no journal file.
    EXPECT_EQ(page->JournalPath(), u"");
    for (const auto& e : std::filesystem::directory_iterator(platform::DesktopFolder()))
      EXPECT_NE(e.path().extension(), ".journal") << e.path();
    EXPECT_TRUE(page->DlgItem<QAbstractButton>(RunPage::kStartProcess)->isEnabled());
    std::filesystem::remove(P(page->LogPath()));
    Click(1017);
    Click(1051);
    Click(1009);
    Click(1009);
    ASSERT_EQ(Front(), m_pStart.get());
  }
}

}  // namespace
