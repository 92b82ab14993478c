// Which folders of an account a run judges, in which order, and how a
// folder named in a URL is found among those the server lists. Pure
// functions over LIST answers; thread-safe.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mail/imap/ImapSession.h"

namespace mailio::imap {

// The folders of a whole-account run: every selectable one, INBOX (and what
// lies below it) first, then the others in tree order (pre-order, each
// level by name, byte for byte as UTF-8). A folder marked \All (Gmail's
// "All Mail", which shows every message again) only with bIncludeAllView.
std::vector<FolderInfo> AccountFolders(std::vector<FolderInfo> listed, bool bIncludeAllView);

// The listed folder whose levels are levels (INBOX in any case), or nullptr.
const FolderInfo* FindFolder(const std::vector<FolderInfo>& listed, const std::vector<std::string>& levels);

// The name to send for levels on a server with separator delimiter: the
// levels joined by it, each in modified UTF-7 unless the server takes
// UTF-8 names. nullopt with *error when a level holds the separator (the
// server could not tell it from two levels) or there are several levels on
// a server without separator.
[[nodiscard]] std::optional<std::string> ServerFolderName(const std::vector<std::string>& levels, char delimiter,
                                                          bool bUtf8Names, std::string* error);

}  // namespace mailio::imap
