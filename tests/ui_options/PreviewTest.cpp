// Preview on the summary and progress page: the judgement without a change,
// the review window, and a run that spares what the review unticked.
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
    m_page = std::make_unique<progressDlg>(m_settings, nullptr);
    EXPECT_TRUE(m_page->Create());
  }
  ~PreviewTest() override {
    m_page.reset();
    uitest::Pump();
  }

  ReviewDlg* PreviewAndWait() {
    m_page->DlgItem<QAbstractButton>(progressDlg::kPreview)->click();
    EXPECT_FALSE(m_page->GetDlgItem(progressDlg::kPreview)->isEnabled());
    EXPECT_TRUE(PumpUntil([&] {
      return !m_page->IsRunning() && m_page->Preview() && m_page->Preview()->Window();
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
