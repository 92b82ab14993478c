// The check model of the check-box tree: the items with their texts, images,
// item parameters and bold state, one XHTMLTREEDATA record per item, the
// three-state checks kept consistent over the hierarchy (smart check mode),
// the walk over checked items, the expansion bookkeeping and clearing.
//
// The widget CXHtmlTree wraps one of these and mirrors it on screen through
// the XHtmlTreeListener calls; everything a user or the page can do to the
// checks goes through here, so every rule is testable without a display.
//
// Threads: not thread-safe. The owning widget's thread (the user-interface
// thread) is the only one that may call it; a loading worker hands its
// records over with queued calls instead of inserting directly.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace xht {

// Item handle; 0 means "no item". Handles are never reused within one model,
// so a handle kept across a clear never names a new item.
using HTREEITEM = std::uint32_t;

// Insert positions, as the platform tree knows them.
inline constexpr HTREEITEM TVI_ROOT = 0xFFFF0000u;
inline constexpr HTREEITEM TVI_FIRST = 0xFFFF0001u;
inline constexpr HTREEITEM TVI_LAST = 0xFFFF0002u;

// Expansion codes, as the platform tree knows them.
inline constexpr int TVE_COLLAPSE = 0x0001;
inline constexpr int TVE_EXPAND = 0x0002;
inline constexpr int TVE_TOGGLE = 0x0003;
inline constexpr int TVE_COLLAPSERESET = 0x8000;

// Item state bit for a bold label.
inline constexpr std::uint32_t TVIS_BOLD = 0x0010;

// Image index that draws no image (used when the tree has no image list).
inline constexpr int kNoImage = 65534;
// "No colour" for the per-item colour fields nothing here ever sets.
inline constexpr std::uint32_t kNoColor = 0xFFFFFFFFu;

// State-image indexes: 1 unchecked, 2 checked, 3 mixed; +4 disabled; +8 hot.
inline constexpr int kStateUnchecked = 1;
inline constexpr int kStateChecked = 2;
inline constexpr int kStateMixed = 3;
inline constexpr int kStateDisabledBit = 4;
inline constexpr int kStateHotBit = 8;

// The per-item record. Fields for features the tree never switches on
// (notes, colours, fonts) are kept at their defaults.
struct XHTMLTREEDATA {
  virtual ~XHTMLTREEDATA() = default;
  int isChecked = 0;
  int isEnabled = 1;
  int isSeparator = 0;
  const void* hTreeCtrl = nullptr;  // non-owning: the tree that inserted the item
  int isExpanded = 0;
  int wasExpanded = 0;
  int descendants = 0;
  int checkedDescendants = 0;
  int separatorDescendants = 0;
  int textRight = 0;
  std::u16string strNote;
  int nTipWidth = 0;
  std::uint32_t crText = kNoColor;
  std::uint32_t crBackground = kNoColor;
  int bBold = 0;
  int bItalic = 0;
  int bUnderline = 0;
  int bStrikeout = 0;
};

struct TVITEM {
  std::u16string strText;
  int iImage = 0;
  int iSelectedImage = 0;
  std::uint32_t state = 0;  // TVIS_BOLD
  std::intptr_t lParam = 0;
};

struct TVINSERTSTRUCT {
  HTREEITEM hParent = TVI_ROOT;
  HTREEITEM hInsertAfter = TVI_LAST;  // TVI_FIRST, TVI_LAST or a child of hParent
  TVITEM item;
};

// Tree options; the values are those set-up (ResetTree) gives.
struct XHtmlTreeOptions {
  bool bCheckBoxes = true;
  bool bSmartCheck = false;
  bool bSelectFollowsCheck = true;
  bool bReadOnly = false;
  bool bToolTip = true;
  bool bHasImages = true;
  int nCheckBoxSize = 16;
  int nTextMargin = 0;
};

// What the model tells its widget. Every call arrives on the caller's thread,
// synchronously, after the model's own state is already updated.
class XHtmlTreeListener {
public:
  virtual ~XHtmlTreeListener() = default;
  virtual void OnItemInserted(HTREEITEM /*item*/) {}
  // Text, images, item parameter or bold state changed.
  virtual void OnItemChanged(HTREEITEM /*item*/) {}
  virtual void OnStateImageChanged(HTREEITEM /*item*/, int /*stateImage*/) {}
  // The expansion request passed on to the platform tree.
  virtual void OnExpand(HTREEITEM /*item*/, int /*code*/) {}
  // Clearing is about to start: collapse, select the first root, scroll left.
  virtual void OnBeforeDeleteAll() {}
  virtual void OnAllDeleted() {}
  // The registered notifications to the parent.
  virtual void OnCheckboxClicked(HTREEITEM /*item*/, int /*check*/) {}
  virtual void OnItemExpanded(HTREEITEM /*item*/, int /*expanded*/) {}
};

class XHtmlTreeModel {
public:
  // owner: the tree the records name as theirs (non-owning, may be null).
  explicit XHtmlTreeModel(const void* owner = nullptr);
  ~XHtmlTreeModel();
  XHtmlTreeModel(const XHtmlTreeModel&) = delete;
  XHtmlTreeModel& operator=(const XHtmlTreeModel&) = delete;

