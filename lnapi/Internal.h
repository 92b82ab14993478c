// Shared state behind the LN handle classes. Internal to lnapi.
//
// A DatabaseState is created when a session binds a path, and is shared by
// every copy of that LNDatabase and by the notes, views and entries taken
// from it. Open gives it a Store; Close drops it. A NoteState is the state of
// one note handle (shared by LNDocument copies and LNMailMessage views of it).
// Used by one thread at a time, as the API's thread rules say.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lnapi/LNNotes.h"
#include "lnapi/store/ItemCodec.h"
#include "lnapi/store/Store.h"

namespace lnapi {

class DatabaseState {
public:
  explicit DatabaseState(std::string path) : m_strPath(std::move(path)) {}
  ~DatabaseState();
  DatabaseState(const DatabaseState&) = delete;
  DatabaseState& operator=(const DatabaseState&) = delete;

  void Open();
  // Closes; an error only when syncing a database opened with
  // SyncOnlyAtClose failed.
  LNSTATUS Close();
  bool IsOpen() const { return m_pStore != nullptr; }
  // The store, or a thrown LNERR_NOT_OPEN naming the file.
  store::Store& Store();
  // Bumped by every change made through this object, so a note handle knows
  // whether its loaded items may still be used.
  void Changed() { ++m_nGeneration; }

  std::string m_strPath;
  std::unique_ptr<store::Store> m_pStore;  // null while closed
  int m_fdLock = -1;                       // holds the shared flock while open
  bool m_bSyncAtClose = false;
  DHANDLE m_hDatabase = 0;                 // core-API handle while open
  std::uint64_t m_nGeneration = 0;
};

class NoteState : public std::enable_shared_from_this<NoteState> {
public:
  NoteState(std::shared_ptr<DatabaseState> db, NOTEID id) : m_pDb(std::move(db)), m_dwId(id) {}
  ~NoteState();
  NoteState(const NoteState&) = delete;
  NoteState& operator=(const NoteState&) = delete;

  // Loads the note and its items (one query each) unless what was loaded is
  // still current. Returns LNERR_NOT_FOUND for a note that is gone.
  LNSTATUS Load();
  void Close();
  const store::StoredItem* FindItem(std::string_view name) const;
  // Fills dt from a stored date and time.
  static void SetDatetime(const store::TimeValue& t, LNDatetime* dt);

  std::shared_ptr<DatabaseState> m_pDb;
  NOTEID m_dwId = 0;
  bool m_bOpen = false;
  bool m_bLoaded = false;
  std::uint64_t m_nLoadedGeneration = 0;
  store::NoteRow m_row;
  std::vector<store::StoredItem> m_vecItems;
  DHANDLE m_hNote = 0;  // core-API handle while open
};

// The entries of an open view or folder. The snapshot is taken when they are
// first asked for, not at Open: listing a database opens every view but
// counts only some, and working out a view that selects by form reads every
// document. Nothing changes the database between an Open and the first
// question in any caller, so the snapshot is the same as one taken at Open.
class FolderState {
public:
  const std::vector<NOTEID>& Entries();

  bool m_bOpen = false;
  std::shared_ptr<DatabaseState> m_pDb;  // whose store the entries come from
  store::NoteRow m_design;               // the view or folder as opened
  std::vector<NOTEID> m_vecEntries;      // the snapshot, once taken
  bool m_bTaken = false;
};

// Core-API handles (CoreHandles.cpp).
DHANDLE RegisterDatabaseHandle(const std::shared_ptr<DatabaseState>& db);
DHANDLE RegisterNoteHandle(const std::shared_ptr<NoteState>& note);
void ReleaseHandle(DHANDLE handle);

// ASCII case-insensitive equality, as Notes compares item names.
bool SameItemName(std::string_view a, std::string_view b);

}  // namespace lnapi
