// Writing imported documents into a database and reading them back out, over
// the .nsf store (lnapi/store): the public Notes classes read items but do not
// write them, and an import needs exact control of every item it stores.
//
// MailDatabase holds one store connection; one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lnapi/LNNotes.h"
#include "lnapi/store/Store.h"
#include "mail/MailDoc.h"

namespace mailio {

// Source: only the ($All) view, for a mail source judged as a database (its
// own folders are all it has).
enum class Design { Mail, Contacts, Source };

// Stored items of a document, and back. FromStoredItems skips values it
// cannot decode (a damaged item is not worth losing the rest of a document).
std::vector<lnapi::store::StoredItem> ToStoredItems(const Doc& doc);
std::vector<lnapi::store::StoredItem> ToStoredItems(Doc&& doc);  // takes the values over
Doc FromStoredItems(const std::vector<lnapi::store::StoredItem>& items);

class MailDatabase {
public:
  // Opens path, or creates it (title: the file's stem) when it does not
  // exist, and adds whatever of the design is missing: for mail the folder
  // ($Inbox) and the views ($Sent), ($Drafts), ($All) and ($SoftDeletions);
  // for contacts the views "My Contacts" and ($People). nullptr with *error
  // naming the file and the reason on failure.
  static std::unique_ptr<MailDatabase> OpenForImport(const std::string& path, Design design,
                                                     std::string* error);
  ~MailDatabase();
  MailDatabase(const MailDatabase&) = delete;
  MailDatabase& operator=(const MailDatabase&) = delete;

  bool Created() const { return m_bCreated; }

  // Stores doc whole, filed in folder (created with its parent levels when
  // missing; "" files it nowhere), or stores nothing and returns false with
  // *error. Work is committed in batches: when a batch fails to commit, its
  // documents are lost together (LostCount) and the database is Broken; every
  // later Add then fails at once. A document that fails alone leaves the
  // documents added before it stored.
  // pId, when given, receives the new document's note id.
  [[nodiscard]] bool Add(const Doc& doc, const std::string& folder, std::string* error, NOTEID* pId = nullptr);
  // The same, taking the document's values over instead of copying them.
  [[nodiscard]] bool Add(Doc&& doc, const std::string& folder, std::string* error, NOTEID* pId = nullptr);
  // Makes the folder (with its parent levels) when missing: a source with no
  // messages still has its folder.
  bool AddFolder(const std::string& folder) {
    try {
      if (!m_bInBatch) {
        m_pStore->Begin();
        m_bInBatch = true;
      }
      DesignNote(folder);
      return true;
    } catch (LNSTATUS) {
      return false;
    }
  }
  // Commits what is pending. False when that fails (see LostCount).
  [[nodiscard]] bool Finish();
  bool Broken() const { return !m_strBrokenReason.empty(); }
  const std::string& BrokenReason() const { return m_strBrokenReason; }
  // Documents that Add accepted and a failed commit took back.
  std::size_t LostCount() const { return m_nLost; }

private:
  MailDatabase() = default;
  NOTEID DesignNote(const std::string& name);  // folder of that name, made when missing
  void EnsureView(const std::string& name, int selectKind, const std::vector<std::string>& args);
  NOTEID Insert(lnapi::store::NoteRow&& row, std::vector<lnapi::store::StoredItem>&& items, NOTEID folder);
  void CommitBatch();
  void ReplayBatch();
  bool AddItems(const std::optional<LocalTime>& created, std::vector<lnapi::store::StoredItem>&& items,
                const std::string& folder, std::string* error, NOTEID* pId);

  // A note of the open batch, kept until the batch is committed: a note
  // that fails half way takes the batch back, and these are stored again.
  struct Pending {
    lnapi::store::NoteRow row;
    std::vector<lnapi::store::StoredItem> items;
    NOTEID folder = 0;
  };

  std::unique_ptr<lnapi::store::Store> m_pStore;
  std::vector<Pending> m_vecPending;
  std::uint64_t m_nNextId = 0;  // 0: ask the store
  std::map<std::string, NOTEID> m_mapFolderIds;
  bool m_bCreated = false;
  bool m_bInBatch = false;
  std::size_t m_nPending = 0;  // documents in the open batch
  std::size_t m_nPendingBytes = 0;  // and the bytes of their items
  std::size_t m_nLost = 0;
  std::string m_strBrokenReason;
};

// Reads the live documents (not in the trash, not stubs) of the database at
// path: every one in note id order, or the entries of the view or folder
// named folder. False with *error when the file or the folder is missing.
[[nodiscard]] bool ReadDocuments(const std::string& path, const std::optional<std::string>& folder,
                                 const std::function<void(NOTEID, Doc&&)>& onDoc, std::string* error);

// Where a source folder's messages go: Sent and Drafts folders of mail
// clients to the views ($Sent) and ($Drafts), every other name unchanged.
std::string TargetFolder(const std::string& folder);

}  // namespace mailio
