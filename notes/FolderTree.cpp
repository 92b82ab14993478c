#include "notes/FolderTree.h"

#include <functional>

#include "notes/FolderList.h"

std::u16string CToken::NextToken() {
  if (m_bLastPartPending) {
    m_bLastPartPending = 0;
    return m_strRemaining;
  }
  std::u16string part;
  const std::size_t at = m_strRemaining.find(m_strDelimiter);
  if (at != std::u16string::npos) {
    part = m_strRemaining.substr(0, at);
    m_strRemaining = m_strRemaining.substr(at + m_strDelimiter.size());
  }
  m_bStarted = 1;
  if (m_strRemaining.find(m_strDelimiter) == std::u16string::npos) m_bLastPartPending = 1;
  return part;
}

int CToken::HasMoreTokens(int flag) {
  const bool bHasDelimiter = m_strRemaining.find(m_strDelimiter) != std::u16string::npos;
  if (!bHasDelimiter && m_bLastPartPending) return flag ? 0 : 1;
  return bHasDelimiter ? 1 : m_bLastPartPending;
}

namespace {

int AddItem(std::vector<FolderTreeItem>& items, int nParent, const std::u16string& text,
            const FolderRecord& record) {
  FolderTreeItem item;
  item.strText = text;
  item.nImage = FolderKindOfName(text);
  item.dwNoteId = record.dwNoteId;
  item.bBold = record.bHasEntries == 1;
  item.nParent = nParent;
  items.push_back(std::move(item));
  return static_cast<int>(items.size()) - 1;
}

int FindChild(const std::vector<FolderTreeItem>& items, int nParent, const std::u16string& text) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].nParent == nParent && items[i].strText == text) return static_cast<int>(i);
  return -1;
}

void InsertNested(std::vector<FolderTreeItem>& items, const FolderRecord& record) {
  int nParent = 0;
  CToken token(record.strName);
  token.SetDelimiter(u"\\");
  while (token.HasMoreTokens(0)) {
    const std::u16string part = token.NextToken();
    if (part.empty()) continue;
    const int nFound = FindChild(items, nParent, part);
    if (nFound >= 0) {
      nParent = nFound;
      continue;
    }
    const int nNew = AddItem(items, nParent, part, record);
    items[static_cast<std::size_t>(nParent)].bExpanded = true;
    nParent = nNew;
  }
}

}  // namespace

std::vector<FolderTreeItem> BuildFolderTree(const std::u16string& dbPath,
                                            const std::vector<FolderRecord>& records) {
  std::vector<FolderTreeItem> items;
  FolderTreeItem root;
  root.strText = dbPath;
  root.nImage = 0;
  items.push_back(root);
  for (const FolderRecord& record : records) {
    if (record.strName.find(u'\\') == std::u16string::npos)
      AddItem(items, 0, record.strName, record);
    else
      InsertNested(items, record);
  }
  items[0].bExpanded = true;
  return items;
}

std::vector<FolderRecord> CheckedFoldersPreOrder(const std::vector<FolderTreeItem>& items) {
  std::vector<std::vector<int>> children(items.size());
  std::vector<int> roots;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].nParent < 0)
      roots.push_back(static_cast<int>(i));
    else
      children[static_cast<std::size_t>(items[i].nParent)].push_back(static_cast<int>(i));
  }
  std::vector<FolderRecord> records;
  std::function<void(int)> visit = [&](int i) {
    const FolderTreeItem& item = items[static_cast<std::size_t>(i)];
    records.push_back(FolderRecord{item.strText, item.dwNoteId, 0});
    for (int child : children[static_cast<std::size_t>(i)]) visit(child);
  };
  for (int root : roots) visit(root);
  return records;
}
