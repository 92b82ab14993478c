// The judgement of a whole scope before anything of it is disposed of: what
// a pass needs when the copy that stays may come after its duplicates (a
// keep rule other than first, the date tolerance, a size guard, a spare
// file that names another kept member).
//
// The passes of the scope (one folder, or every folder of a database in
// whole-file scope) first add each document they judge, in judging order;
// Decide then forms the groups and chooses each group's kept member; the
// passes then walk their documents again, in the same order, and dispose of
// the duplicates. Per document only what the rules read is held (note id,
// date, size, the form's index, the outcome): 24 bytes beside the key map,
// which stands where the one-pass run's digest map stands.
//
// Threads: one run's worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/RunSettings.h"
#include "engine/keep/KeepRules.h"

class ScopeJudgement {
public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  enum class Outcome : std::uint8_t { kept, duplicate, anchor, unopened };

  struct Document {
    NOTEID id = 0;
    std::uint32_t nGroup = kNone;  // while judging: the key's index; after Decide: the group's
    std::int64_t nDateSeconds = 0;
    std::uint32_t nSizeBytes = 0;
    std::uint16_t nForm = 0;
    Outcome outcome = Outcome::kept;
    std::uint8_t bHasDate = 0;
  };

  // What a pass found in one folder while judging it.
  struct FolderSlot {
    NOTEID folderId = 0;
    std::u16string strName;
    std::size_t nBegin = 0, nEnd = 0;  // its documents in Documents()
    std::uint64_t nFound = 0;
    std::uint64_t nUnread = 0;
    std::u16string strEntryError;  // the first error that made an entry unreadable
    bool bFailed = false;          // the folder could not be got or opened: no pass
  };

  struct Group {
    KeyDigest digest;
    std::uint32_t nKept = 0;  // index of the kept document
  };

  explicit ScopeJudgement(const KeepOptions& options) : m_options(options) {}
  ScopeJudgement(const ScopeJudgement&) = delete;
  ScopeJudgement& operator=(const ScopeJudgement&) = delete;

  // Starts the slot of a folder; the documents added next belong to it.
  FolderSlot& BeginFolder(NOTEID folderId, const std::u16string& name);
  FolderSlot& CurrentFolder() { return m_vecFolders.back(); }
  // Room for nEntries more documents, so the list grows by what a folder
  // holds rather than doubling past it.
  void Reserve(std::size_t nEntries) { m_vecDocuments.reserve(m_vecDocuments.size() + nEntries); }

  // A document the pass keeps whatever the others are (no key to compare).
  void AddUnkeyed(Document doc, const std::u16string& form);
  // A document with its key's digest (with the date tolerance, the digest
  // of the key without the date; bTolerant says so).
  void AddKeyed(Document doc, const std::u16string& form, const KeyDigest& digest, bool bTolerant);
  // A document judged by an earlier pass whose digest is new here: it heads
  // its group and stays, as the one-pass run keeps it.
  void AddAnchor(Document doc, const KeyDigest& digest, bool bTolerant);
  // An entry whose document could not be opened.
  void AddUnopened();

  // The kept member a spare file names for a group (0: none).
  using SpareKept = std::function<NOTEID(const KeyDigest& digest)>;
  // True when document id is filed in folder (a full name).
  using FiledIn = std::function<bool(NOTEID id, const std::u16string& folder)>;
  // Forms the groups and settles every document's outcome.
  void Decide(const SpareKept& spareKept, const FiledIn& filedIn);

  const std::vector<Document>& Documents() const { return m_vecDocuments; }
  const std::vector<FolderSlot>& Folders() const { return m_vecFolders; }
  const std::vector<Group>& Groups() const { return m_vecGroups; }
  const std::u16string& FormOf(const Document& doc) const { return m_vecForms[doc.nForm]; }
  // The folder whose pass judged document index i.
  const std::u16string& FolderOf(std::size_t i) const;
  // Groups in the order their kept documents were judged.
  std::vector<std::uint32_t> GroupsInKeptOrder() const;

private:
  std::uint16_t FormIndex(const std::u16string& form);
  std::uint32_t KeyIndex(const KeyDigest& digest, bool bTolerant, bool* pNew);
  void DecideKey(const std::vector<std::uint32_t>& members, std::uint32_t nKey,
                 const SpareKept& spareKept, const FiledIn& filedIn);
  void DecideGroup(const std::vector<std::uint32_t>& members, const KeyDigest& digest,
                   const SpareKept& spareKept, const FiledIn& filedIn);

  const KeepOptions& m_options;
  std::vector<Document> m_vecDocuments;
  std::vector<FolderSlot> m_vecFolders;
  std::vector<std::u16string> m_vecForms;
  std::unordered_map<std::u16string, std::uint16_t> m_mapFormIndex;
  std::unordered_map<KeyDigest, std::uint32_t> m_mapKeyIndex;
  std::vector<const KeyDigest*> m_vecKeys;      // m_mapKeyIndex's keys by index
  std::vector<std::uint8_t> m_vecKeyTolerant;  // by key index
  std::vector<Group> m_vecGroups;
};
