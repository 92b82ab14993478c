// The Notes object API, as Tarnwick uses it.
//
// These classes stand where the vendor's Notes C++ classes stand on Windows:
// same names, same calls, same statuses. Underneath, each database is one
// SQLite file (lnapi/store). Nothing above this layer may assume that.
//
// Objects are light handles to shared state, as in the vendor's API: copying
// an LNDocument or LNViewFolder copies the handle, not the note.
//
// Errors: calls return an LNSTATUS (0 = success) or throw one (a plain 32-bit
// LNSTATUS value) where the vendor's API would throw. LNGetErrorMessageText
// gives the text of any status, including statuses made for one failure
// ("Cannot open /x/mail.nsf: file is not a Tarnwick database").
//
// Threads: one LNNotesSession and one LNDatabase may be shared by several
// threads, but only one thread uses them at a time. Every worker thread calls
// InitThread on a session object of its own before its first Notes call and
// TermThread after its last.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using LNSTATUS = std::uint32_t;
using LNINT = std::int32_t;
using LNBOOL = int;
using LNCHARSET = int;
using NOTEID = std::uint32_t;
using DHANDLE = std::uint32_t;  // core-API handle: database, note or memory
using WORD = std::uint16_t;

constexpr LNSTATUS LNNOERROR = 0;

// Item data type codes, as Notes stores them.
constexpr WORD TYPE_COMPOSITE = 1;  // rich text
constexpr WORD TYPE_HTML = 21;
constexpr WORD TYPE_OBJECT = 3;  // attachment ($FILE)
constexpr WORD TYPE_NUMBER = 768;
constexpr WORD TYPE_TIME = 1024;
constexpr WORD TYPE_TEXT = 1280;
constexpr WORD TYPE_TEXT_LIST = 1281;

// Delete flag that removes a note without leaving a deletion stub.
constexpr std::uint32_t UPDATE_NOSTUB = 0x200;

// Statuses the system looks at. Others exist; their texts come from
// LNGetErrorMessageText.
constexpr LNSTATUS LNERR_NOT_FOUND = 0x0404;        // no such note, item, view or folder
constexpr LNSTATUS LNERR_NOT_OPEN = 0x0405;         // object used before Open
constexpr LNSTATUS LNERR_NOT_A_DATABASE = 0x0406;   // file is not a Tarnwick database
constexpr LNSTATUS LNERR_FILE = 0x0407;             // file cannot be read or written
constexpr LNSTATUS LNERR_NOT_INITIALIZED = 0x0408;  // session not initialised
constexpr LNSTATUS LNERR_EXISTS = 0x0409;           // a folder of that name exists
constexpr LNSTATUS LNERR_BAD_DATA = 0x040A;         // malformed item value (e.g. rich text)
constexpr LNSTATUS LNERR_INVALID_HANDLE = 0x040B;   // unknown or freed core-API handle
constexpr LNSTATUS LNERR_BAD_ARGUMENT = 0x040C;
constexpr LNSTATUS LNERR_STOPPED = 0x040D;          // a long read given up because the run was stopped

// Text of a status into buf (at most bufSize bytes including the final zero,
// UTF-8). Returns the number of bytes written without the zero.
std::size_t LNGetErrorMessageText(LNSTATUS status, char* buf, std::size_t bufSize, int flags = 0);
std::string LNGetErrorMessageText(LNSTATUS status);

// A Notes string: bytes in the Notes character set, which is UTF-8 here.
class LNString {
public:
  LNString() = default;
  LNString(const char* text);  // NOLINT: implicit, as in the vendor's API
  LNString(std::string bytes);
  const char* GetBuf() const { return m_strBytes.c_str(); }
  std::size_t GetBufLength() const { return m_strBytes.size(); }  // bytes
  std::size_t GetLength() const;  // characters (code points)
  bool IsNull() const { return m_strBytes.empty(); }
  const std::string& Bytes() const { return m_strBytes; }
  bool operator==(const LNString&) const = default;

private:
  std::string m_strBytes;
};

// Wide text in (UTF-16) → Notes string. charset 0 = Unicode.
LNSTATUS LNStringTranslate(std::u16string_view text, LNCHARSET charset, LNString* out);
// Notes string → UTF-16 little-endian bytes in buf, at most bufSize bytes,
// never a split character, always zero-terminated when bufSize >= 2 (the
// text is cut to leave room for the zero). *length gets the bytes written
// without the zero. charset 0 = Unicode.
LNSTATUS LNStringTranslate(const LNString& text, LNCHARSET charset, std::size_t bufSize,
                           char* buf, std::size_t* length);

