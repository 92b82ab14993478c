#include "notes/FolderList.h"

#include <array>
#include <cstring>
#include <string_view>

#include "lnapi/LNNotes.h"
#include "platform/Text.h"

namespace {

constexpr std::u16string_view kAllView = u"($All)";
// Room for a translated name; a longer name is cut at a whole character.
constexpr std::size_t kNameBufferBytes = 1024;

std::u16string TranslatedName(const LNString& name) {
  std::array<char, kNameBufferBytes> buf{};
  std::size_t length = 0;
  LNStringTranslate(name, 0, buf.size(), buf.data(), &length);
  if (length > buf.size()) length = buf.size();
  std::u16string text;
  for (std::size_t i = 0; i + 1 < length; i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(buf[i]) |
                                                (static_cast<unsigned char>(buf[i + 1]) << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

struct AllViewSeen {
  bool bSeen = false;
  NOTEID dwNoteId = 0;
  std::uint8_t bHasEntries = 0;
};

}  // namespace

bool IsSpecialViewName(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 10> kNames = {
      u"($Sent)", u"($Drafts)",      u"My Contacts", u"Groups", u"($ToDo)",
      u"By Category", u"($ByCategory)", u"($Meetings)", u"($All)", u"($People)"};
  for (std::u16string_view special : kNames)
    if (name == special) return true;
  return false;
}

int FolderKindOfName(std::u16string_view name) {
  struct Kind {
    std::u16string_view text;
    int nIcon;
  };
  static constexpr std::array<Kind, 17> kKinds = {{{u"Junk E-mail", 14},
                                                   {u"Inbox", 3},
                                                   {u"Outbox", 6},
                                                   {u"RSS Feeds", 17},
                                                   {u"Sent Items", 7},
                                                   {u"Drafts", 2},
                                                   {u"Deleted Items", 16},
                                                   {u"Large Mail", 15},
                                                   {u"Unread Mail", 15},
                                                   {u"Categorized Mail", 15},
                                                   {u"Search Folders", 15},
                                                   {u"Search", 15},
                                                   {u"Calendar", 1},
                                                   {u"Tasks", 8},
                                                   {u"Journal", 4},
                                                   {u"Notes", 5},
                                                   {u"Contacts", 11}}};
  for (const Kind& kind : kKinds)
    if (name.find(kind.text) != std::u16string_view::npos) return kind.nIcon;
  return 10;
}

std::uint64_t BuildFolderList(LNDatabase& db, std::vector<FolderRecord>& dest,
                              FolderRecord& curFolder, FolderListProgress* pProgress,
                              std::u16string* pError, const std::atomic<std::uint8_t>* pRunning) {
  std::uint64_t total = 0;
  if (pError) pError->clear();
  AllViewSeen all;
  try {
    LNViewFolderArray folders;
    db.GetViewFolders(&folders, 1);
    const LNINT n = folders.GetCount();
    if (pProgress) {
      pProgress->SetRange(0, n);
      pProgress->SetPos(0);
    }
    for (LNINT i = 0; i < n; ++i) {
      if (pRunning && pRunning->load() == 0) return total;
      if (pProgress) pProgress->SetPos(i + 1);
      LNViewFolder folder = folders[i];
      folder.Open(0);
      const std::u16string name = platform::FromUtf8(folder.GetName().Bytes());
      const bool bTaken = folder.IsFolder() || (IsSpecialViewName(name) && folder.GetType() == 0);
      if (bTaken && name == kAllView) {
        all = {true, folder.GetNoteID(), static_cast<std::uint8_t>(folder.GetEntryCount() != 0)};
      } else if (bTaken) {
        const std::u16string recordName = TranslatedName(folder.GetName());
        const NOTEID noteId = folder.GetNoteID();
        const LNINT entries = folder.GetEntryCount();
        total += static_cast<std::uint64_t>(entries < 0 ? 0 : entries);
        curFolder = FolderRecord{recordName, noteId, static_cast<std::uint8_t>(entries != 0)};
        dest.push_back(curFolder);
      }
      folder.Close();
    }
  } catch (LNSTATUS status) {
    // The listing ends here; the caller works with what was listed so far.
    // A Stop is not an error, though the store may give up a read for it.
    if (pError && lnapi::ErrorCode(status) != LNERR_STOPPED) {
      *pError = platform::FromUtf8(LNGetErrorMessageText(status));
      if (pError->empty()) *pError = u"Notes error " + platform::DecimalText(static_cast<std::int32_t>(status));
    }
    return total;
  } catch (...) {
    // Any other failure of the store is treated the same way.
    if (pError) *pError = u"unexpected error while listing the folders";
    return total;
  }
  if (all.bSeen) {
    curFolder = FolderRecord{std::u16string(kAllView), all.dwNoteId, all.bHasEntries};
    dest.push_back(curFolder);
  }
  if (pProgress) pProgress->Hide();
  return total;
}
