#include "mail/imap/AccountFolders.h"

#include <algorithm>
#include <strings.h>

#include "mail/imap/FolderName.h"

namespace mailio::imap {

namespace {

bool IsInbox(const std::string& level) { return strcasecmp(level.c_str(), "INBOX") == 0; }

bool HasUse(const FolderInfo& folder, const char* use) {
  return std::find(folder.specialUse.begin(), folder.specialUse.end(), use) != folder.specialUse.end();
}

}  // namespace

std::vector<FolderInfo> AccountFolders(std::vector<FolderInfo> listed, bool bIncludeAllView) {
  std::erase_if(listed, [&](const FolderInfo& f) {
    return !f.bSelectable || f.levels.empty() || (!bIncludeAllView && HasUse(f, "\\All"));
  });
  // Levels compared as vectors give pre-order: a folder comes right before
  // what lies below it, and each level sorts by name.
  std::stable_sort(listed.begin(), listed.end(), [](const FolderInfo& a, const FolderInfo& b) {
    const bool aInbox = IsInbox(a.levels.front());
    const bool bInbox = IsInbox(b.levels.front());
    if (aInbox != bInbox) return aInbox;
    if (aInbox) {
      return std::vector<std::string>(a.levels.begin() + 1, a.levels.end()) <
             std::vector<std::string>(b.levels.begin() + 1, b.levels.end());
    }
    return a.levels < b.levels;
  });
  return listed;
}

const FolderInfo* FindFolder(const std::vector<FolderInfo>& listed, const std::vector<std::string>& levels) {
  for (const FolderInfo& folder : listed) {
    if (folder.levels.size() != levels.size() || levels.empty()) continue;
    const bool bFirst = IsInbox(levels.front()) ? IsInbox(folder.levels.front()) : folder.levels.front() == levels.front();
    if (bFirst && std::equal(levels.begin() + 1, levels.end(), folder.levels.begin() + 1)) return &folder;
  }
  return nullptr;
}

std::optional<std::string> ServerFolderName(const std::vector<std::string>& levels, char delimiter, bool bUtf8Names,
                                            std::string* error) {
  if (levels.empty()) {
    *error = "no folder";
    return std::nullopt;
  }
  if (levels.size() > 1 && delimiter == 0) {
    *error = "the server has no folder levels";
    return std::nullopt;
  }
  std::string name;
  for (size_t i = 0; i < levels.size(); ++i) {
    const std::string& level = levels[i];
    if (delimiter != 0 && level.find(delimiter) != std::string::npos) {
      *error = "the folder name " + level + " holds the server's separator " + std::string(1, delimiter);
      return std::nullopt;
    }
    if (i) name += delimiter;
    if (i == 0 && IsInbox(level)) {
      name += "INBOX";
    } else if (bUtf8Names) {
      name += level;
    } else {
      std::optional<std::string> encoded = EncodeModifiedUtf7(level);
      if (!encoded) {
        *error = "the folder name is not UTF-8";
        return std::nullopt;
      }
      name += *encoded;
    }
  }
  return name;
}

}  // namespace mailio::imap
