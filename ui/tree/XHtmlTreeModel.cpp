#include "ui/tree/XHtmlTreeModel.h"

#include <algorithm>

namespace xht {

namespace {

const std::vector<HTREEITEM> kNoChildren;

int Checkable(const XHTMLTREEDATA& rec) { return rec.descendants - rec.separatorDescendants; }

}  // namespace

XHtmlTreeModel::XHtmlTreeModel(const void* owner) : m_pOwner(owner) {}

XHtmlTreeModel::~XHtmlTreeModel() {
  // The widget goes first; it must not hear about the records' end.
  m_pListener = nullptr;
  DeleteEverything();
}

void XHtmlTreeModel::DeleteEverything() {
  m_vecRoots.clear();
  m_nodes.clear();
  m_mapRecords.clear();
  m_hHotItem = 0;
}

void XHtmlTreeModel::ResetTree() {
  m_bDestroying = true;
  DeleteEverything();
  m_options = XHtmlTreeOptions{};
  if (m_pListener) m_pListener->OnAllDeleted();
  m_bDestroying = false;
}

void XHtmlTreeModel::DeleteAllItems() {
  if (m_pListener) m_pListener->OnBeforeDeleteAll();
  m_bDestroying = true;
  DeleteEverything();
  if (m_pListener) m_pListener->OnAllDeleted();
  m_bDestroying = false;
}

XHtmlTreeModel::Node* XHtmlTreeModel::FindNode(HTREEITEM item) {
  auto it = m_nodes.find(item);
  return it == m_nodes.end() ? nullptr : &it->second;
}

const XHtmlTreeModel::Node* XHtmlTreeModel::FindNode(HTREEITEM item) const {
  auto it = m_nodes.find(item);
  return it == m_nodes.end() ? nullptr : &it->second;
}

XHTMLTREEDATA* XHtmlTreeModel::FindRecord(HTREEITEM item) {
  auto it = m_mapRecords.find(item);
  return it == m_mapRecords.end() ? nullptr : it->second.get();
}

const XHTMLTREEDATA* XHtmlTreeModel::GetItemDataStruct(HTREEITEM item) const {
  auto it = m_mapRecords.find(item);
  return it == m_mapRecords.end() ? nullptr : it->second.get();
}

HTREEITEM XHtmlTreeModel::InsertTreeItem(const TVINSERTSTRUCT& insert) {
  if (m_bDestroying) return 0;
  std::vector<HTREEITEM>* siblings = nullptr;
  HTREEITEM parent = 0;
  if (insert.hParent == TVI_ROOT || insert.hParent == 0) {
    siblings = &m_vecRoots;
  } else if (Node* node = FindNode(insert.hParent)) {
    siblings = &node->vecChildren;
    parent = insert.hParent;
  } else {
    return 0;
  }
  std::size_t pos = siblings->size();
  if (insert.hInsertAfter == TVI_FIRST) {
    pos = 0;
  } else if (insert.hInsertAfter != TVI_LAST) {
    auto it = std::find(siblings->begin(), siblings->end(), insert.hInsertAfter);
    if (it == siblings->end()) return 0;
    pos = static_cast<std::size_t>(it - siblings->begin()) + 1;
  }

  auto rec = std::make_unique<XHTMLTREEDATA>();
  rec->hTreeCtrl = m_pOwner;
  const HTREEITEM item = m_hNextHandle++;
  Node node;
  node.hParent = parent;
  node.item = insert.item;
  if (!m_options.bHasImages) {
    node.item.iImage = kNoImage;
    node.item.iSelectedImage = kNoImage;
  }
  node.nStateImage = kStateUnchecked;
  siblings->insert(siblings->begin() + static_cast<std::ptrdiff_t>(pos), item);
  m_nodes.emplace(item, std::move(node));
  m_mapRecords.emplace(item, std::move(rec));
  if (m_pListener) m_pListener->OnItemInserted(item);

  // The new item is unchecked: every ancestor gains a descendant but no
  // checked one, so a fully checked parent turns mixed.
  if (m_options.bSmartCheck) UpdateAncestors(item, 0, true);
  return item;
}

void XHtmlTreeModel::UpdateAncestors(HTREEITEM item, int delta, bool bCountNewDescendant) {
  for (HTREEITEM anc = GetParentItem(item); anc != 0; anc = GetParentItem(anc)) {
    XHTMLTREEDATA* rec = FindRecord(anc);
    if (!rec) continue;
    if (bCountNewDescendant) ++rec->descendants;
    rec->checkedDescendants = std::max(0, rec->checkedDescendants + delta);
    const int wasChecked = rec->isChecked;
    rec->isChecked = rec->checkedDescendants == Checkable(*rec) ? 1 : 0;
    if (rec->isChecked != wasChecked) delta += rec->isChecked ? 1 : -1;
    RefreshStateImage(anc);
  }
}

void XHtmlTreeModel::SetSubtreeCheck(HTREEITEM item, int check) {
  XHTMLTREEDATA* rec = FindRecord(item);
  if (rec && rec->isEnabled && !rec->isSeparator) {
    rec->isChecked = check;
    rec->checkedDescendants = check ? std::max(0, Checkable(*rec)) : 0;
    WriteStateImage(item, (check ? kStateChecked : kStateUnchecked) +
                              (rec->isEnabled ? 0 : kStateDisabledBit));
  }
  if (const Node* node = FindNode(item)) {
    // Copy: the listener may not change the tree, but stay safe if it does.
    const std::vector<HTREEITEM> children = node->vecChildren;
    for (HTREEITEM child : children) SetSubtreeCheck(child, check);
  }
}

void XHtmlTreeModel::SetItemCheck(HTREEITEM item, int check) {
  if (item == 0 || !m_options.bCheckBoxes || m_bDestroying) return;
  XHTMLTREEDATA* rec = FindRecord(item);
  if (!rec || !rec->isEnabled || rec->isSeparator) return;

  const int newFlag = check ? 1 : 0;
  const int oldFlag = rec->isChecked;
  rec->isChecked = newFlag;
  RefreshStateImage(item);

  if (m_options.bSmartCheck && newFlag != oldFlag) {
    const int delta = newFlag ? rec->descendants - rec->checkedDescendants + 1
                              : -(rec->checkedDescendants + 1);
    SetSubtreeCheck(item, newFlag);
    UpdateAncestors(item, delta, false);
  }
  if (m_pListener) m_pListener->OnCheckboxClicked(item, check);
}

int XHtmlTreeModel::GetItemCheck(HTREEITEM item) const {
  if (!m_options.bCheckBoxes) return 0;
  const XHTMLTREEDATA* rec = GetItemDataStruct(item);
  if (!rec) return 0;
  if (!m_options.bSmartCheck || rec->descendants == 0) return rec->isChecked;
  return rec->checkedDescendants != 0 && rec->checkedDescendants == Checkable(*rec) ? 1 : 0;
}

HTREEITEM XHtmlTreeModel::FindFirstChecked() const {
  if (!m_options.bCheckBoxes) return 0;
  for (HTREEITEM item = GetRootItem(); item != 0; item = GetNextItemPreOrder(item))
    if (GetItemCheck(item) == 1) return item;
  return 0;
}

HTREEITEM XHtmlTreeModel::FindNextChecked(HTREEITEM item) const {
  if (!m_options.bCheckBoxes || !IsItem(item)) return 0;
  for (HTREEITEM next = GetNextItemPreOrder(item); next != 0; next = GetNextItemPreOrder(next))
    if (GetItemCheck(next) == 1) return next;
  return 0;
}

void XHtmlTreeModel::ExpandTreeItem(HTREEITEM item, int code) {
  if (m_bDestroying || !IsItem(item)) return;
  XHTMLTREEDATA* rec = FindRecord(item);
  if (rec && rec->isEnabled && ItemHasChildren(item)) {
    const int old = rec->isExpanded;
    if (code == TVE_COLLAPSE || code == TVE_COLLAPSERESET)
      rec->isExpanded = 0;
    else if (code == TVE_EXPAND)
      rec->isExpanded = 1;
    else if (code == TVE_TOGGLE)
      rec->isExpanded = old ? 0 : 1;
    if (rec->isExpanded) rec->wasExpanded = 1;
    if (rec->isExpanded != old && m_pListener) m_pListener->OnItemExpanded(item, rec->isExpanded);
  }
  if (m_pListener) m_pListener->OnExpand(item, code);
}

bool XHtmlTreeModel::DoubleClickItem(HTREEITEM item) {
  XHTMLTREEDATA* rec = FindRecord(item);
  if (!rec) return true;
  if (!rec->isEnabled) return false;
  if (ItemHasChildren(item)) {
    rec->isExpanded = rec->isExpanded ? 0 : 1;
    rec->wasExpanded = 1;
    if (m_pListener) m_pListener->OnItemExpanded(item, rec->isExpanded);
  }
  return true;
}

int XHtmlTreeModel::ComputeStateImage(HTREEITEM item) const {
  const XHTMLTREEDATA* rec = GetItemDataStruct(item);
  if (!rec) return 0;
  int image = 0;
  if (m_options.bSmartCheck && rec->descendants > 0) {
    if (rec->checkedDescendants == 0)
      image = kStateUnchecked;
    else if (rec->checkedDescendants == Checkable(*rec))
      image = kStateChecked;
    else
      image = kStateMixed;
  } else {
    image = rec->isChecked ? kStateChecked : kStateUnchecked;
  }
  return image + (rec->isEnabled ? 0 : kStateDisabledBit);
}

int XHtmlTreeModel::GetStateImage(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->nStateImage : 0;
}

void XHtmlTreeModel::WriteStateImage(HTREEITEM item, int stateImage) {
  Node* node = FindNode(item);
  if (!node) return;
  if (item == m_hHotItem) m_hHotItem = 0;
  if (node->nStateImage == stateImage) return;
  node->nStateImage = stateImage;
  if (m_pListener) m_pListener->OnStateImageChanged(item, stateImage);
}

void XHtmlTreeModel::RefreshStateImage(HTREEITEM item) { WriteStateImage(item, ComputeStateImage(item)); }

void XHtmlTreeModel::SetHotItem(HTREEITEM item) {
  Node* node = FindNode(item);
  if (!node || !FindRecord(item)) return;
  const int hot = ComputeStateImage(item) + kStateHotBit;
  WriteStateImage(item, hot);
  m_hHotItem = item;
}

void XHtmlTreeModel::SetTextRight(HTREEITEM item, int textRight) {
  if (XHTMLTREEDATA* rec = FindRecord(item)) rec->textRight = textRight;
}

bool XHtmlTreeModel::IsItem(HTREEITEM item) const { return FindNode(item) != nullptr; }

std::u16string XHtmlTreeModel::GetItemText(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->item.strText : std::u16string();
}

void XHtmlTreeModel::SetItemText(HTREEITEM item, const std::u16string& text) {
  if (Node* node = FindNode(item)) {
    node->item.strText = text;
    if (m_pListener) m_pListener->OnItemChanged(item);
  }
}

std::intptr_t XHtmlTreeModel::GetItemData(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->item.lParam : 0;
}

void XHtmlTreeModel::SetItemData(HTREEITEM item, std::intptr_t lParam) {
  if (Node* node = FindNode(item)) node->item.lParam = lParam;
}

std::uint32_t XHtmlTreeModel::GetItemState(HTREEITEM item, std::uint32_t mask) const {
  const Node* node = FindNode(item);
  return node ? node->item.state & mask : 0;
}

void XHtmlTreeModel::SetItemState(HTREEITEM item, std::uint32_t state, std::uint32_t mask) {
  if (Node* node = FindNode(item)) {
    node->item.state = (node->item.state & ~mask) | (state & mask);
    if (m_pListener) m_pListener->OnItemChanged(item);
  }
}

int XHtmlTreeModel::GetItemImage(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->item.iImage : kNoImage;
}

int XHtmlTreeModel::GetItemSelectedImage(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->item.iSelectedImage : kNoImage;
}

HTREEITEM XHtmlTreeModel::GetRootItem() const { return m_vecRoots.empty() ? 0 : m_vecRoots.front(); }

HTREEITEM XHtmlTreeModel::GetParentItem(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node ? node->hParent : 0;
}

HTREEITEM XHtmlTreeModel::GetChildItem(HTREEITEM item) const {
  const std::vector<HTREEITEM>& children = GetChildren(item);
  return children.empty() ? 0 : children.front();
}

const std::vector<HTREEITEM>& XHtmlTreeModel::GetChildren(HTREEITEM item) const {
  if (item == TVI_ROOT) return m_vecRoots;
  const Node* node = FindNode(item);
  return node ? node->vecChildren : kNoChildren;
}

HTREEITEM XHtmlTreeModel::GetNextSiblingItem(HTREEITEM item) const {
  const Node* node = FindNode(item);
  if (!node) return 0;
  const std::vector<HTREEITEM>& siblings = GetChildren(node->hParent ? node->hParent : TVI_ROOT);
  auto it = std::find(siblings.begin(), siblings.end(), item);
  return (it == siblings.end() || it + 1 == siblings.end()) ? 0 : *(it + 1);
}

HTREEITEM XHtmlTreeModel::GetPrevSiblingItem(HTREEITEM item) const {
  const Node* node = FindNode(item);
  if (!node) return 0;
  const std::vector<HTREEITEM>& siblings = GetChildren(node->hParent ? node->hParent : TVI_ROOT);
  auto it = std::find(siblings.begin(), siblings.end(), item);
  return (it == siblings.end() || it == siblings.begin()) ? 0 : *(it - 1);
}

bool XHtmlTreeModel::ItemHasChildren(HTREEITEM item) const {
  const Node* node = FindNode(item);
  return node && !node->vecChildren.empty();
}

HTREEITEM XHtmlTreeModel::GetNextItemPreOrder(HTREEITEM item) const {
  if (HTREEITEM child = GetChildItem(item)) return child;
  for (HTREEITEM cur = item; cur != 0; cur = GetParentItem(cur))
    if (HTREEITEM next = GetNextSiblingItem(cur)) return next;
  return 0;
}

}  // namespace xht
