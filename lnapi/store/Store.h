// The .nsf file format: one SQLite file per database.
//
// A Store is one connection to one database file. It knows notes (documents,
// views, folders, deletion stubs), their ordered items, folder entries and
// view selection rules, and nothing of the LN classes above it. Every
// mutating call is atomic: outside Begin/Commit it commits before returning;
// inside, it joins the open transaction (and a failing call undoes only its
// own part; InsertNewNote excepted).
//
// Errors are thrown as LNSTATUS values whose text names the file and the
// reason. Threads: a Store may move between threads but is used by one thread
// at a time (the connection is opened in serialized mode regardless).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <map>
#include <unordered_map>
#include <vector>

#include "lnapi/LNNotes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lnapi::store {

enum class NoteClass : int { document = 1, view = 2, folder = 3 };
// What became of a note: a live document, one in the trash, or the deletion
// stub left where a document was deleted.
enum class NoteLife : int { live = 0, trash = 1, stub = 2 };
// How a view chooses its documents. Folders use explicit entries.
enum class SelectKind : int { none = 0, all = 1, form = 2, hasItem = 3, entries = 4 };

struct StoredItem {
  std::string strName;
  WORD wType = 0;
  std::string value;  // the value bytes as stored (see ItemCodec.h)
};

struct NoteRow {
  NOTEID dwId = 0;
  NoteClass cls = NoteClass::document;
  NoteLife life = NoteLife::live;
  std::string strCreated;   // local time "YYYY-MM-DDTHH:MM:SS"
  std::string strModified;  // local time, same form
  std::string strName;      // views and folders
  int nViewType = 0;
  SelectKind select = SelectKind::none;
  std::vector<std::string> vecSelectArgs;  // form names, or the one item name
};

// The application id ("TrnW") and format version written into every file.
constexpr std::uint32_t kApplicationId = 0x54726E57;
constexpr int kFormatVersion = 1;

class Store {
public:
  enum class Mode { readWrite, readOnly };
  // Opens an existing database. Checks the file's header before SQLite sees
  // it, so a file that is not a Tarnwick database is refused unchanged.
  static std::unique_ptr<Store> Open(const std::string& path, Mode mode = Mode::readWrite);
  // A database closed and opened again in this process (the folders listed,
  // then the run) keeps its connection in between, and with it the page
  // cache and the answers worked out: Park keeps one closed store, and
  // OpenAgain takes it back when the file at path is still the one it had
  // open, unchanged by any writer, else opens the file anew. A store with a
  // transaction open, or one that does not sync, is closed instead.
  static void Park(std::unique_ptr<Store> store) noexcept;
  static std::unique_ptr<Store> OpenAgain(const std::string& path);
  // Closes the parked store, if any: for a caller about to delete databases
  // it made, whose space a kept connection would hold.
  static void CloseParked() noexcept;
  // Makes a new, empty database at path, which must not exist.
  static std::unique_ptr<Store> Create(const std::string& path, const std::string& title,
                                       bool softDeletions);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // For a file built under a temporary name: commits are no longer synced
  // to disk. Close the store, SyncFile the file, then rename it into place.
  void DisableSyncForBuild();
  // The same for a database a run works on whose single sync comes when it
  // is closed (LNDatabase::SyncOnlyAtClose): each commit also starts the
  // writing out of its pages without waiting for it, so that the sync at the
  // end (also that of a stopped run) has little left to wait for.
  void SyncOnlyAtClose();
  // See LNDatabase::SetStopFlag.
  void SetStopFlag(const std::atomic<std::uint8_t>* pRunning) { m_pRunning = pRunning; }
  const std::string& Path() const { return m_strPath; }
  bool IsReadOnly() const { return m_bReadOnly; }
  std::string Title();
  bool SoftDeletions();
  void SetTitle(const std::string& title);
  void SetSoftDeletions(bool on);

