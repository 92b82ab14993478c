// The check-box tree as a user meets it: clicks on boxes, keys, tooltips and
// the drawing of the boxes, offscreen.
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTest>
#include <QThread>
#include <QToolTip>
#include <atomic>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "ui/tree/XHtmlTree.h"

using namespace xht;

namespace {

// A style that has no check-box look of its own.
class NoCheckBoxStyle : public QProxyStyle {
public:
  NoCheckBoxStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
  void drawPrimitive(PrimitiveElement pe, const QStyleOption* opt, QPainter* p, const QWidget* w) const override {
    if (pe == PE_IndicatorCheckBox) return;
    QProxyStyle::drawPrimitive(pe, opt, p, w);
  }
};

class TreeWidget : public ::testing::Test {
protected:
  TreeWidget() {
    tree = std::make_unique<CXHtmlTree>();
    tree->resize(240, 300);
    tree->ResetTree();
    tree->SetSmartCheckBoxes(true);
    R = Add(TVI_ROOT, u"R");
    A = Add(R, u"A");
    a1 = Add(A, u"a1");
    a2 = Add(A, u"a2");
    B = Add(R, u"B");
    tree->ExpandTreeItem(R, TVE_EXPAND);
    tree->show();
    Render();
  }
  HTREEITEM Add(HTREEITEM parent, const std::u16string& text) {
    TVINSERTSTRUCT ins;
    ins.hParent = parent;
    ins.item.strText = text;
    const HTREEITEM item = tree->InsertTreeItem(ins);
    tree->SetItemCheck(item, 1);
    return item;
  }
  void Render() { (void)tree->grab(); }
  void ClickBox(HTREEITEM item) {
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->StateIconRect(item).center());
  }
  void Key(int key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(tree.get(), Qt::Key(key), mods); }
  std::unique_ptr<CXHtmlTree> tree;
  HTREEITEM R = 0, A = 0, a1 = 0, a2 = 0, B = 0;
};

}  // namespace

TEST_F(TreeWidget, ClickOnAMixedBoxChecksTheSubtreeAndDrawsItHot) {
  tree->ExpandTreeItem(A, TVE_EXPAND);
  Render();
  ClickBox(a1);
  ASSERT_EQ(tree->GetStateImage(A), kStateMixed);
  ASSERT_EQ(tree->GetStateImage(R), kStateMixed);

  QSignalSpy clicked(tree.get(), &CXHtmlTree::WM_XHTMLTREE_CHECKBOX_CLICKED);
  ClickBox(A);
  EXPECT_EQ(tree->GetItemCheck(A), 1);
  EXPECT_EQ(tree->GetItemCheck(a1), 1);
  EXPECT_EQ(tree->GetItemCheck(R), 1);
  EXPECT_EQ(tree->GetStateImage(A), kStateChecked + kStateHotBit);
  EXPECT_EQ(tree->GetSelectedItem(), A);
  ASSERT_EQ(clicked.count(), 1);
  EXPECT_EQ(clicked.at(0).at(1).toInt(), 1);
}

TEST_F(TreeWidget, BoxTogglesOnReleaseOverTheBoxThatWasPressed) {
  const QPoint onB = tree->StateIconRect(B).center();
  QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, onB);
  EXPECT_EQ(tree->GetItemCheck(B), 1);  // a press alone changes nothing
  QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, onB);
  EXPECT_EQ(tree->GetItemCheck(B), 0);
  // Pressed on one box and released on another: no click, no change.
  QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, tree->StateIconRect(A).center());
  QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, onB);
  EXPECT_EQ(tree->GetItemCheck(A), 1);
  EXPECT_EQ(tree->GetItemCheck(B), 0);
}

TEST_F(TreeWidget, LinesJoinItemsToTheirParentsAndSiblings) {
  const QImage shot = tree->viewport()->grab().toImage();
  const QRgb background = shot.pixel(shot.width() - 1, shot.height() - 1);
  // Any pixel off the background along a segment shows a (dotted) line.
  const auto drawn = [&](QPoint from, QPoint to) {
    for (QPoint p = from; p != to; p += QPoint(p.x() != to.x(), p.y() != to.y()))
      if (shot.pixel(p) != background) return true;
    return false;
  };
  const QRect b = tree->GetItemRect(B);
  const int x = b.left() - tree->indentation() / 2;  // B's own branch column
  const int yb = b.top() + b.height() / 2;
  EXPECT_TRUE(drawn({x, b.top()}, {x, yb}));          // up to its sibling A
  EXPECT_TRUE(drawn({x + 2, yb}, {b.left(), yb}));    // across to B
  const QRect r = tree->GetItemRect(R);
  const int yr = r.top() + r.height() / 2;  // lines at root: the root joins in too
  EXPECT_TRUE(drawn({r.left() - tree->indentation() / 2 + 7, yr}, {r.left(), yr}));
}

