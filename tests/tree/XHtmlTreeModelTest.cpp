// The check rules of the check-box tree, without a display: the folder
// tree R / A / {a1, a2} as the single-file page builds it, and the
// counting, walking, expansion and clearing rules around it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/tree/XHtmlTreeModel.h"

using namespace xht;

namespace {

struct Event {
  std::string kind;
  HTREEITEM item;
  int value;
  bool operator==(const Event&) const = default;
};

class Recorder : public XHtmlTreeListener {
public:
  void OnCheckboxClicked(HTREEITEM item, int check) override { events.push_back({"checked", item, check}); }
  void OnItemExpanded(HTREEITEM item, int expanded) override { events.push_back({"expanded", item, expanded}); }
  void OnExpand(HTREEITEM item, int code) override { events.push_back({"platform-expand", item, code}); }
  void OnBeforeDeleteAll() override { events.push_back({"before-clear", 0, 0}); }
  void OnAllDeleted() override { events.push_back({"cleared", 0, 0}); }
  std::vector<Event> Only(const std::string& kind) const {
    std::vector<Event> out;
    for (const Event& e : events)
      if (e.kind == kind) out.push_back(e);
    return out;
  }
  std::vector<Event> events;
};

HTREEITEM Insert(XHtmlTreeModel& model, HTREEITEM parent, const std::u16string& text,
                 HTREEITEM after = TVI_LAST) {
  TVINSERTSTRUCT ins;
  ins.hParent = parent;
  ins.hInsertAfter = after;
  ins.item.strText = text;
  ins.item.iImage = 10;
  ins.item.iSelectedImage = 10;
  return model.InsertTreeItem(ins);
}

// The page's way of filling the tree: every item inserted, then checked.
class FolderTree : public ::testing::Test {
protected:
  FolderTree() {
    model.ResetTree();
    model.Options().bSmartCheck = true;
    model.SetListener(&rec);
    R = Insert(model, TVI_ROOT, u"R");
    model.SetItemCheck(R, 1);
    A = Insert(model, R, u"A");
    model.SetItemCheck(A, 1);
    a1 = Insert(model, A, u"a1");
    model.SetItemCheck(a1, 1);
    a2 = Insert(model, A, u"a2");
    model.SetItemCheck(a2, 1);
    rec.events.clear();
  }
  std::vector<HTREEITEM> CheckedWalk() const {
    std::vector<HTREEITEM> out;
    for (HTREEITEM i = model.FindFirstChecked(); i != 0; i = model.FindNextChecked(i)) out.push_back(i);
    return out;
  }
  std::vector<int> Images() const {
    return {model.GetStateImage(R), model.GetStateImage(A), model.GetStateImage(a1), model.GetStateImage(a2)};
  }
  XHtmlTreeModel model;
  Recorder rec;
  HTREEITEM R = 0, A = 0, a1 = 0, a2 = 0;
};

}  // namespace

TEST_F(FolderTree, LoadedTreeIsFullyCheckedAndWalksInPreOrder) {
  EXPECT_EQ(Images(), (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{R, A, a1, a2}));
  const XHTMLTREEDATA* r = model.GetItemDataStruct(R);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->descendants, 3);
  EXPECT_EQ(r->checkedDescendants, 3);
  EXPECT_EQ(r->isChecked, 1);
}

TEST_F(FolderTree, UncheckingALeafMakesItsAncestorsMixed) {
  model.SetItemCheck(a1, 0);
  EXPECT_EQ(Images(), (std::vector<int>{3, 3, 1, 2}));
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{a2}));
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 1);
  EXPECT_EQ(model.GetItemCheck(A), 0);
  EXPECT_EQ(model.GetItemCheck(R), 0);
}

TEST_F(FolderTree, UncheckingAndRecheckingTheRootReachesEveryItem) {
  model.SetItemCheck(R, 0);
  EXPECT_EQ(Images(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_TRUE(CheckedWalk().empty());
  model.SetItemCheck(R, 1);
  EXPECT_EQ(Images(), (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{R, A, a1, a2}));
}

TEST_F(FolderTree, CheckingStepByStepFollowsTheCounts) {
  model.SetItemCheck(R, 0);
  model.SetItemCheck(a1, 1);  // A 1 of 2, R 1 of 3
  EXPECT_EQ(Images(), (std::vector<int>{3, 3, 2, 1}));
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 1);
  model.SetItemCheck(a2, 1);  // A complete, so R counts a2 and A
  EXPECT_EQ(Images(), (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 3);
  model.SetItemCheck(A, 0);  // delta -3
  EXPECT_EQ(Images(), (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 0);
}

TEST_F(FolderTree, CheckingAMixedItemChecksItsWholeSubtree) {
  model.SetItemCheck(a1, 0);
  ASSERT_EQ(model.GetStateImage(A), kStateMixed);
  // A click toggles the item's own flag, which is 0 for a mixed box.
  model.SetItemCheck(A, model.GetItemDataStruct(A)->isChecked ? 0 : 1);
  EXPECT_EQ(Images(), (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{R, A, a1, a2}));
}

TEST_F(FolderTree, NewUncheckedChildTurnsCheckedParentAndGrandparentMixed) {
  const HTREEITEM a3 = Insert(model, A, u"a3");
  ASSERT_NE(a3, 0u);
  EXPECT_EQ(model.GetStateImage(a3), kStateUnchecked);
  EXPECT_EQ(model.GetStateImage(A), kStateMixed);
  EXPECT_EQ(model.GetStateImage(R), kStateMixed);
  EXPECT_EQ(model.GetItemDataStruct(R)->descendants, 4);
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 2);  // a1, a2; A no longer
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{a1, a2}));
  model.SetItemCheck(a3, 1);
  EXPECT_EQ(CheckedWalk(), (std::vector<HTREEITEM>{R, A, a1, a2, a3}));
}

