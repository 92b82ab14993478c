// CXHtmlTree: a tree of folders with its own three-state check boxes.
//
// The control wraps an xht::XHtmlTreeModel (items, records, checks,
// expansion bookkeeping) and shows it in a QTreeWidget: it draws the check
// boxes from a 17-cell strip (the current style's check-box look, or a
// plain flat look when the style draws none), draws the labels itself (bold
// for bold items), toggles checks by a click on the box and by the space
// bar, expands and moves with the arrow and keypad keys, and shows the full
// label (its first 78 characters) as a tooltip only when it is cut off at
// the right edge. It tells its parent about checks, expansion and tooltips
// through the signals named in XHtmlTreeMessages.h.
//
// Threads: a widget; it belongs to the user-interface thread. The calls that
// fill and check the tree (InsertTreeItem, SetItemCheck, SetItemState,
// SetItemData, ExpandTreeItem) may also be made from a worker: they are then
// carried out on the user-interface thread while the worker waits, so the
// tree is never changed under a paint or a click. The user-interface thread
// must therefore not block waiting for such a worker.
#pragma once

#include <QFontMetrics>
#include <QPixmap>
#include <QTreeWidget>
#include <functional>
#include <map>
#include <vector>

#include "ui/tree/XHtmlTreeMessages.h"
#include "ui/tree/XHtmlTreeModel.h"

namespace xht {

// Hit-test results, as the platform tree reports them.
inline constexpr unsigned TVHT_NOWHERE = 0x0001;
inline constexpr unsigned TVHT_ONITEMICON = 0x0002;
inline constexpr unsigned TVHT_ONITEMLABEL = 0x0004;
inline constexpr unsigned TVHT_ONITEMINDENT = 0x0008;
inline constexpr unsigned TVHT_ONITEMBUTTON = 0x0010;
inline constexpr unsigned TVHT_ONITEMRIGHT = 0x0020;
inline constexpr unsigned TVHT_ONITEMSTATEICON = 0x0040;

// Number of cells in the check-box strip and the longest tooltip text.
inline constexpr int kCheckBoxCells = 17;
inline constexpr int kMaxTipChars = 78;

}  // namespace xht

class CXHtmlTree;

// The header every notification carries.
struct XHTMLTREEMSGDATA {
  CXHtmlTree* hCtrl = nullptr;  // non-owning: the sending tree
  int nCtrlId = 0;
  xht::HTREEITEM item = 0;
};
Q_DECLARE_METATYPE(XHTMLTREEMSGDATA)

class CXHtmlTree : public QTreeWidget, private xht::XHtmlTreeListener {
  Q_OBJECT

public:
  using HTREEITEM = xht::HTREEITEM;

  explicit CXHtmlTree(QWidget* parent = nullptr);
  ~CXHtmlTree() override;
  CXHtmlTree(const CXHtmlTree&) = delete;
  CXHtmlTree& operator=(const CXHtmlTree&) = delete;

  void SetDlgCtrlID(int nCtrlId) { m_nCtrlId = nCtrlId; }
  int GetDlgCtrlID() const { return m_nCtrlId; }

  // Set-up: removes every item and record, restores the option defaults
  // and rebuilds the check-box strip.
  void ResetTree();
  void SetCheckBoxes(bool bOn);
  void SetSmartCheckBoxes(bool bOn) { m_model.Options().bSmartCheck = bOn; }
  void SetSelectFollowsCheck(bool bOn) { m_model.Options().bSelectFollowsCheck = bOn; }
  void SetReadOnly(bool bOn) { m_model.Options().bReadOnly = bOn; }
  void SetImages(bool bOn) { m_model.Options().bHasImages = bOn; }
  void SetTextMargin(int nPixels) { m_model.Options().nTextMargin = nPixels; }
  const xht::XHtmlTreeOptions& Options() const { return m_model.Options(); }

  // The normal image list: a strip of square images of side nCx; image i is
  // the i-th square. An empty strip removes it.
  void SetImageList(const QPixmap& strip, int nCx);
  bool HasImageList() const { return !m_vecImages.empty(); }

  // Optional colour overrides of background and text (invalid: the palette's).
  void SetBkColor(const QColor& color);
  void SetTextColor(const QColor& color);

  // Model operations (see XHtmlTreeModel.h).
  HTREEITEM InsertTreeItem(const xht::TVINSERTSTRUCT& insert);
  void SetItemCheck(HTREEITEM item, int check);
  int GetItemCheck(HTREEITEM item) const { return m_model.GetItemCheck(item); }
  HTREEITEM FindFirstChecked() const { return m_model.FindFirstChecked(); }
  HTREEITEM FindNextChecked(HTREEITEM item) const { return m_model.FindNextChecked(item); }
  void ExpandTreeItem(HTREEITEM item, int code);
  void DeleteAllItems();
  const xht::XHTMLTREEDATA* GetItemDataStruct(HTREEITEM item) const { return m_model.GetItemDataStruct(item); }
  int GetStateImage(HTREEITEM item) const { return m_model.GetStateImage(item); }