TEST_F(TreeWidget, ClickOnTheLabelDoesNotToggle) {
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->LabelRect(B).center());
  EXPECT_EQ(tree->GetItemCheck(B), 1);
  EXPECT_EQ(tree->GetSelectedItem(), B);
}

TEST_F(TreeWidget, SpaceTogglesTheSelectedItemLikeAClick) {
  tree->SelectItem(B);
  tree->setFocus();
  Key(Qt::Key_Space);
  EXPECT_EQ(tree->GetItemCheck(B), 0);
  EXPECT_EQ(tree->GetStateImage(R), kStateMixed);
  EXPECT_EQ(tree->GetStateImage(B), kStateUnchecked);  // no hot look from the keyboard
  Key(Qt::Key_Space);
  EXPECT_EQ(tree->GetItemCheck(B), 1);
  EXPECT_EQ(tree->GetItemCheck(R), 1);

  tree->SetReadOnly(true);
  Key(Qt::Key_Space);
  EXPECT_EQ(tree->GetItemCheck(B), 1);
}

TEST_F(TreeWidget, RightArrowExpandsACollapsedFolderThenMovesToItsChild) {
  tree->SelectItem(A);
  QSignalSpy expanded(tree.get(), &CXHtmlTree::WM_XHTMLTREE_ITEM_EXPANDED);
  Key(Qt::Key_Right);
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(A));
  EXPECT_EQ(tree->GetItemDataStruct(A)->isExpanded, 1);
  EXPECT_EQ(tree->GetSelectedItem(), A);
  EXPECT_EQ(expanded.count(), 1);
  Key(Qt::Key_Right);
  EXPECT_EQ(tree->GetSelectedItem(), a1);
  Key(Qt::Key_Left);  // a leaf: to the parent
  EXPECT_EQ(tree->GetSelectedItem(), A);
  Key(Qt::Key_Left);  // tracked expanded: collapse
  EXPECT_FALSE(tree->IsItemExpandedOnScreen(A));
  EXPECT_EQ(tree->GetItemDataStruct(A)->isExpanded, 0);
}

TEST_F(TreeWidget, UpAndDownMoveThroughVisibleItems) {
  tree->SelectItem(R);
  Key(Qt::Key_Down);
  EXPECT_EQ(tree->GetSelectedItem(), A);
  Key(Qt::Key_Down);  // A is collapsed: its children are skipped
  EXPECT_EQ(tree->GetSelectedItem(), B);
  Key(Qt::Key_Up);
  EXPECT_EQ(tree->GetSelectedItem(), A);
}

TEST_F(TreeWidget, KeypadKeysExpandAndCollapseThroughTheBookkeeping) {
  tree->SelectItem(R);
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_FALSE(tree->IsItemExpandedOnScreen(R));
  EXPECT_EQ(tree->GetItemDataStruct(R)->isExpanded, 0);
  Key(Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(R));
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(A));
  EXPECT_EQ(tree->GetItemDataStruct(A)->wasExpanded, 1);
  tree->SelectItem(A);
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_FALSE(tree->IsItemExpandedOnScreen(A));
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(A));
}

TEST_F(TreeWidget, DoubleClickOnAFolderTracksTheExpansion) {
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->LabelRect(A).center());
  EXPECT_TRUE(tree->IsItemExpandedOnScreen(A));
  EXPECT_EQ(tree->GetItemDataStruct(A)->isExpanded, 1);
}

TEST_F(TreeWidget, TooltipOnlyForALabelCutOffAtTheRightEdge) {
  const std::u16string longText(120, u'x');
  const HTREEITEM longItem = Add(R, longText + u"END");
  Render();
  const QPoint shortPos = tree->LabelRect(B).center();
  const QPoint longPos = tree->LabelRect(longItem).topLeft() + QPoint(5, 3);
  EXPECT_TRUE(tree->TooltipTextAt(shortPos).isEmpty());
  EXPECT_EQ(tree->TooltipTextAt(longPos), QString(78, 'x'));

  QHelpEvent help(QEvent::ToolTip, longPos, tree->viewport()->mapToGlobal(longPos));
  QApplication::sendEvent(tree->viewport(), &help);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QString(78, 'x'));
  QToolTip::hideText();

  // The parent may take the tooltip over.
  QObject::connect(tree.get(), &CXHtmlTree::WM_XHTMLTREE_DISPLAY_TOOLTIP,
                   [](const XHTMLTREEMSGDATA&, bool* pbSuppress) { *pbSuppress = true; });
  EXPECT_TRUE(tree->TooltipTextAt(longPos).isEmpty());
}

