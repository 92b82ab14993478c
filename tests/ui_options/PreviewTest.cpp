// Preview on the summary and progress page: the judgement without a change,
// the review window, and a run that spares what the review unticked.
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "platform/Paths.h"
#include "tests/support/NsfJson.h"
#include "tests/ui_options/PageRun.h"
#include "ui/review/DuplicatePreview.h"
#include "ui/review/ReviewDlg.h"
#include "ui/review/ReviewModel.h"

using namespace pagerun;

namespace {

std::string MemoWithBody(long long id, const std::string& body) {
  std::string memo = Memo(id, "Report");
  return memo.insert(memo.rfind(']'), R"J(, { "name": "Body", "type": "text", "value": ")J" + body + "\" }");
}

class PreviewTest : public testsupport::TempDirTest {
protected:
  PreviewTest() {
    m_db = m_tmp / "ada.nsf";
    // Body is not compared: 112 is a duplicate of 100 with another body.
    testsupport::MakeDatabase(m_db, Database({MemoWithBody(100, "Hello"), Memo(104, "Lunch"),
                                              MemoWithBody(108, "Hello"), MemoWithBody(112, "Goodbye"),
                                              Folder(8, "($Inbox)", "100, 104, 108, 112")}));
    std::filesystem::create_directories(m_tmp / "clean");
    m_settings.m_strSingleFilePath = U(m_db);
    m_settings.m_strNewNsfFolder = U(m_tmp / "clean");
    m_settings.m_bMailSubject = m_settings.m_bMailSender = m_settings.m_bMailReceiver = 1;
    m_settings.m_bMailDateTime = m_settings.m_bMailAttachments = 1;
    EXPECT_TRUE(SelectEveryFolder(m_settings));
    NewPage();
  }
  // Back, then Next again: the page goes before its successor is made.
  void NewPage() {
    m_page.reset();
    m_page = std::make_unique<progressDlg>(m_settings, nullptr);
    EXPECT_TRUE(m_page->Create());
    m_page->show();
  }
  ~PreviewTest() override {
    m_page.reset();
    uitest::Pump();
  }

  ReviewDlg* PreviewAndWait() {
    // The window of an earlier Preview stays until the new review replaces
    // it: wait for that one to go, not merely for a window.
    const QPointer<ReviewDlg> earlier = m_page->Preview() ? m_page->Preview()->Window() : nullptr;
    QTest::mouseClick(m_page->DlgItem<QAbstractButton>(progressDlg::kPreview), Qt::LeftButton);
    EXPECT_FALSE(m_page->GetDlgItem(progressDlg::kPreview)->isEnabled());
    EXPECT_TRUE(PumpUntil([&] {
      return !m_page->IsRunning() && earlier.isNull() && m_page->Preview() && m_page->Preview()->Window();
    })) << "no review window";
    return m_page->Preview() ? m_page->Preview()->Window() : nullptr;
  }

  std::filesystem::path m_db;
  RunSettings m_settings;
  std::unique_ptr<progressDlg> m_page;
};