  // Platform tree access.
  QString GetItemText(HTREEITEM item) const;
  std::intptr_t GetItemData(HTREEITEM item) const { return m_model.GetItemData(item); }
  void SetItemData(HTREEITEM item, std::intptr_t lParam);
  std::uint32_t GetItemState(HTREEITEM item, std::uint32_t mask) const { return m_model.GetItemState(item, mask); }
  void SetItemState(HTREEITEM item, std::uint32_t state, std::uint32_t mask);
  int GetItemImage(HTREEITEM item) const { return m_model.GetItemImage(item); }
  HTREEITEM GetRootItem() const { return m_model.GetRootItem(); }
  HTREEITEM GetChildItem(HTREEITEM item) const { return m_model.GetChildItem(item); }
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return m_model.GetNextSiblingItem(item); }
  HTREEITEM GetParentItem(HTREEITEM item) const { return m_model.GetParentItem(item); }
  bool ItemHasChildren(HTREEITEM item) const { return m_model.ItemHasChildren(item); }
  HTREEITEM GetSelectedItem() const;
  // Selects an enabled item as the caret item (nothing for a disabled one).
  void SelectItem(HTREEITEM item);
  bool IsItemExpandedOnScreen(HTREEITEM item) const;

  // Geometry in viewport coordinates (empty when the item is not shown).
  QRect GetItemRect(HTREEITEM item) const;
  QRect StateIconRect(HTREEITEM item) const;
  QRect LabelRect(HTREEITEM item) const;
  HTREEITEM HitTest(const QPoint& viewportPos, unsigned* pFlags) const;

  // The text the tooltip would show at this viewport point; empty when the
  // label there is fully visible or nothing is there. Asks the parent first.
  QString TooltipTextAt(const QPoint& viewportPos);
  // Default tooltip width: three quarters of the tree's width when that is
  // at least 200 pixels, else half of the parent's width.
  int DefaultTipWidth() const;
  // text broken into lines at spaces so that each line fits maxWidth, as a
  // tooltip with a maximum width shows it; a word wider than that stays
  // whole on its own line.
  static QString WrapTipText(const QString& text, const QFontMetrics& metrics, int maxWidth);

  // The check-box strip as last built (17 cells of CheckBoxSize square).
  const QPixmap& CheckBoxStrip() const { return m_checkBoxStrip; }
  // Whether the strip was drawn with the style's own check-box look.
  bool StripIsThemed() const { return m_bStripThemed; }
  // Visual styles off: the flat look even when the style has its own.
  void SetVisualStyles(bool bOn);

  QColor BackgroundColor() const;
  QColor TextColor() const;
  const QPixmap* NormalImage(int nIndex) const;
  xht::XHtmlTreeModel& Model() { return m_model; }

signals:
  void WM_XHTMLTREE_CHECKBOX_CLICKED(const XHTMLTREEMSGDATA& header, int check);
  void WM_XHTMLTREE_ITEM_EXPANDED(const XHTMLTREEMSGDATA& header, int expanded);
  void WM_XHTMLTREE_DISPLAY_TOOLTIP(const XHTMLTREEMSGDATA& header, bool* pbSuppress);
  void WM_XHTMLTREE_INIT_TOOLTIP(const XHTMLTREEMSGDATA& header);

protected:
  bool viewportEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  friend class XHtmlTreeDelegate;

  // Where the parts of an item sit inside its cell (viewport coordinates).
  struct ItemLayout {
    QRect stateRect;  // empty without check boxes
    QRect iconRect;   // empty without a normal image list
    int nLabelLeft = 0;
  };
  ItemLayout LayoutOf(const QRect& cell) const;
  int RowHeight() const;

  // Listener: mirrors the model on screen and forwards notifications.
  void OnItemInserted(HTREEITEM item) override;
  void OnItemChanged(HTREEITEM item) override;
  void OnStateImageChanged(HTREEITEM item, int stateImage) override;
  void OnExpand(HTREEITEM item, int code) override;
  void OnBeforeDeleteAll() override;
  void OnAllDeleted() override;
  void OnCheckboxClicked(HTREEITEM item, int check) override;
  void OnItemExpanded(HTREEITEM item, int expanded) override;

  XHTMLTREEMSGDATA Header(HTREEITEM item);
  QTreeWidgetItem* ItemOf(HTREEITEM item) const;
  HTREEITEM HandleOf(const QTreeWidgetItem* item) const;
  void UpdateItem(HTREEITEM item);
  void RunOnOwnThread(const std::function<void()>& work);
  void BuildCheckBoxStrip();
  // A click on the box (bClick: select and draw hot) or the space bar.
  void ToggleByUser(HTREEITEM item, bool bClick);
  bool HandleArrowKey(QKeyEvent* event);
  void ExpandAllBelow(HTREEITEM item);
  void RebuildTips();

  xht::XHtmlTreeModel m_model;
  int m_nCtrlId = 0;
  HTREEITEM m_hPressedBox = 0;  // the box the left button went down on
  bool m_bVisualStyles = true;
  bool m_bStripThemed = false;
  bool m_bRebuildTips = true;
  QPixmap m_checkBoxStrip;
  std::vector<QPixmap> m_vecImages;
  QColor m_crBkOverride;
  QColor m_crTextOverride;
  std::map<HTREEITEM, QTreeWidgetItem*> m_mapItems;  // non-owning: the widget owns its items
};