TEST_F(FolderTree, RepeatedCheckChangesNothingButNotifiesEachTime) {
  model.SetItemCheck(a1, 0);
  const std::vector<int> before = Images();
  model.SetItemCheck(a1, 0);
  EXPECT_EQ(Images(), before);
  EXPECT_EQ(model.GetItemDataStruct(R)->checkedDescendants, 1);
  EXPECT_EQ(rec.Only("checked"), (std::vector<Event>{{"checked", a1, 0}, {"checked", a1, 0}}));
}

TEST_F(FolderTree, NothingChecksWhenCheckBoxesAreOffOrTheItemIsUnknown) {
  model.SetItemCheck(0, 0);
  model.SetItemCheck(9999, 0);
  EXPECT_TRUE(rec.Only("checked").empty());
  model.Options().bCheckBoxes = false;
  model.SetItemCheck(a1, 0);
  EXPECT_TRUE(rec.Only("checked").empty());
  EXPECT_EQ(model.FindFirstChecked(), 0u);
  EXPECT_EQ(model.GetItemCheck(a1), 0);
  model.Options().bCheckBoxes = true;
  EXPECT_EQ(model.GetItemCheck(a1), 1);
}

TEST(XHtmlTreeModel, WithoutSmartCheckEveryItemKeepsItsOwnFlag) {
  XHtmlTreeModel model;
  model.ResetTree();
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  const HTREEITEM c = Insert(model, r, u"c");
  model.SetItemCheck(r, 1);
  EXPECT_EQ(model.GetStateImage(r), kStateChecked);
  EXPECT_EQ(model.GetStateImage(c), kStateUnchecked);
  EXPECT_EQ(model.FindFirstChecked(), r);
  EXPECT_EQ(model.FindNextChecked(r), 0u);
}

TEST(XHtmlTreeModel, InsertPositionsAndPreOrderWalk) {
  XHtmlTreeModel model;
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  const HTREEITEM b = Insert(model, r, u"b");
  const HTREEITEM a = Insert(model, r, u"a", TVI_FIRST);
  const HTREEITEM ab = Insert(model, r, u"ab", a);
  const HTREEITEM a1 = Insert(model, a, u"a1");
  const HTREEITEM r2 = Insert(model, TVI_ROOT, u"R2");
  EXPECT_EQ(Insert(model, 12345, u"orphan"), 0u);
  EXPECT_EQ(Insert(model, r, u"bad position", a1), 0u);  // a1 is no child of r

  std::vector<HTREEITEM> order;
  for (HTREEITEM i = model.GetRootItem(); i != 0; i = model.GetNextItemPreOrder(i)) order.push_back(i);
  EXPECT_EQ(order, (std::vector<HTREEITEM>{r, a, a1, ab, b, r2}));
  EXPECT_EQ(model.GetParentItem(a1), a);
  EXPECT_EQ(model.GetPrevSiblingItem(ab), a);
  EXPECT_EQ(model.GetCount(), 6u);
}

TEST(XHtmlTreeModel, WithoutImagesItemsGetTheNoImageIndex) {
  XHtmlTreeModel model;
  model.Options().bHasImages = false;
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  EXPECT_EQ(model.GetItemImage(r), kNoImage);
  EXPECT_EQ(model.GetItemSelectedImage(r), kNoImage);
}