TEST_F(TreeWidget, TooltipIsWrappedAtSpacesToThreeQuartersOfTheTree) {
  const std::u16string label =
      u"Harbour extension - correspondence with the port authority and the city council about the quay";
  const HTREEITEM item = Add(R, label);
  Render();
  const QPoint pos = tree->LabelRect(item).topLeft() + QPoint(5, 3);
  QHelpEvent help(QEvent::ToolTip, pos, tree->viewport()->mapToGlobal(pos));
  QApplication::sendEvent(tree->viewport(), &help);
  ASSERT_TRUE(QToolTip::isVisible());
  const QString shown = QToolTip::text();
  QToolTip::hideText();

  const QStringList lines = shown.split(QLatin1Char('\n'));
  EXPECT_GT(lines.size(), 1);
  const QFontMetrics metrics(QToolTip::font());
  for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), tree->DefaultTipWidth()) << line.toStdString();
  EXPECT_EQ(lines.join(QLatin1Char(' ')), QString::fromStdU16String(label).left(78));

  // A word wider than the tip is not cut.
  const QString word(60, QLatin1Char('w'));
  EXPECT_EQ(CXHtmlTree::WrapTipText(QStringLiteral("a ") + word + QStringLiteral(" b"), metrics, 50),
            QStringLiteral("a\n") + word + QStringLiteral("\nb"));
}

TEST_F(TreeWidget, TooltipAreasAreAnnouncedAfterAResize) {
  QSignalSpy init(tree.get(), &CXHtmlTree::WM_XHTMLTREE_INIT_TOOLTIP);
  tree->resize(300, 200);
  Render();
  EXPECT_EQ(init.count(), 1);
  Render();
  EXPECT_EQ(init.count(), 1);
}

TEST(TreeThreads, FillingFromAWorkerHappensOnTheWidgetsThread) {
  CXHtmlTree tree;
  tree.ResetTree();
  tree.SetSmartCheckBoxes(true);
  tree.show();
  std::atomic<bool> done{false};
  Qt::HANDLE insertedOn = nullptr;
  QObject::connect(&tree, &CXHtmlTree::WM_XHTMLTREE_CHECKBOX_CLICKED,
                   [&](const XHTMLTREEMSGDATA&, int) { insertedOn = QThread::currentThreadId(); });
  std::thread worker([&] {
    TVINSERTSTRUCT ins;
    ins.item.strText = u"R";
    const HTREEITEM r = tree.InsertTreeItem(ins);
    for (int i = 0; i < 20; ++i) {
      ins.hParent = r;
      ins.item.strText = u"child";
      tree.SetItemCheck(tree.InsertTreeItem(ins), 1);
    }
    tree.SetItemCheck(r, 1);
    done = true;
  });
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
  EXPECT_EQ(insertedOn, QThread::currentThreadId());
  EXPECT_EQ(tree.topLevelItemCount(), 1);
  EXPECT_EQ(tree.topLevelItem(0)->childCount(), 20);
  EXPECT_EQ(tree.GetItemCheck(tree.GetRootItem()), 1);
}

TEST(TreeDrawing, WithoutAStyledCheckBoxTheBoxesAreStillDrawn) {
  NoCheckBoxStyle style;
  CXHtmlTree tree;
  tree.setStyle(&style);
  tree.ResetTree();
  EXPECT_FALSE(tree.StripIsThemed());
  const QImage strip = tree.CheckBoxStrip().toImage();
  const QColor background = tree.BackgroundColor();
  auto differs = [&](int cell) {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        if (strip.pixelColor(cell * 16 + x, y) != background) return true;
    return false;
  };
  EXPECT_FALSE(differs(0));
  EXPECT_TRUE(differs(1));
  EXPECT_TRUE(differs(2));
  EXPECT_TRUE(differs(3));
  EXPECT_NE(strip.copy(16, 0, 16, 16), strip.copy(32, 0, 16, 16));  // checked differs from unchecked
  EXPECT_NE(strip.copy(32, 0, 16, 16), strip.copy(48, 0, 16, 16));  // mixed differs from checked
  tree.setStyle(nullptr);
}

TEST(TreeDrawing, AStyleWithCheckBoxesDrawsTheThemedStripUnlessStylesAreOff) {
  // setStyle takes no ownership; the style outlives the tree that uses it.
  const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
  CXHtmlTree tree;
  tree.setStyle(fusion.get());
  tree.ResetTree();
  EXPECT_TRUE(tree.StripIsThemed());
  tree.SetVisualStyles(false);
  EXPECT_FALSE(tree.StripIsThemed());
  EXPECT_EQ(tree.CheckBoxStrip().width(), 17 * 16);
}

TEST(TreeMessages, EveryRegisteredMessageIsASignalOfTheTree) {
  for (std::string_view name : kRegisteredMessages) {
    bool found = false;
    const QMetaObject* meta = &CXHtmlTree::staticMetaObject;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
      if (meta->method(i).methodType() == QMetaMethod::Signal &&
          meta->method(i).name() == QByteArray(name.data(), static_cast<int>(name.size())))
        found = true;
    EXPECT_TRUE(found) << name;
  }
}