  // Non-owning; null detaches.
  void SetListener(XHtmlTreeListener* listener) { m_pListener = listener; }

  XHtmlTreeOptions& Options() { return m_options; }
  const XHtmlTreeOptions& Options() const { return m_options; }
  bool IsDestroying() const { return m_bDestroying; }

  // Set-up: deletes every item and record and restores the option values.
  void ResetTree();
  // Clearing: OnBeforeDeleteAll, then every item and record goes.
  void DeleteAllItems();

  // Returns the new item, or 0 when the parent or the insert position names
  // no item (or while the tree is being cleared).
  [[nodiscard]] HTREEITEM InsertTreeItem(const TVINSERTSTRUCT& insert);

  void SetItemCheck(HTREEITEM item, int check);
  [[nodiscard]] int GetItemCheck(HTREEITEM item) const;
  [[nodiscard]] HTREEITEM FindFirstChecked() const;
  [[nodiscard]] HTREEITEM FindNextChecked(HTREEITEM item) const;

  void ExpandTreeItem(HTREEITEM item, int code);
  // A double-click on an item. Returns false when the default action
  // (expanding or collapsing) must be blocked.
  bool DoubleClickItem(HTREEITEM item);

  // State image as the rules compute it (0 without a record).
  [[nodiscard]] int ComputeStateImage(HTREEITEM item) const;
  // State image as last written to the item (the hot look included).
  [[nodiscard]] int GetStateImage(HTREEITEM item) const;
  // Draws the item's box in its hot look until its state is next recomputed.
  void SetHotItem(HTREEITEM item);
  [[nodiscard]] HTREEITEM GetHotItem() const { return m_hHotItem; }

  // The record of an item, or null.
  [[nodiscard]] const XHTMLTREEDATA* GetItemDataStruct(HTREEITEM item) const;
  void SetTextRight(HTREEITEM item, int textRight);

  // Platform tree access.
  [[nodiscard]] bool IsItem(HTREEITEM item) const;
  [[nodiscard]] std::size_t GetCount() const { return m_nodes.size(); }
  [[nodiscard]] std::u16string GetItemText(HTREEITEM item) const;
  void SetItemText(HTREEITEM item, const std::u16string& text);
  [[nodiscard]] std::intptr_t GetItemData(HTREEITEM item) const;
  void SetItemData(HTREEITEM item, std::intptr_t lParam);
  [[nodiscard]] std::uint32_t GetItemState(HTREEITEM item, std::uint32_t mask) const;
  void SetItemState(HTREEITEM item, std::uint32_t state, std::uint32_t mask);
  [[nodiscard]] int GetItemImage(HTREEITEM item) const;
  [[nodiscard]] int GetItemSelectedImage(HTREEITEM item) const;
  [[nodiscard]] HTREEITEM GetRootItem() const;
  [[nodiscard]] HTREEITEM GetParentItem(HTREEITEM item) const;
  [[nodiscard]] HTREEITEM GetChildItem(HTREEITEM item) const;
  [[nodiscard]] HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  [[nodiscard]] HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
  [[nodiscard]] bool ItemHasChildren(HTREEITEM item) const;
  // Pre-order successor: first child, else next sibling, else the next
  // sibling of the nearest ancestor that has one; 0 at the end.
  [[nodiscard]] HTREEITEM GetNextItemPreOrder(HTREEITEM item) const;
  // The direct children of item (TVI_ROOT for the root items).
  [[nodiscard]] const std::vector<HTREEITEM>& GetChildren(HTREEITEM item) const;

private:
  struct Node {
    HTREEITEM hParent = 0;  // 0 for a root item
    std::vector<HTREEITEM> vecChildren;
    TVITEM item;
    int nStateImage = 0;
  };

  Node* FindNode(HTREEITEM item);
  const Node* FindNode(HTREEITEM item) const;
  XHTMLTREEDATA* FindRecord(HTREEITEM item);
  void WriteStateImage(HTREEITEM item, int stateImage);
  void RefreshStateImage(HTREEITEM item);
  // Adds delta to the checked counts of every ancestor of item, carrying the
  // change of each ancestor's own check to the next one up.
  void UpdateAncestors(HTREEITEM item, int delta, bool bCountNewDescendant);
  void SetSubtreeCheck(HTREEITEM item, int check);
  void DeleteEverything();

  const void* m_pOwner;                     // non-owning: the tree widget
  XHtmlTreeListener* m_pListener = nullptr;  // non-owning
  XHtmlTreeOptions m_options;
  bool m_bDestroying = false;
  HTREEITEM m_hNextHandle = 1;
  HTREEITEM m_hHotItem = 0;
  std::vector<HTREEITEM> m_vecRoots;
  std::map<HTREEITEM, Node> m_nodes;
  std::map<HTREEITEM, std::unique_ptr<XHTMLTREEDATA>> m_mapRecords;
};

}  // namespace xht