// Core API character translation (ordinal 391). Mode 0x14: Notes character
// set (UTF-8) to UTF-16LE. Never writes past outSize and never splits a
// character; returns the number of bytes written.
constexpr WORD OS_TRANSLATE_LMBCS_TO_UNICODE = 0x14;
WORD OSTranslate(WORD mode, const char* in, WORD inLength, char* out, WORD outSize);

class LNDatabase;
class LNDocument;
class LNNote;
class LNItem;
class LNText;
class LNDatetime;
class LNAttachment;
class LNViewFolder;
class LNVFEntry;

namespace lnapi {
class DatabaseState;  // shared state of an open database (store connection)
class NoteState;      // shared state of an open note
class FolderState;
class SessionState;
}  // namespace lnapi

class LNNotesSession {
public:
  LNNotesSession();
  ~LNNotesSession();
  LNNotesSession(const LNNotesSession&) = delete;
  LNNotesSession& operator=(const LNNotesSession&) = delete;

  LNSTATUS Initialize(int version = 800, int argc = 0, char** argv = nullptr, int flag = 1,
                      const char* text = nullptr);
  LNSTATUS Term(int flags = 0);
  LNBOOL IsInitialized() const;
  LNSTATUS InitThread();
  LNSTATUS TermThread();
  // Binds db to the file at path (UTF-8 bytes); the file is not opened yet.
  LNSTATUS GetDatabase(const LNString& path, LNDatabase* db, const LNString& server = "");

private:
  bool m_bInitialized = false;
};

class LNItem {
public:
  LNItem();
  WORD GetType() const;
  std::size_t GetValueSize() const;
  // Copies size bytes of the value from offset into buf; returns the count.
  std::size_t Read(std::size_t offset, std::size_t size, void* buf) const;
  const LNString& GetName() const;
  bool IsNull() const;

private:
  friend class LNNote;
  LNString m_strName;
  WORD m_wType = 0;
  std::string m_value;  // the value bytes as stored
  bool m_bNull = true;
};

class LNText {
public:
  LNText() = default;
  LNINT GetCount() const { return static_cast<LNINT>(m_vecEntries.size()); }
  // All entries joined with separator.
  LNSTATUS GetText(LNString* out, const LNString& separator = ";") const;
  const LNString& operator[](LNINT i) const { return m_vecEntries.at(static_cast<std::size_t>(i)); }

private:
  friend class LNNote;
  friend class LNMailMessage;
  std::vector<LNString> m_vecEntries;
};

class LNDatetime {
public:
  LNDatetime() = default;
  // Out-parameters in the vendor's order: month, day, year.
  void GetDate(LNINT* month, LNINT* day, LNINT* year) const;
  void GetTime(LNINT* hour, LNINT* minute, LNINT* second, LNINT* hundredth = nullptr) const;
  bool IsNull() const { return m_bNull; }

private:
  friend class LNNote;
  friend class LNMailMessage;
  friend class lnapi::NoteState;
  bool m_bNull = true;
  LNINT m_nYear = 0, m_nMonth = 0, m_nDay = 0, m_nHour = 0, m_nMinute = 0, m_nSecond = 0,
        m_nHundredth = 0;
};

class LNAttachment {
public:
  LNString GetAttachmentName() const { return m_strName; }
  std::size_t GetSize() const { return m_nSizeBytes; }

private:
  friend class LNNote;
  LNString m_strName;
  std::size_t m_nSizeBytes = 0;
};

class LNAttachmentArray {
public:
  LNINT GetCount() const { return static_cast<LNINT>(m_vecItems.size()); }
  const LNAttachment& operator[](LNINT i) const { return m_vecItems.at(static_cast<std::size_t>(i)); }

private:
  friend class LNNote;
  std::vector<LNAttachment> m_vecItems;
};

// A note of a database (document, view or folder design note).
class LNNote {
public:
  LNNote();
  virtual ~LNNote();
  LNNote(const LNNote&);
  LNNote& operator=(const LNNote&);

