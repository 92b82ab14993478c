// The dialog-template layer: templates as data, dialog units, controls by
// id, message boxes, the key filter and dragging.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tests/ui_frame/UiTestSupport.h"
#include "ui/win/Buttons.h"
#include "ui/win/CDialog.h"
#include "ui/win/DialogTemplate.h"
#include "ui/win/DialogUnits.h"
#include "ui/win/MessageBox.h"

namespace {

TEST(DialogUnits, ConvertLikeWindowsFromTheFontMetrics) {
  const win::DialogUnits u{6, 13};
  // The page and its banner: 430 x 46 units are the 645 x 75 banner bitmap.
  EXPECT_EQ(u.MapDialogSize(QSize(430, 330)), QSize(645, 536));
  EXPECT_EQ(u.MapDialogRect(QRect(0, 0, 430, 46)), QRect(0, 0, 645, 75));
  // Corners are mapped, so adjacent controls meet without a gap.
  const QRect a = u.MapDialogRect(QRect(5, 307, 55, 18));
  const QRect b = u.MapDialogRect(QRect(60, 307, 55, 18));
  EXPECT_EQ(a.right() + 1, b.left());

  QFont wide = win::DialogFont();
  wide.setPixelSize(22);
  const win::DialogUnits big = win::DialogUnits::FromFont(wide);
  const win::DialogUnits normal = win::DialogUnits::FromFont(win::DialogFont());
  EXPECT_GT(big.nBaseX, normal.nBaseX);
  EXPECT_GT(big.nBaseY, normal.nBaseY);
}

TEST(DialogTemplates, EveryPageTemplateIsThereWithItsBannerAndButtons) {
  for (int id : {102, 129, 130, 131, 133, 134}) {
    const win::DialogTemplate* t = win::FindDialogTemplate(id);
    ASSERT_NE(t, nullptr) << id;
    EXPECT_EQ(t->sizeDlu, QSize(430, 330)) << id;
    EXPECT_FALSE(t->bCaption) << id;
    ASSERT_FALSE(t->controls.empty());
    EXPECT_EQ(t->controls.front().kind, win::ControlKind::picture) << id;
    EXPECT_EQ(t->controls.front().nImageId, 135) << id;
    ASSERT_NE(t->Find(2), nullptr) << id;
    EXPECT_TRUE(t->Find(2)->Has("hidden")) << id;
  }
  const win::DialogTemplate* about = win::FindDialogTemplate(100);
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->bCaption);
  EXPECT_EQ(about->sizeDlu, QSize(263, 166));
  EXPECT_EQ(win::FindDialogTemplate(999), nullptr);

  const win::MenuTemplate* menu = win::FindMenuTemplate(146);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->strTitle, "Menu_Help");
  ASSERT_EQ(menu->items.size(), 3u);
  EXPECT_EQ(menu->items[0].nCommandId, 32771);
  EXPECT_EQ(menu->items[1].strText, "About");
  EXPECT_EQ(menu->items[2].strText, "Software Webpage");
}

TEST(DialogTemplates, MalformedTablesAreRefusedWithTheReason) {
  std::vector<win::DialogTemplate> dialogs;
  std::vector<win::MenuTemplate> menus;
  QString error;
  EXPECT_FALSE(win::ParseTemplates("{\"dialogs\":[{\"id\":7,\"size\":[10,10],\"controls\":"
                                   "[{\"id\":1,\"kind\":\"slider\",\"rect\":[0,0,1,1]}]}]}",
                                   &dialogs, &menus, &error));
  EXPECT_TRUE(error.contains("slider")) << error.toStdString();
  EXPECT_FALSE(win::ParseTemplates("{\"dialogs\":[{\"id\":7,\"size\":[10,10],\"controls\":"
                                   "[{\"id\":1,\"kind\":\"edit\",\"rect\":[0,0]}]}]}",
                                   &dialogs, &menus, &error));
  EXPECT_TRUE(error.contains("rect"));
  EXPECT_FALSE(win::ParseTemplates("not json", &dialogs, &menus, &error));
  EXPECT_TRUE(dialogs.empty());
}

class StartTemplate : public ::testing::Test {
protected:
  StartTemplate() : dlg(102) { EXPECT_TRUE(dlg.CreateFromTemplate()); }
  win::CDialog dlg;
};

TEST_F(StartTemplate, ControlsAreReachedByIdWithTheirInitialState) {
  auto* single = dlg.DlgItem<QRadioButton>(1013);
  ASSERT_NE(single, nullptr);
  EXPECT_TRUE(single->isChecked());
  EXPECT_EQ(single->text(), "Select Single NSF File Path:");
  EXPECT_FALSE(dlg.IsDlgButtonChecked(1014));
  ASSERT_NE(dlg.DlgItem<QLineEdit>(1000), nullptr);
  EXPECT_TRUE(dlg.GetDlgItem(2)->isHidden());
  EXPECT_TRUE(dlg.GetDlgItem(1)->isHidden());
  EXPECT_NE(dlg.DlgItem<win::CMenuButton>(1028), nullptr);
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  EXPECT_EQ(dlg.GetDlgItemText(4242), "");

  const win::DialogUnits& u = dlg.Units();
  EXPECT_EQ(dlg.size(), u.MapDialogSize(QSize(430, 330)));
  EXPECT_EQ(dlg.GetDlgItem(1002)->geometry(), u.MapDialogRect(QRect(310, 307, 55, 18)));

  dlg.SetDlgItemText(1000, "C:/x.nsf");
  EXPECT_EQ(dlg.GetDlgItemText(1000), "C:/x.nsf");
  dlg.EnableDlgItem(1001, false);
  EXPECT_FALSE(dlg.GetDlgItem(1001)->isEnabled());
}

