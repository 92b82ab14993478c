#include "ui/tree/XHtmlTree.h"

#include <algorithm>
#include <utility>

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QThread>
#include <QToolTip>

#include "ui/tree/XHtmlTreeDelegate.h"

using namespace xht;

CXHtmlTree::CXHtmlTree(QWidget* parent) : QTreeWidget(parent), m_model(this) {
  setColumnCount(1);
  setHeaderHidden(true);
  // The single column is as wide as its widest label, so a long label makes
  // the horizontal scroll bar appear instead of being cut silently.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);
  setExpandsOnDoubleClick(false);  // double-clicks go through the bookkeeping
  setUniformRowHeights(true);
  setRootIsDecorated(true);
  setItemDelegate(new XHtmlTreeDelegate(this));
  m_model.SetListener(this);
  BuildCheckBoxStrip();
}

CXHtmlTree::~CXHtmlTree() {
  // The records go before the widget's own items; nothing is reported then.
  m_model.SetListener(nullptr);
  m_model.ResetTree();
  m_mapItems.clear();
}

void CXHtmlTree::RunOnOwnThread(const std::function<void()>& work) {
  if (QThread::currentThread() == thread())
    work();
  else
    QMetaObject::invokeMethod(this, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void CXHtmlTree::ResetTree() {
  m_model.ResetTree();
  m_bRebuildTips = true;
  BuildCheckBoxStrip();
  viewport()->update();
}

void CXHtmlTree::SetCheckBoxes(bool bOn) {
  m_model.Options().bCheckBoxes = bOn;
  BuildCheckBoxStrip();
  viewport()->update();
}

void CXHtmlTree::SetImageList(const QPixmap& strip, int nCx) {
  m_vecImages.clear();
  if (!strip.isNull() && nCx > 0)
    for (int x = 0; x + nCx <= strip.width(); x += nCx) m_vecImages.push_back(strip.copy(x, 0, nCx, nCx));
  doItemsLayout();
}

const QPixmap* CXHtmlTree::NormalImage(int nIndex) const {
  if (nIndex < 0 || nIndex >= static_cast<int>(m_vecImages.size())) return nullptr;
  return &m_vecImages[static_cast<std::size_t>(nIndex)];
}

void CXHtmlTree::SetBkColor(const QColor& color) {
  m_crBkOverride = color;
  BuildCheckBoxStrip();
  viewport()->update();
}

void CXHtmlTree::SetTextColor(const QColor& color) {
  m_crTextOverride = color;
  viewport()->update();
}

QColor CXHtmlTree::BackgroundColor() const {
  return m_crBkOverride.isValid() ? m_crBkOverride : palette().color(QPalette::Active, QPalette::Base);
}

QColor CXHtmlTree::TextColor() const {
  return m_crTextOverride.isValid() ? m_crTextOverride : palette().color(QPalette::Active, QPalette::Text);
}

void CXHtmlTree::SetVisualStyles(bool bOn) {
  m_bVisualStyles = bOn;
  BuildCheckBoxStrip();
  viewport()->update();
}

CXHtmlTree::HTREEITEM CXHtmlTree::InsertTreeItem(const TVINSERTSTRUCT& insert) {
  HTREEITEM item = 0;
  RunOnOwnThread([&] { item = m_model.InsertTreeItem(insert); });
  return item;
}

void CXHtmlTree::SetItemCheck(HTREEITEM item, int check) {
  RunOnOwnThread([&] { m_model.SetItemCheck(item, check); });
}

void CXHtmlTree::ExpandTreeItem(HTREEITEM item, int code) {
  RunOnOwnThread([&] { m_model.ExpandTreeItem(item, code); });
}

void CXHtmlTree::SetItemData(HTREEITEM item, std::intptr_t lParam) {
  RunOnOwnThread([&] { m_model.SetItemData(item, lParam); });
}

void CXHtmlTree::SetItemState(HTREEITEM item, std::uint32_t state, std::uint32_t mask) {
  RunOnOwnThread([&] { m_model.SetItemState(item, state, mask); });
}

void CXHtmlTree::DeleteAllItems() {
  RunOnOwnThread([&] { m_model.DeleteAllItems(); });
}

QString CXHtmlTree::GetItemText(HTREEITEM item) const {
  return QString::fromStdU16String(m_model.GetItemText(item));
}

QTreeWidgetItem* CXHtmlTree::ItemOf(HTREEITEM item) const {
  auto it = m_mapItems.find(item);
  return it == m_mapItems.end() ? nullptr : it->second;
}

CXHtmlTree::HTREEITEM CXHtmlTree::HandleOf(const QTreeWidgetItem* item) const {
  return item ? item->data(0, Qt::UserRole).toUInt() : 0;
}

CXHtmlTree::HTREEITEM CXHtmlTree::GetSelectedItem() const { return HandleOf(currentItem()); }

bool CXHtmlTree::IsItemExpandedOnScreen(HTREEITEM item) const {
  const QTreeWidgetItem* qi = ItemOf(item);
  return qi && qi->isExpanded();
}

void CXHtmlTree::SelectItem(HTREEITEM item) {
  QTreeWidgetItem* qi = ItemOf(item);
  if (!qi || currentItem() == qi) return;
  const XHTMLTREEDATA* rec = m_model.GetItemDataStruct(item);
  if (rec && !rec->isEnabled) return;
  setCurrentItem(qi);  // the widget tells its parent through currentItemChanged
}

XHTMLTREEMSGDATA CXHtmlTree::Header(HTREEITEM item) { return XHTMLTREEMSGDATA{this, m_nCtrlId, item}; }

void CXHtmlTree::UpdateItem(HTREEITEM item) {
  if (QTreeWidgetItem* qi = ItemOf(item)) viewport()->update(visualItemRect(qi).adjusted(-64, 0, 0, 0));
}

// ---- the model's calls ----------------------------------------------------

void CXHtmlTree::OnItemInserted(HTREEITEM item) {
  const HTREEITEM parent = m_model.GetParentItem(item);
  const std::vector<HTREEITEM>& siblings = m_model.GetChildren(parent ? parent : TVI_ROOT);
  const int nIndex = static_cast<int>(std::find(siblings.begin(), siblings.end(), item) - siblings.begin());
  auto* qi = new QTreeWidgetItem();
  qi->setText(0, GetItemText(item));  // for keyboard search; the label is drawn by the delegate
  qi->setData(0, Qt::UserRole, item);
  qi->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  if (QTreeWidgetItem* qparent = ItemOf(parent))
    qparent->insertChild(nIndex, qi);
  else
    insertTopLevelItem(nIndex, qi);
  m_mapItems[item] = qi;
}

void CXHtmlTree::OnItemChanged(HTREEITEM item) {
  if (QTreeWidgetItem* qi = ItemOf(item)) {
    qi->setText(0, GetItemText(item));
    // Bold labels are wider: the column must be measured again.
    qi->setData(0, Qt::UserRole + 1, static_cast<uint>(m_model.GetItemState(item, TVIS_BOLD)));
  }
  UpdateItem(item);
}

void CXHtmlTree::OnStateImageChanged(HTREEITEM item, int) { UpdateItem(item); }

void CXHtmlTree::OnExpand(HTREEITEM item, int code) {
  QTreeWidgetItem* qi = ItemOf(item);
  if (!qi) return;
  const int action = code & 0x3;
  if (action == TVE_COLLAPSE || code == TVE_COLLAPSERESET)
    qi->setExpanded(false);
  else if (action == TVE_EXPAND)
    qi->setExpanded(true);
  else if (action == TVE_TOGGLE)
    qi->setExpanded(!qi->isExpanded());
}

void CXHtmlTree::OnBeforeDeleteAll() {
  collapseAll();
  if (QTreeWidgetItem* first = topLevelItem(0)) setCurrentItem(first);
  horizontalScrollBar()->setValue(0);
  viewport()->update();
}

void CXHtmlTree::OnAllDeleted() {
  m_mapItems.clear();
  clear();
}

void CXHtmlTree::OnCheckboxClicked(HTREEITEM item, int check) {
  emit WM_XHTMLTREE_CHECKBOX_CLICKED(Header(item), check);
}

void CXHtmlTree::OnItemExpanded(HTREEITEM item, int expanded) {
  emit WM_XHTMLTREE_ITEM_EXPANDED(Header(item), expanded);
}

// ---- input ------------------------------------------------------------------

void CXHtmlTree::ToggleByUser(HTREEITEM item, bool bClick) {
  const XHtmlTreeOptions& opt = m_model.Options();
  if (!opt.bCheckBoxes || opt.bReadOnly) return;
  const XHTMLTREEDATA* rec = m_model.GetItemDataStruct(item);
  if (!rec || !rec->isEnabled || rec->isSeparator) return;
  m_model.SetItemCheck(item, rec->isChecked ? 0 : 1);
  if (!bClick) return;
  if (opt.bSelectFollowsCheck) SelectItem(item);
  m_model.SetHotItem(item);
}

void CXHtmlTree::mousePressEvent(QMouseEvent* event) {
  unsigned flags = 0;
  const HTREEITEM item = HitTest(event->position().toPoint(), &flags);
  QTreeWidget::mousePressEvent(event);  // selection and the expand buttons
  // A box toggles on a click: pressed here, released on the same box.
  const bool bOnBox = event->button() == Qt::LeftButton && item && (flags & TVHT_ONITEMSTATEICON);
  m_hPressedBox = bOnBox ? item : 0;
  if (bOnBox) event->accept();
}

void CXHtmlTree::mouseReleaseEvent(QMouseEvent* event) {
  unsigned flags = 0;
  const HTREEITEM item = HitTest(event->position().toPoint(), &flags);
  const HTREEITEM pressed = event->button() == Qt::LeftButton ? std::exchange(m_hPressedBox, 0) : 0;
  QTreeWidget::mouseReleaseEvent(event);
  if (pressed && item == pressed && (flags & TVHT_ONITEMSTATEICON)) {
    ToggleByUser(item, true);
    event->accept();
  }
}

void CXHtmlTree::mouseDoubleClickEvent(QMouseEvent* event) {
  unsigned flags = 0;
  const HTREEITEM item = HitTest(event->position().toPoint(), &flags);
  const unsigned onItem = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMINDENT | TVHT_ONITEMSTATEICON;
  if (!item || !(flags & onItem)) {
    QTreeWidget::mouseDoubleClickEvent(event);
    return;
  }
  if (!m_model.DoubleClickItem(item)) {
    event->accept();
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
  if (QTreeWidgetItem* qi = ItemOf(item); qi && qi->childCount() > 0) qi->setExpanded(!qi->isExpanded());
}

void CXHtmlTree::ExpandAllBelow(HTREEITEM item) {
  if (m_model.ItemHasChildren(item)) m_model.ExpandTreeItem(item, TVE_EXPAND);
  for (HTREEITEM child : std::vector<HTREEITEM>(m_model.GetChildren(item))) ExpandAllBelow(child);
}

bool CXHtmlTree::HandleArrowKey(QKeyEvent* event) {
  const HTREEITEM item = GetSelectedItem();
  QTreeWidgetItem* qi = ItemOf(item);
  if (!qi) return false;
  const XHTMLTREEDATA* rec = m_model.GetItemDataStruct(item);
  const int key = event->key();
  if (key == Qt::Key_Right || key == Qt::Key_Left) {
    const bool bRight = key == Qt::Key_Right;
    if (rec && rec->isEnabled && m_model.ItemHasChildren(item) && rec->isExpanded != (bRight ? 1 : 0)) {
      m_model.ExpandTreeItem(item, bRight ? TVE_EXPAND : TVE_COLLAPSE);
      return true;
    }
    // What the platform tree does with the key itself.
    if (bRight) {
      if (qi->childCount() == 0) return true;
      if (!qi->isExpanded())
        qi->setExpanded(true);
      else
        setCurrentItem(qi->child(0));
    } else {
      if (qi->isExpanded() && qi->childCount() > 0)
        qi->setExpanded(false);
      else if (qi->parent())
        setCurrentItem(qi->parent());
    }
    return true;
  }
  // Up and down: the next visible item with an enabled record.
  const bool bDown = key == Qt::Key_Down;
  for (QTreeWidgetItem* next = bDown ? itemBelow(qi) : itemAbove(qi); next;
       next = bDown ? itemBelow(next) : itemAbove(next)) {
    const XHTMLTREEDATA* nrec = m_model.GetItemDataStruct(HandleOf(next));
    if (nrec && nrec->isEnabled) {
      SelectItem(HandleOf(next));
      scrollToItem(next);
      return true;
    }
  }
  return false;
}

void CXHtmlTree::keyPressEvent(QKeyEvent* event) {
  QToolTip::hideText();
  const int key = event->key();
  const bool bKeypad = event->modifiers() & Qt::KeypadModifier;
  const HTREEITEM item = GetSelectedItem();
  switch (key) {
    case Qt::Key_Space:
      if (item) ToggleByUser(item, false);
      event->accept();
      return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (HandleArrowKey(event)) {
        event->accept();
        return;
      }
      break;
    case Qt::Key_Asterisk:
    case Qt::Key_Plus:
    case Qt::Key_Minus:
      if (!bKeypad) {
        // The main keyboard's signs only search, as in the platform tree;
        // the widget's own expansion would bypass the bookkeeping.
        keyboardSearch(event->text());
      } else if (item && key == Qt::Key_Asterisk) {
        ExpandAllBelow(item);
        scrollToItem(ItemOf(item));
        horizontalScrollBar()->setValue(0);
      } else if (item) {
        m_model.ExpandTreeItem(item, key == Qt::Key_Plus ? TVE_EXPAND : TVE_COLLAPSE);
      }
      event->accept();
      return;
    default:
      break;
  }
  QTreeWidget::keyPressEvent(event);
}