  // Note reads (GetNote, GetItems) outside a transaction share one read
  // transaction (a lease), so a pass that opens thousands of notes does not
  // lock and unlock the file for each. The lease ends at every other call,
  // at any write, after 100 ms of reading, and here: callers end it when a
  // pass is done (closing a view) so an idle program never
  // keeps other writers waiting.
  void EndReadLease();

  // Transactions nest; only the outermost Commit writes.
  void Begin();
  void Commit();
  void Rollback();
  int TransactionDepth() const { return m_nDepth; }

  std::optional<NoteRow> GetNote(NOTEID id);
  std::vector<StoredItem> GetItems(NOTEID id);
  // The note and its items in one query (a document being opened). Within a
  // read lease, a note that the read plan names is read together with the
  // next notes of the plan (one query per table for all of them), and kept
  // until asked for or until the lease ends (any write ends it).
  std::optional<NoteRow> LoadNote(NOTEID id, std::vector<StoredItem>& items);
  // The notes the caller is about to load, in order (a folder's entries):
  // the read plan of LoadNote. Replaces the previous plan.
  void PlanReads(const std::vector<NOTEID>& ids);
  // Every note, stubs included, ascending id.
  std::vector<NoteRow> ListNotes();
  // Views and folders that are not stubs, ascending id.
  std::vector<NoteRow> ListDesignNotes();
  std::optional<NoteRow> FindDesignNote(std::string_view name);
  // Live documents of a view or folder, in its order.
  std::vector<NOTEID> Entries(const NoteRow& design);
  // Stored folder entries or explicit view entries, without filtering.
  std::vector<NOTEID> StoredEntries(NOTEID design);

  // The next free id: a multiple of 4 above every id ever used here.
  NOTEID NextNoteId();
  // Inserts a note and its items (the id must be free).
  void InsertNote(const NoteRow& row, const std::vector<StoredItem>& items);
  // For bulk loads: the same, and unless folder is 0 an entry at the end of
  // that folder, inside the caller's transaction (Begin) and without a
  // savepoint of its own, which would copy every page the note touches once
  // more. A failure leaves that transaction partly done: the caller rolls
  // it back whole.
  void InsertNewNote(const NoteRow& row, const std::vector<StoredItem>& items, NOTEID folder);
  void ReplaceItems(NOTEID id, const std::vector<StoredItem>& items);
  void SetStoredEntries(NOTEID design, const std::vector<NOTEID>& entries);
  // Appends doc to the folder unless it is there. False when it was.
  bool AppendEntry(NOTEID folder, NOTEID doc);
  void MoveToTrash(NOTEID id);
  // Trash back to live; false when the document was not in the trash.
  bool TakeFromTrash(NOTEID id);
  // Removes the deletion stub at id; false when there was none.
  bool DropStub(NOTEID id);
  // Views and folders whose stored entries hold doc, ascending id.
  std::vector<NOTEID> DesignsHolding(NOTEID doc);
  // Removes the note's items and entries; leaves a stub when asked.
  void Erase(NOTEID id, bool leaveStub);

private:
  class Statement;
  class WriteScope;
  Store() = default;
  // What the file was when the store was parked: any write since changes
  // its size, modification or change time.
  struct FileStamp {
    std::uint64_t nDevice = 0, nInode = 0, nSize = 0;
    std::int64_t nModifiedNs = 0, nChangedNs = 0;
    bool operator==(const FileStamp&) const = default;
  };
  static std::optional<FileStamp> StampOf(const std::string& path);
  void EraseNow(NOTEID id, bool leaveStub);
  void Exec(const char* sql);
  // One statement given as a string literal, prepared once: the
  // transaction statements that every change runs.
  void ExecCached(const char* literal);
  void Lease();
  void Register();
  static int OnBusy(void* store, int count);
  sqlite3_stmt* Prepare(const char* sql);  // cached for the life of the connection
  bool FindInPlan(NOTEID id);
  void ReadAhead();
  [[noreturn]] void Fail(const char* what);
  // A commit after SQLite rolled the transaction back by itself.
  [[noreturn]] void LostTransaction();
  void CreateSchema(const std::string& title, bool softDeletions);
  std::string Meta(const char* key);
  void SetMeta(const char* key, const std::string& value);
  void InsertNoteRow(const NoteRow& row);
  void InsertItems(NOTEID id, const std::vector<StoredItem>& items);

