// The wizard page frame: Next and Back, the Close and Cancel confirmations,
// the common shutdown, the Help menu and the about box.
#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

#include "engine/RunSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/frame/CVintrelAboutDlg.h"
#include "ui/frame/PageFactory.h"
#include "ui/frame/WizardPage.h"
#include "ui/win/Buttons.h"

namespace {

int g_nPagesMade = 0;

// A page on a real template whose Next opens the scope page (130).
class TestPage : public frame::CWizardPage {
public:
  TestPage(RunSettings& settings, frame::CWizardPage* pCreator, int nTemplateId)
      : CWizardPage(nTemplateId, settings, pCreator) {
    ++g_nPagesMade;
  }

protected:
  void OnNext() override { OpenNextPage(130, m_pNextPage); }
};

class FrameTest : public testsupport::TempDirTest {
protected:
  FrameTest() {
    frame::RegisterPage(130, [](RunSettings& s, frame::CWizardPage* c) {
      return std::unique_ptr<frame::CWizardPage>(new TestPage(s, c, 130));
    });
    page = std::make_unique<TestPage>(settings, nullptr, 131);
    EXPECT_TRUE(page->Create());
    page->show();
  }
  ~FrameTest() override {
    page.reset();
    uitest::Pump();
    frame::RegisterPage(130, {});
  }
  QPushButton* Button(frame::CWizardPage* p, int id) { return p->DlgItem<QPushButton>(id); }