  // LNERR_NOT_FOUND (returned, not thrown) when the note is gone: deleted,
  // or a handle from a view snapshot taken before the deletion.
  LNSTATUS Open(int flags = 0);
  LNSTATUS Close();
  LNBOOL IsOpen() const;
  LNSTATUS Save(int flags = 0);
  NOTEID GetNoteID() const;
  LNBOOL HasItem(const LNString& name) const;
  // First item of that name. Returns LNERR_NOT_FOUND when absent.
  LNSTATUS GetItem(const LNString& name, LNItem* item) const;
  // Item read as text: text and text-list items give their entries; other
  // types give no entry. Returns LNERR_NOT_FOUND when absent.
  LNSTATUS GetItem(const LNString& name, LNText* text) const;
  LNSTATUS GetItem(const LNString& name, LNDatetime* dt) const;
  LNSTATUS GetCreated(LNDatetime* dt) const;
  // When the note was last changed (its creation time if never).
  LNSTATUS GetLastModified(LNDatetime* dt) const;
  LNBOOL HasAttachments() const;
  LNSTATUS GetAttachments(LNAttachmentArray* out) const;
  // Bytes of the open note's item values as stored (attachments included);
  // 0 when the note is not open.
  LNINT GetSize() const;
  // Core-API handle of this open note (flag 1 = as the vendor's API).
  DHANDLE GetNoteHandle(int flag = 1) const;
  bool IsNull() const;

protected:
  std::shared_ptr<lnapi::NoteState> m_pState;  // shared with every copy of this handle
  friend class LNDatabase;
  friend class LNVFEntry;
  friend class LNViewFolder;
};

class LNDocument : public LNNote {
public:
  LNDocument() = default;
  // The Form item as a Notes string (empty when absent).
  LNString GetFormNote() const;
};

// A mail-message view of a document. Assigning an LNDocument shares the note.
class LNMailMessage : public LNDocument {
public:
  LNMailMessage() = default;
  LNMailMessage& operator=(const LNDocument& doc);
  LNSTATUS GetSender(LNString* sender) const;                   // From
  LNSTATUS GetRecipients(int type, LNText* recipients) const;  // type 0: SendTo
  LNSTATUS GetSubject(LNText* subject) const;                   // Subject
  LNSTATUS GetDateSent(LNDatetime* dt) const;                   // PostedDate
};

class LNVFEntry {
public:
  bool IsNull() const;
  LNSTATUS GetDocument(LNDocument* doc) const;
  NOTEID GetNoteID() const { return m_dwNoteId; }

private:
  friend class LNViewFolder;
  std::shared_ptr<lnapi::DatabaseState> m_pDb;
  NOTEID m_dwNoteId = 0;
};

class LNViewFolder : public LNNote {
public:
  LNViewFolder() = default;
  LNSTATUS Open(int flags = 0);
  LNSTATUS Open(int flags, LNDatabase& db);
  LNString GetName() const;
  LNINT GetType() const;
  LNBOOL IsFolder() const;
  LNINT GetEntryCount() const;
  // Entry i of the view or folder, in its order; a null entry past the end.
  // Entries and count are those at Open: documents added or deleted later
  // show at the next Open, so a pass walking the entries never shifts.
  LNVFEntry operator[](LNINT i) const;
  LNSTATUS FolderAddDocument(const LNDocument& doc);
  LNSTATUS Save(int flags = 0);
  LNSTATUS Close();

private:
  std::shared_ptr<lnapi::FolderState> m_pFolder;  // entries of the open view or folder
};

// A document's whole stored content: what the undo journal keeps of a
// document a run deletes, and RestoreNote puts back under the same note id.
struct LNNoteImage {
  struct Item {
    std::string strName;
    WORD wType = 0;
    std::string value;  // the value bytes as stored
    bool operator==(const Item&) const = default;
  };
  NOTEID dwNoteId = 0;
  std::string strCreated;   // local time "YYYY-MM-DDTHH:MM:SS"
  std::string strModified;  // same form
  std::vector<Item> vecItems;
  bool operator==(const LNNoteImage&) const = default;
};

// What a note id stands for in a database now.
enum class LNNoteLife { absent = 0, live = 1, trash = 2, stub = 3, design = 4 };

class LNViewFolderArray {
public:
  LNINT GetCount() const { return static_cast<LNINT>(m_vecFolders.size()); }
  LNViewFolder operator[](LNINT i) const { return m_vecFolders.at(static_cast<std::size_t>(i)); }

private:
  friend class LNDatabase;
  std::vector<LNViewFolder> m_vecFolders;
};

class LNDatabase {
public:
  LNDatabase();
  ~LNDatabase();
  LNDatabase(const LNDatabase&);
  LNDatabase& operator=(const LNDatabase&);