TEST_F(PreviewTest, PreviewChangesNothingAndTheRunSparesWhatWasUnticked) {
  const std::string before = testsupport::ReadFile(m_db);
  const auto rowsBefore = m_page->LogRows();
  ReviewDlg* review = PreviewAndWait();
  ASSERT_NE(review, nullptr);
  EXPECT_EQ(testsupport::ReadFile(m_db), before);
  EXPECT_EQ(m_page->LogRows(), rowsBefore);
  EXPECT_FALSE(std::filesystem::exists(platform::DesktopFolder()) &&
               !std::filesystem::is_empty(platform::DesktopFolder()));
  EXPECT_TRUE(m_page->GetDlgItem(progressDlg::kPreview)->isEnabled());

  ReviewModel* model = review->Model();
  ASSERT_EQ(model->rowCount(), 3);
  const auto id = [&](int row) { return model->index(row, ReviewModel::kNoteId).data().toString(); };
  EXPECT_EQ(id(0), "100");
  EXPECT_EQ(model->index(0, ReviewModel::kRemove).data(Qt::CheckStateRole), QVariant());
  EXPECT_EQ(model->index(1, ReviewModel::kRemove).data(Qt::CheckStateRole).toInt(), Qt::Checked);

  // The duplicate with another body shows it, though bodies were not compared.
  review->Rows()->setCurrentIndex(model->index(2, ReviewModel::kSubject));
  QTreeWidget* comparison = review->Comparison();
  ASSERT_EQ(comparison->topLevelItemCount(), 7);
  EXPECT_EQ(comparison->topLevelItem(4)->text(0), QStringLiteral("≠ Body"));
  EXPECT_EQ(comparison->topLevelItem(4)->text(1), "not compared");
  EXPECT_EQ(comparison->topLevelItem(4)->text(3), "Goodbye");
  EXPECT_EQ(comparison->topLevelItem(0)->text(0), "Subject");

  ASSERT_TRUE(model->setData(model->index(1, ReviewModel::kRemove), Qt::Unchecked, Qt::CheckStateRole));
  review->accept();
  StartAndWait(*m_page);
  const auto rows = m_page->LogRows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), u"Item spared:\t108"), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), Summary(4, 1)), rows.end());
  std::vector<std::filesystem::path> copies;
  for (const auto& e : std::filesystem::directory_iterator(m_tmp / "clean")) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  const std::string dump = testsupport::DumpDatabase(copies[0]);
  EXPECT_NE(dump.find("\"noteId\": 108"), std::string::npos);
  EXPECT_EQ(dump.find("\"noteId\": 112"), std::string::npos);
}

}  // namespace

namespace {

// Clicks and keys as a user gives them: the row's Subject cell, then Space.
void UntickByKeyboard(ReviewDlg& review, int row) {
  QTreeView* rows = review.Rows();
  const QRect cell = rows->visualRect(review.Model()->index(row, ReviewModel::kSubject));
  QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, cell.center());
  QTest::keyClick(rows, Qt::Key_Space);
}

void CloseByClick(ReviewDlg& review) {
  for (QPushButton* b : review.findChildren<QPushButton*>())
    if (b->text() == "Close") QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace

TEST_F(PreviewTest, ChoicesSurviveAnotherPreviewAndPageUntilTheCriteriaChange) {
  ReviewDlg* review = PreviewAndWait();
  ASSERT_NE(review, nullptr);
  ReviewModel* model = review->Model();
  const QModelIndex tick = model->index(1, ReviewModel::kRemove);
  EXPECT_EQ(tick.data().toString(), "remove");
  UntickByKeyboard(*review, 1);
  EXPECT_EQ(tick.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(tick.data().toString(), "kept");
  EXPECT_EQ(model->index(0, ReviewModel::kRemove).data().toString(), "kept: first found");
  CloseByClick(*review);
  EXPECT_EQ(m_page->StatusLine(),
            "The review's choices are in force: Start Process removes only the 1 of 2 duplicates left ticked.");

  // A second Preview on the page: 108 stays unticked, and the review says so.
  review = PreviewAndWait();
  ASSERT_NE(review, nullptr);
  model = review->Model();
  EXPECT_EQ(model->index(1, ReviewModel::kNoteId).data().toString(), "108");
  EXPECT_EQ(model->index(1, ReviewModel::kRemove).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(model->index(2, ReviewModel::kRemove).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(review->Notice(), "The duplicate you unticked in the earlier review stays unticked.");
  CloseByClick(*review);

  // Back and Next with the same settings: Start Process without a Preview
  // still spares it.
  NewPage();
  EXPECT_NE(m_page->StatusLine(), "");
  StartAndWait(*m_page);
  const auto rows = m_page->LogRows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), u"Item spared:\t108"), rows.end());

  // Other criteria: every duplicate is ticked again, and the review says why.
  m_settings.m_bMailBody = 1;
  NewPage();
  EXPECT_EQ(m_page->StatusLine(), "");
  review = PreviewAndWait();
  ASSERT_NE(review, nullptr);
  model = review->Model();
  ASSERT_EQ(model->rowCount(), 2);  // 112's body differs now
  EXPECT_EQ(model->index(1, ReviewModel::kRemove).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(review->Notice(), "The choices of the earlier review were reset, every duplicate is ticked again: "
                              "the criteria changed since it was made.");
}