  RunSettings settings;
  uitest::ShellScript shell;
  uitest::TerminateRecorder exits;
  std::unique_ptr<TestPage> page;
};

TEST_F(FrameTest, CommonButtonsAreDressedAndTheCaptionSet) {
  EXPECT_EQ(page->windowTitle(), "Tarnwick v1.0");
  EXPECT_TRUE(page->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(page->parentWidget(), nullptr);  // a window of its own, with its own taskbar entry
  EXPECT_EQ(Button(page.get(), 1021)->toolTip(), "Next");
  EXPECT_EQ(Button(page.get(), 1009)->toolTip(), "Back");
  EXPECT_EQ(Button(page.get(), 1003)->toolTip(), "Close the application");
  EXPECT_EQ(Button(page.get(), 1028)->toolTip(), "Help");
  EXPECT_FALSE(Button(page.get(), 1021)->icon().isNull());
  // Page-specific buttons are dressed from their template.
  EXPECT_EQ(Button(page.get(), 1016)->toolTip(), "Add File(s)");
  EXPECT_FALSE(Button(page.get(), 1016)->icon().isNull());
}

TEST_F(FrameTest, CloseAnsweredNoLeavesEverythingAsItWas) {
  auto seen = uitest::AnswerMessageBoxes([&] { Button(page.get(), 1003)->click(); }, {QMessageBox::No});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Do you want to Close Application ?");
  EXPECT_EQ(seen[0].icon, QMessageBox::Question);
  EXPECT_EQ(seen[0].owner, page.get());
  EXPECT_TRUE(page->isVisible());
  EXPECT_TRUE(exits.codes.empty());
  EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(FrameTest, CloseAnsweredYesClosesTheLogOpensTheWebPageAndEndsWith255) {
  ASSERT_TRUE(settings.m_logFile.Open((m_tmp / "log.txt").string(), platform::CFile::Mode::createNew));
  uitest::AnswerMessageBoxes([&] { Button(page.get(), 1003)->click(); }, {QMessageBox::Yes});
  EXPECT_FALSE(settings.m_logFile.IsOpen());
  EXPECT_EQ(shell.opened, QStringList{frame::kProductWebPage});
  EXPECT_EQ(exits.codes, std::vector<int>{255});
  EXPECT_FALSE(page->isVisible());
}

TEST_F(FrameTest, WindowCloseAndHiddenCancelAskAndYesEndsWithoutOpeningAnything) {
  ASSERT_TRUE(settings.m_logFile.Open((m_tmp / "log.txt").string(), platform::CFile::Mode::createNew));
  // Alt+F4 and the window manager's close arrive as Cancel.
  auto seen = uitest::AnswerMessageBoxes([&] { page->close(); }, {QMessageBox::No});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Do you want to Close Application ?");
  EXPECT_TRUE(page->isVisible());
  seen = uitest::AnswerMessageBoxes([&] { Button(page.get(), 2)->click(); }, {QMessageBox::Yes});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(exits.codes, std::vector<int>{255});
  EXPECT_TRUE(shell.opened.isEmpty());
  EXPECT_TRUE(settings.m_logFile.IsOpen());  // Cancel leaves the log alone
}

TEST_F(FrameTest, NextMakesAFreshPageEachTimeAndBackReturnsToTheUnchangedCreator) {
  page->SetDlgItemText(1012, "kept status");
  auto* list = page->DlgItem<QTreeWidget>(1015);
  list->setColumnCount(1);
  list->addTopLevelItem(new QTreeWidgetItem({"row"}));
  const int made = g_nPagesMade;
  Button(page.get(), 1021)->click();
  QPointer<frame::CWizardPage> first = page->NextPage();
  ASSERT_TRUE(first);
  EXPECT_EQ(g_nPagesMade, made + 1);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(page->isVisible());
  EXPECT_EQ(first->CreatorPage(), page.get());

  first->DlgItem<QPushButton>(1009)->click();  // Back
  uitest::Pump();
  EXPECT_TRUE(first.isNull());  // destroyed and freed by its creator
  EXPECT_EQ(page->NextPage(), nullptr);
  EXPECT_TRUE(page->isVisible());
  EXPECT_EQ(page->GetDlgItemText(1012), "kept status");
  EXPECT_EQ(list->topLevelItemCount(), 1);

  Button(page.get(), 1021)->click();
  EXPECT_EQ(g_nPagesMade, made + 2);
  ASSERT_NE(page->NextPage(), nullptr);
  EXPECT_TRUE(page->NextPage()->isVisible());
}

TEST_F(FrameTest, APageThatCannotBeCreatedIsReportedAndTheCurrentPageStays) {
  frame::RegisterPage(130, {});
  auto seen = uitest::AnswerMessageBoxes([&] { Button(page.get(), 1021)->click(); });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Option dialog cannot be created");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_TRUE(page->isVisible());
  EXPECT_EQ(page->NextPage(), nullptr);
}

TEST_F(FrameTest, HelpMenuOpensManualWebPageAndNothingWhenDismissed) {
  auto* help = page->DlgItem<win::CMenuButton>(1028);
  ASSERT_NE(help->PopupMenu(), nullptr);
  const QList<QAction*> items = help->PopupMenu()->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), "Help");
  items[0]->trigger();
  EXPECT_EQ(help->m_nMenuResult, 32771);
  items[2]->trigger();
  EXPECT_EQ(shell.opened, (QStringList{frame::ProductManualUrl(), frame::kProductWebPage}));
  // The manual is the build tree's page, made of the README and the manual
  // pages, when the program runs from there.
  const QString manual = QUrl(frame::ProductManualUrl()).toLocalFile();
  EXPECT_EQ(manual, QStringLiteral(TARNWICK_BINARY_DIR "/packaging/manual.html"));
  const std::string text = testsupport::ReadFile(manual.toStdString());
  for (const char* part : {"<h2 id=\"tarnwick\">tarnwick(1)</h2>", "tarnwick-cli(1)", "nsftool(1)", "Tarnwick"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  // Opened and dismissed without a choice: nothing happens.
  emit help->PopupMenu()->aboutToShow();
  help->PopupMenu()->hide();
  EXPECT_EQ(help->m_nMenuResult, 0);
  EXPECT_EQ(shell.opened.size(), 2);
}

TEST_F(FrameTest, AboutIsModalOverThePageAndOkReturnsToIt) {
  auto* help = page->DlgItem<win::CMenuButton>(1028);
  QString title, linkText, support, version;
  bool modal = false;
  uitest::ModalAnswerer answerer(
      [] { return qobject_cast<frame::CVintrelAboutDlg*>(QApplication::activeModalWidget()); },
      [&](QWidget* w) {
    auto* about = static_cast<frame::CVintrelAboutDlg*>(w);
    modal = about->isModal();
    title = about->windowTitle();
    linkText = about->GetDlgItemText(1027);
    support = about->DlgItem<win::CLinkButton>(1003)->Target();
    version = about->GetDlgItemText(frame::CVintrelAboutDlg::kVersionStatic);
    about->DlgItem<QPushButton>(1)->click();
  });
  help->PopupMenu()->actions()[1]->trigger();
  ASSERT_TRUE(answerer.Answered());
  EXPECT_TRUE(modal);
  EXPECT_EQ(title, "Tarnwick v1.0");
  EXPECT_EQ(linkText, "Tarnwick v1.0");
  EXPECT_EQ(support, QString("mailto:") + frame::kSupportMail);
  EXPECT_EQ(version, QString("Version ") + TARNWICK_PROJECT_VERSION);
  EXPECT_TRUE(page->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(AboutBox, LinksOpenTheMakersAddresses) {
  uitest::ShellScript shell;
  frame::CVintrelAboutDlg about;
  ASSERT_TRUE(about.Create());
  about.show();
  about.DlgItem<win::CLinkButton>(1078)->click();
  about.DlgItem<win::CLinkButton>(1010)->click();
  EXPECT_EQ(shell.opened, (QStringList{frame::kMakerWebSite, QString("mailto:") + frame::kSalesMail}));
  EXPECT_EQ(about.DlgItem<win::CLinkButton>(1078)->toolTip(), "Company website");
  EXPECT_EQ(about.DlgItem<QPushButton>(1)->toolTip(), "OK");
  // Neither Enter (OK is the default button) nor Escape ends it.
  QApplication::setActiveWindow(&about);
  QTest::keyClick(&about, Qt::Key_Return);
  QTest::keyClick(&about, Qt::Key_Escape);
  EXPECT_TRUE(about.isVisible());
  about.DlgItem<QPushButton>(1)->click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

// The real ending, in a child process.
void ClickAndAnswerYes(int nButtonId) {
  uitest::RealTermination();
  uitest::ShellScript shell;  // no browser in the child either
  RunSettings settings;
  TestPage p(settings, nullptr, 131);
  if (!p.Create()) return;
  p.show();
  uitest::AnswerMessageBoxes([&] { p.DlgItem<QPushButton>(nButtonId)->click(); }, {QMessageBox::Yes});
}

TEST(FrameDeathTest, CloseConfirmedEndsTheProcessWithStatus255) {
  testsupport::ScopedTempDir tmp;
  EXPECT_EXIT(ClickAndAnswerYes(1003), ::testing::ExitedWithCode(255), "");
}

TEST(FrameDeathTest, CancelConfirmedEndsTheProcessWithStatus255) {
  testsupport::ScopedTempDir tmp;
  EXPECT_EXIT(ClickAndAnswerYes(2), ::testing::ExitedWithCode(255), "");
}

}  // namespace

TEST_F(FrameTest, TabFollowsTheReadingOrderOnEveryPage) {
  for (int nTemplate : {102, 131, 129, 130, 133, 134}) {
    SCOPED_TRACE(nTemplate);
    TestPage other(settings, nullptr, nTemplate);
    ASSERT_TRUE(other.Create());
    other.show();
    std::vector<QWidget*> chain;  // the controls Tab reaches, from the first
    for (QWidget* w = other.nextInFocusChain(); w != &other && chain.size() < 200; w = w->nextInFocusChain())
      if (w->parentWidget() == &other && w->isVisible() && (w->focusPolicy() & Qt::TabFocus)) chain.push_back(w);
    ASSERT_GE(chain.size(), 3u);
    // Tab goes round: read the round from its top left control.
    std::rotate(chain.begin(), std::min_element(chain.begin(), chain.end(), [](QWidget* a, QWidget* b) {
                  return std::pair(a->geometry().center().y(), a->x()) < std::pair(b->geometry().center().y(), b->x());
                }), chain.end());
    const int nSlack = other.Units().Y(4);
    for (std::size_t i = 1; i < chain.size(); ++i) {
      const QRect a = chain[i - 1]->geometry(), b = chain[i]->geometry();
      const bool bSameRow = std::abs(a.center().y() - b.center().y()) <= nSlack;
      EXPECT_TRUE(bSameRow ? b.x() > a.x() : b.center().y() > a.center().y())
          << chain[i - 1]->objectName().toStdString() << " before " << chain[i]->objectName().toStdString();
    }
  }
}