  // Opens the bound file. Throws an LNSTATUS naming the file and the reason
  // when the file is missing, unreadable or not a Tarnwick database; never
  // changes such a file. While open, the file is held with a shared lock, so
  // IsFileHeldByOther (below) sees it from another process.
  LNSTATUS Open();
  LNSTATUS Close();
  LNBOOL IsOpen() const;
  // The run's Stop flag (0 once Stop is pressed), or null. The reads that
  // scan the whole file give up with LNERR_STOPPED once it reads 0, so a
  // Stop never waits for them; nothing is changed or cached by a read given
  // up. Set on an open database; the flag must outlive it.
  void SetStopFlag(const std::atomic<std::uint8_t>* pRunning);
  // For a database a run has just made (a clean copy): its commits are not
  // synced one by one, and Close syncs the file once, returning an error if
  // that fails. A killed process still leaves every commit whole (the
  // rollback journal); only a machine losing power mid-run may damage the
  // copy, which was not finished then. Set on an open database.
  void SyncOnlyAtClose();
  // A stopped run's copy is not finished either: Close then does not wait
  // for the disk. No effect without SyncOnlyAtClose.
  void SkipSyncAtClose();
  DHANDLE GetDatabaseHandle(int flag = 1) const;
  std::uint64_t GetSize() const;  // bytes of the database file
  LNString GetFilePath() const;
  LNString GetTitle() const;
  LNSTATUS GetViewFolders(LNViewFolderArray* out, int flags = 1);
  LNSTATUS GetViewFolder(const LNString& name, LNViewFolder* out);
  LNSTATUS GetViewFolder(NOTEID id, LNViewFolder* out);
  // The live document with that note id (not opened yet); LNERR_NOT_FOUND
  // when there is none (a design note, a stub, a document in the trash).
  LNSTATUS GetDocument(NOTEID id, LNDocument* out);
  LNSTATUS CreateFolder(const LNString& name, LNViewFolder* out);
  // A new document in this database with every item of source.
  LNSTATUS CreateDocument(const LNDocument& source, LNDocument* copy);
  // To the trash when soft deletions are on, else deleted leaving a stub.
  // Both return LNERR_NOT_FOUND for a note that is not there (any more);
  // a document in the trash can still be deleted by DeleteNote.
  LNSTATUS DeleteDocument(LNDocument& doc);
  LNSTATUS DeleteNote(NOTEID id, std::uint32_t flags);

  // What undoing a run needs. Each change commits before the call returns
  // (or joins the caller's open transaction), as every change here does.
  //
  // True when DeleteDocument moves documents to the trash.
  LNBOOL IsSoftDeletions() const;
  // What id holds now: a live document, one in the trash, a deletion stub,
  // a view or folder, or nothing.
  LNNoteLife GetNoteLife(NOTEID id) const;
  // The whole content of the document id (live or in the trash);
  // LNERR_NOT_FOUND for anything else.
  LNSTATUS GetNoteImage(NOTEID id, LNNoteImage* out) const;
  // Views and folders whose stored entries hold id, ascending id.
  LNSTATUS GetNoteFolders(NOTEID id, std::vector<NOTEID>* out) const;
  // Puts the document back under image.dwNoteId, with its items, creation
  // and modification times, as a live document; a deletion stub at that id
  // is dropped. LNERR_EXISTS when the id holds anything but a stub (the
  // store never reuses an id, so that is another document).
  LNSTATUS RestoreNote(const LNNoteImage& image);
  // Drops the deletion stub at id; LNERR_NOT_FOUND when there is none.
  LNSTATUS DropStub(NOTEID id);
  // Takes the document out of the trash; LNERR_NOT_FOUND when it is not there.
  LNSTATUS RestoreFromTrash(NOTEID id);
  // Files the document id in each of folders that does not hold it yet (at
  // the end); folders that are gone are passed over. LNERR_NOT_FOUND when id
  // is not a document.
  LNSTATUS AddFolderEntries(NOTEID id, const std::vector<NOTEID>& folders);

  // Groups every change until CommitTransaction into one all-or-nothing unit
  // (a killed process leaves none of it). Nests: only the outermost commit
  // writes. RollbackTransaction undoes the innermost open level.
  LNSTATUS BeginTransaction();
  LNSTATUS CommitTransaction();
  LNSTATUS RollbackTransaction();

private:
  friend class LNNotesSession;
  friend class LNViewFolder;
  std::shared_ptr<lnapi::DatabaseState> m_pState;
  LNString m_strPath;
};

namespace lnapi {
// True when another process holds the file open through this layer (or holds
// an exclusive lock on it). False for a file nobody holds.
bool IsFileHeldByOther(const std::string& path);

// The kind of a status: statuses made for one failure (with a text naming
// the file) carry one of the LNERR_ codes above in their low 16 bits.
constexpr LNSTATUS ErrorCode(LNSTATUS status) { return status & 0xFFFF; }
}  // namespace lnapi