TEST_F(StartTemplate, RadioButtonsAreTheirOwnGroupAndAClickNeverUnchecks) {
  dlg.show();
  auto* single = dlg.DlgItem<QRadioButton>(1013);
  auto* multiple = dlg.DlgItem<QRadioButton>(1014);
  QTest::mouseClick(multiple, Qt::LeftButton);
  // Not linked by the dialog: the page keeps the pair exclusive itself.
  EXPECT_TRUE(multiple->isChecked());
  EXPECT_TRUE(single->isChecked());
  QTest::mouseClick(single, Qt::LeftButton);
  EXPECT_TRUE(single->isChecked());
}

TEST_F(StartTemplate, EnterAndEscapeDoNothingAnywhereOnTheDialog) {
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  auto* next = dlg.DlgItem<QPushButton>(1002);
  QSignalSpy clicks(next, &QPushButton::clicked);
  QSignalSpy rejected(&dlg, &QDialog::rejected);
  next->setDefault(true);
  next->setFocus();
  QTest::keyClick(next, Qt::Key_Return);
  QTest::keyClick(next, Qt::Key_Enter);
  auto* edit = dlg.DlgItem<QLineEdit>(1000);
  edit->setFocus();
  QSignalSpy returns(edit, &QLineEdit::returnPressed);
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Escape);
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_EQ(returns.count(), 0);
  EXPECT_EQ(rejected.count(), 0);
  EXPECT_TRUE(dlg.isVisible());
  // Other keys pass: typing still reaches the edit box.
  QTest::keyClicks(edit, "ab");
  EXPECT_EQ(edit->text(), "ab");
  // The space bar still presses a focused button.
  next->setFocus();
  QTest::keyClick(next, Qt::Key_Space);
  EXPECT_EQ(clicks.count(), 1);
}

TEST_F(StartTemplate, PressingTheBannerAndDraggingMovesTheWholeDialog) {
  dlg.move(100, 100);
  dlg.show();
  QWidget* banner = dlg.childAt(20, 20);
  ASSERT_NE(qobject_cast<QLabel*>(banner), nullptr);
  const QPoint start = dlg.pos();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 20), banner->mapToGlobal(QPointF(20, 20)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(banner, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(60, 50), banner->mapToGlobal(QPointF(60, 50)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&dlg, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(60, 50), banner->mapToGlobal(QPointF(60, 50)),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&dlg, &release);
  EXPECT_EQ(dlg.pos(), start + QPoint(40, 30));
}

TEST_F(StartTemplate, AWindowMoveStartsOnlyPastTheDragDistanceWithTheButtonHeld) {
  dlg.move(100, 100);
  dlg.show();
  int nRequests = 0;
  const auto old = win::CDialog::SetWindowMoveHook([&](win::CDialog&) { return ++nRequests, true; });
  const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(at), dlg.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &e);
  };
  const int d = QApplication::startDragDistance();
  const QPoint at(300, 20);
  // A tap: press and release at once.
  send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(nRequests, 0);
  // Moves without the button, or within the drag distance, start nothing.
  send(QEvent::MouseMove, at + QPoint(3 * d, 0), Qt::NoButton, Qt::NoButton);
  send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, at + QPoint(d - 1, 0), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(nRequests, 0);
  // Past it with the button held: one move request, not one per event.
  send(QEvent::MouseMove, at + QPoint(d, 1), Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseMove, at + QPoint(2 * d, 1), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(nRequests, 1);
  send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  win::CDialog::SetWindowMoveHook(old);
}

TEST(MessageBoxes, CarryTheCaptionIconsAndButtonsOfTheirKind) {
  QWidget owner;
  auto seen = uitest::AnswerMessageBoxes([&] { win::MessageBoxNotice(&owner, "Notice text"); });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, "Tarnwick v1.0");
  EXPECT_EQ(seen[0].text, "Notice text");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_EQ(seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen[0].owner, &owner);

  bool answer = true;
  seen = uitest::AnswerMessageBoxes([&] { answer = win::MessageBoxConfirm(nullptr, "Sure ?"); },
                                    {QMessageBox::No});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(answer);
  EXPECT_EQ(seen[0].icon, QMessageBox::Question);
  EXPECT_EQ(seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seen[0].owner, nullptr);
  uitest::AnswerMessageBoxes([&] { answer = win::MessageBoxConfirm(nullptr, "Sure ?"); }, {QMessageBox::Yes});
  EXPECT_TRUE(answer);
}

TEST(LinkButton, OpensPrefixAndAddressWithTheShell) {
  uitest::ShellScript shell;
  win::CLinkButton link;
  link.SetURLPrefix("mailto:");
  link.SetURL("support@example.com");
  link.setText("support@example.com");
  link.show();
  QTest::mouseClick(&link, Qt::LeftButton);
  EXPECT_EQ(shell.opened, QStringList{"mailto:support@example.com"});
}

}  // namespace
