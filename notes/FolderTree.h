// The folder tree of the single-file page, as plain data: which items, with
// which texts, note ids, icons, bold states and parents, in insertion order.
// The page puts these items into its check-box tree (every box checked);
// tarnwick-cli takes them in pre-order, as the page's Next does when every
// box is left checked. Qt-free, pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "notes/FolderRecord.h"

// The small tokenizer that splits a nested folder name at "\". Its odd
// rules are kept because the tree's shape depends on them: parts come left
// to right, empty ones included (A\\B gives A, "", B; A\ gives A, ""), and a
// text without the separator gives nothing.
class CToken {
public:
  explicit CToken(std::u16string text) : m_strFull(text), m_strRemaining(std::move(text)) {}
  virtual ~CToken() = default;
  void SetDelimiter(std::u16string delimiter) { m_strDelimiter = std::move(delimiter); }
  virtual std::u16string NextToken();
  virtual int HasMoreTokens(int flag);

private:
  std::u16string m_strFull;
  std::u16string m_strRemaining;
  std::u16string m_strDelimiter = u" ";
  int m_bStarted = 0;
  int m_bLastPartPending = 0;
};

struct FolderTreeItem {
  std::u16string strText;
  int nImage = 0;             // icon index (image and selected image)
  std::uint32_t dwNoteId = 0; // the item parameter
  bool bBold = false;
  bool bExpanded = false;     // the page expands these items
  int nParent = -1;           // index into the item list; -1 for the root
};

// Index 0 is the database item (text dbPath, image 0, note id 0), the only
// root; every other item follows its parent, children in insertion order.
// A name without "\" is always inserted anew under the database item; a
// nested name reuses existing levels of the same text and creates the missing
// ones, each carrying the creating record's note id and bold state.
std::vector<FolderTreeItem> BuildFolderTree(const std::u16string& dbPath,
                                            const std::vector<FolderRecord>& records);

// The items in pre-order from the database item, as {text, note id} records
// (bHasEntries 0): what the page's Next appends when every box is checked.
std::vector<FolderRecord> CheckedFoldersPreOrder(const std::vector<FolderTreeItem>& items);