  sqlite3* m_pDb = nullptr;  // owned; closed by the destructor
  std::string m_strPath;
  bool m_bReadOnly = false;
  int m_nDepth = 0;
  // The failure after which SQLite rolled back the open transaction by
  // itself (a full disk): the cause that a later commit reports.
  std::string m_strLostTransaction;
  // Guards the lease: another connection of this process that waits for
  // this file ends an idle lease (see OnBusy), never one in use.
  std::recursive_mutex m_mutexLease;
  bool m_bLeased = false;
  std::pair<std::uint64_t, std::uint64_t> m_fileId{0, 0};  // device and inode
  std::int64_t m_nLeaseStartMs = 0;
  std::unordered_map<const char*, sqlite3_stmt*> m_mapStatements;  // owned; finalized by the destructor

  // Which state of the file a kept answer was worked out from: it holds
  // until the file changes (a change through this connection, or a commit
  // of another).
  struct FileState {
    std::int64_t nDataVersion = -1;
    std::int64_t nTotalChanges = -1;
    std::uint64_t nRollbacks = 0;  // a rollback undoes changes without counting them
    bool operator==(const FileState&) const = default;
  };
  FileState CurrentFileState();
  // The live documents, ascending id: what every folder's entries are
  // checked against. One scan of the notes serves every folder and view of
  // a listing and a run, where a join per folder would look each entry up.
  // A document this connection removes leaves it usable: the id is noted
  // and dropped at the next use, so a run's thousands of deletions cost one
  // pass over the list per folder instead of a scan of the notes.
  struct LiveIndex {
    FileState state;
    std::vector<NOTEID> vecIds;
    std::vector<NOTEID> vecRemoved;  // not yet dropped from vecIds
  };
  const std::vector<NOTEID>& LiveDocuments();
  // Runs change, which takes document id out of the live ones, keeping the
  // live list when it was current before the change.
  template <typename Change>
  void RemoveLive(NOTEID id, Change&& change);
  // Documents by form, ascending id: what views selecting by form are made
  // of, once checked against the live documents. Working it out reads every
  // document, and a listing and a run ask for several such views. Removing
  // documents (a run's deletions) leaves it usable: the check drops them,
  // and one whose removal is rolled back is still there. Anything else that
  // changes the file makes it be worked out anew.
  struct FormIndex {
    FileState state;
    std::uint64_t nAdditions = 0;  // m_nAdditions when it was worked out
    std::map<std::string, std::vector<NOTEID>> mapIdsByForm;
  };
  const FormIndex& DocumentsByForm();
  const std::atomic<std::uint8_t>* m_pRunning = nullptr;
  bool m_bSyncOff = false;
  int m_fdWriteBack = -1;  // SyncOnlyAtClose: the file, to start writing it out
  FileStamp m_parkedStamp;
  LiveIndex m_liveIndex;
  FormIndex m_formIndex;
  // Changes through this connection that may make a document live or give
  // it other items: the ones after which the form index is not usable.
  std::uint64_t m_nAdditions = 0;
  std::uint64_t m_nRollbacks = 0;  // rollbacks through this connection

  // The read plan and the notes read ahead of it (guarded by m_mutexLease;
  // the notes only while m_bLeased, so they are never older than the lease).
  struct LoadedNote {
    NoteRow row;
    std::vector<StoredItem> items;
  };
  std::vector<NOTEID> m_vecPlan;
  std::size_t m_nPlanPos = 0;  // where the plan's next load is expected
  std::unordered_map<NOTEID, LoadedNote> m_mapReadAhead;
};

// Flushes a closed database file to disk; throws an LNSTATUS on failure.
void SyncFile(const std::string& path);

// The local time now as "YYYY-MM-DDTHH:MM:SS".
std::string LocalTimeNow();

}  // namespace lnapi::store
