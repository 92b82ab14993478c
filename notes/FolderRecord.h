// One folder of a folder list: the views and folders a run or the folder tree
// works on. Plain value.
#pragma once

#include <cstdint>
#include <string>

struct FolderRecord {
  std::u16string strName;        // as the database stores it; levels joined with '\'
  std::uint32_t dwNoteId = 0;    // note id of the view's or folder's design note
  std::uint8_t bHasEntries = 0;  // 1 when it had an entry when the list was built
  bool operator==(const FolderRecord&) const = default;
};