TEST(XHtmlTreeModel, ExpansionBookkeepingNotifiesOnlyOnChange) {
  XHtmlTreeModel model;
  Recorder rec;
  model.SetListener(&rec);
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  const HTREEITEM c = Insert(model, r, u"c");

  model.ExpandTreeItem(r, TVE_EXPAND);
  model.ExpandTreeItem(r, TVE_EXPAND);
  EXPECT_EQ(model.GetItemDataStruct(r)->isExpanded, 1);
  EXPECT_EQ(model.GetItemDataStruct(r)->wasExpanded, 1);
  model.ExpandTreeItem(r, TVE_TOGGLE);
  EXPECT_EQ(model.GetItemDataStruct(r)->isExpanded, 0);
  model.ExpandTreeItem(r, TVE_COLLAPSERESET);
  model.ExpandTreeItem(r, 0x4000);  // unknown: passed on, nothing tracked
  model.ExpandTreeItem(c, TVE_EXPAND);  // no children: nothing tracked
  EXPECT_EQ(model.GetItemDataStruct(c)->isExpanded, 0);
  EXPECT_EQ(model.GetItemDataStruct(r)->wasExpanded, 1);

  EXPECT_EQ(rec.Only("expanded"), (std::vector<Event>{{"expanded", r, 1}, {"expanded", r, 0}}));
  EXPECT_EQ(rec.Only("platform-expand").size(), 6u);
}

TEST(XHtmlTreeModel, DoubleClickInvertsTrackedExpansionOfAFolder) {
  XHtmlTreeModel model;
  Recorder rec;
  model.SetListener(&rec);
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  const HTREEITEM c = Insert(model, r, u"c");
  EXPECT_TRUE(model.DoubleClickItem(r));
  EXPECT_TRUE(model.DoubleClickItem(c));
  EXPECT_EQ(model.GetItemDataStruct(r)->isExpanded, 1);
  EXPECT_EQ(model.GetItemDataStruct(c)->isExpanded, 0);
  EXPECT_EQ(rec.Only("expanded"), (std::vector<Event>{{"expanded", r, 1}}));
}

TEST(XHtmlTreeModel, HotLookLastsUntilTheStateIsRecomputed) {
  XHtmlTreeModel model;
  model.Options().bSmartCheck = true;
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");
  const HTREEITEM c = Insert(model, r, u"c");
  model.SetItemCheck(c, 1);
  model.SetHotItem(c);
  EXPECT_EQ(model.GetStateImage(c), kStateChecked + kStateHotBit);
  EXPECT_EQ(model.GetHotItem(), c);
  model.SetItemCheck(r, 0);
  EXPECT_EQ(model.GetStateImage(c), kStateUnchecked);
  EXPECT_EQ(model.GetHotItem(), 0u);
}

TEST(XHtmlTreeModel, ClearingDropsItemsRecordsAndRefusesWorkMeanwhile) {
  XHtmlTreeModel model;
  Recorder rec;
  model.SetListener(&rec);
  const HTREEITEM r = Insert(model, TVI_ROOT, u"R");

  // Whatever the widget does while it collapses happens before the
  // destroying flag; what arrives after the items are gone finds nothing.
  struct Meddler : Recorder {
    XHtmlTreeModel* model = nullptr;
    HTREEITEM inserted = 1;
    void OnAllDeleted() override {
      Recorder::OnAllDeleted();
      TVINSERTSTRUCT ins;
      inserted = model->InsertTreeItem(ins);
    }
  } meddler;
  meddler.model = &model;
  model.SetListener(&meddler);
  model.DeleteAllItems();
  EXPECT_EQ(meddler.inserted, 0u);
  EXPECT_EQ(model.GetCount(), 0u);
  EXPECT_EQ(model.GetItemDataStruct(r), nullptr);
  EXPECT_FALSE(model.IsDestroying());
  EXPECT_EQ(meddler.events.front().kind, "before-clear");

  // A new item never takes an old handle.
  EXPECT_NE(Insert(model, TVI_ROOT, u"again"), r);
}

TEST(XHtmlTreeModel, ResetTreeRestoresTheSetUpOptions) {
  XHtmlTreeModel model;
  model.Options().bSmartCheck = true;
  model.Options().bReadOnly = true;
  model.Options().bCheckBoxes = false;
  Insert(model, TVI_ROOT, u"R");
  model.ResetTree();
  EXPECT_EQ(model.GetCount(), 0u);
  EXPECT_FALSE(model.Options().bSmartCheck);
  EXPECT_FALSE(model.Options().bReadOnly);
  EXPECT_TRUE(model.Options().bCheckBoxes);
  EXPECT_TRUE(model.Options().bSelectFollowsCheck);
  EXPECT_EQ(model.Options().nCheckBoxSize, 16);
}

TEST(XHtmlTreeModel, ItemTextDataAndBoldStateAreKept) {
  XHtmlTreeModel model;
  TVINSERTSTRUCT ins;
  ins.item.strText = u"($Inbox)";
  ins.item.lParam = 0x8F0;
  const HTREEITEM r = model.InsertTreeItem(ins);
  model.SetItemState(r, TVIS_BOLD, TVIS_BOLD);
  EXPECT_EQ(model.GetItemText(r), u"($Inbox)");
  EXPECT_EQ(model.GetItemData(r), 0x8F0);
  EXPECT_EQ(model.GetItemState(r, TVIS_BOLD), TVIS_BOLD);
  model.SetItemState(r, 0, TVIS_BOLD);
  EXPECT_EQ(model.GetItemState(r, TVIS_BOLD), 0u);
}
