#include "lnapi/store/Store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <cstring>
#include <ctime>

#include "lnapi/Status.h"
#include "lnapi/store/StoreSql.h"
#include "platform/CreateNew.h"

namespace lnapi::store {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE notes(
  id INTEGER PRIMARY KEY,
  class INTEGER NOT NULL,
  life INTEGER NOT NULL DEFAULT 0,
  created TEXT NOT NULL,
  modified TEXT NOT NULL,
  name TEXT,
  view_type INTEGER NOT NULL DEFAULT 0,
  select_kind INTEGER NOT NULL DEFAULT 0,
  select_args TEXT NOT NULL DEFAULT '');
CREATE INDEX notes_design ON notes(class, id) WHERE class <> 1;
CREATE TABLE items(
  note INTEGER NOT NULL,
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  type INTEGER NOT NULL,
  value BLOB NOT NULL,
  PRIMARY KEY(note, seq)) WITHOUT ROWID;
CREATE TABLE entries(
  design INTEGER NOT NULL,
  pos INTEGER NOT NULL,
  note INTEGER NOT NULL,
  PRIMARY KEY(design, pos)) WITHOUT ROWID;
CREATE INDEX entries_note ON entries(note);
)sql";

// Open stores of this process by file, so one that waits for the file can
// end the idle read leases of the others.
struct OpenStores {
  std::mutex mutex;
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, Store*> stores;
};

OpenStores& Registry() {
  static OpenStores registry;
  return registry;
}

// How long one read lease may last while reads keep coming.
constexpr std::int64_t kLeaseMs = 100;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::uint32_t BigEndian(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

[[noreturn]] void Refuse(const std::string& path, LNSTATUS code, const std::string& reason) {
  ThrowStatus(code, "Cannot open " + path + ": " + reason);
}

// Looks at the file without changing it: is it there, a plain readable file,
// an SQLite file, and one of ours in a format this program knows?
void CheckFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    Refuse(path, LNERR_FILE, errno == ENOENT ? "the file does not exist" : std::strerror(errno));
  if (S_ISDIR(st.st_mode)) Refuse(path, LNERR_NOT_A_DATABASE, "it is a folder, not a database file");
  if (!S_ISREG(st.st_mode)) Refuse(path, LNERR_NOT_A_DATABASE, "it is not a regular file");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Refuse(path, LNERR_FILE, std::strerror(errno));
  unsigned char header[100];
  std::size_t got = 0;
  while (got < sizeof header) {
    const ssize_t n = ::read(fd, header + got, sizeof header - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (st.st_size == 0) Refuse(path, LNERR_NOT_A_DATABASE, "the file is empty, not a Tarnwick database");
  if (got >= 16 && got < sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0)
    Refuse(path, LNERR_NOT_A_DATABASE, "the file is truncated (" + std::to_string(got) + " bytes)");
  if (got < sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)
    Refuse(path, LNERR_NOT_A_DATABASE, "file is not a Tarnwick database");
  if (BigEndian(header + 68, 4) != kApplicationId)
    Refuse(path, LNERR_NOT_A_DATABASE,
           "file is an SQLite database of another program, not a Tarnwick database");
  const auto version = static_cast<int>(BigEndian(header + 60, 4));
  if (version > kFormatVersion)
    Refuse(path, LNERR_NOT_A_DATABASE,
           "database format " + std::to_string(version) + " is newer than this program reads");
  if (version < 1) Refuse(path, LNERR_NOT_A_DATABASE, "file is not a complete Tarnwick database");
  std::uint32_t pageSize = BigEndian(header + 16, 2);
  if (pageSize == 1) pageSize = 65536;
  const std::uint32_t pages = BigEndian(header + 28, 4);
  const bool countValid = std::memcmp(header + 92, header + 24, 4) == 0;
  struct stat journal {};
  const bool hotJournal = ::stat((path + "-journal").c_str(), &journal) == 0 && journal.st_size > 0;
  // A journal left by a killed writer is rolled back on open; the size may
  // legitimately disagree until then.
  if (!hotJournal && countValid && pageSize >= 512 &&
      static_cast<std::uint64_t>(st.st_size) < std::uint64_t{pageSize} * pages)
    Refuse(path, LNERR_NOT_A_DATABASE,
           "the file is truncated (" + std::to_string(st.st_size) + " of " +
               std::to_string(std::uint64_t{pageSize} * pages) + " bytes)");
}

}  // namespace

namespace {

// Before the first connection: SQLite's memory statistics take a lock of
// the whole process at every allocation, which databases judged side by side
// (--jobs) then queue for. Nothing here reads them.
void ConfigureSqlite() {
  static std::once_flag once;
  std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

// A writer killed mid-transaction leaves a journal that the next writer
// rolls back. A read-only connection cannot, so one that finds such a journal
// first lets a short read-write connection restore the last committed state.
void RecoverForReading(const std::string& path) {
  struct stat journal {};
  if (::stat((path + "-journal").c_str(), &journal) != 0 || journal.st_size == 0) return;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    // Reading anything makes SQLite play the journal back; if that fails,
    // the read-only open that follows reports the problem.
    sqlite3_exec(db, "SELECT count(*) FROM meta", nullptr, nullptr, nullptr);
  }
  sqlite3_close(db);
}

}  // namespace

std::unique_ptr<Store> Store::Open(const std::string& path, Mode mode) {
  ConfigureSqlite();
  CheckFile(path);
  if (mode == Mode::readOnly) RecoverForReading(path);
  std::unique_ptr<Store> store(new Store);
  store->m_strPath = path;
  store->m_bReadOnly = mode == Mode::readOnly;
  int flags = SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
  flags |= store->m_bReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  int rc = sqlite3_open_v2(path.c_str(), &store->m_pDb, flags, nullptr);
  if (rc != SQLITE_OK && !store->m_bReadOnly) {
    // A file we may read but not write opens read-only; changes then fail
    // with a status naming the file.
    sqlite3_close(store->m_pDb);
    store->m_pDb = nullptr;
    store->m_bReadOnly = true;
    rc = sqlite3_open_v2(path.c_str(), &store->m_pDb,
                         SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_READONLY, nullptr);
  }
  if (rc != SQLITE_OK) Refuse(path, LNERR_FILE, sqlite3_errstr(rc));
  store->Register();
  sqlite3_extended_result_codes(store->m_pDb, 1);
  try {
    if (!store->m_bReadOnly) store->Exec("PRAGMA synchronous=NORMAL");
    // Room for the pages a large batch of deletions touches. (No memory
    // mapping: a file cut short by another program would then crash us.)
    store->Exec("PRAGMA cache_size=-32768");
    // Deleted content is cleared from the pages it shared with live notes,
    // without the extra writes of clearing whole freed pages.
    store->Exec("PRAGMA secure_delete=FAST");
    store->Meta("title");  // proves the schema is ours and readable
  } catch (LNSTATUS) {
    const int rc = sqlite3_extended_errcode(store->m_pDb) & 0xFF;
    const std::string detail = sqlite3_errmsg(store->m_pDb);
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB || rc == SQLITE_ERROR)
      Refuse(path, LNERR_NOT_A_DATABASE, "the database is damaged (" + detail + ")");
    Refuse(path, LNERR_FILE, "the database cannot be read (" + detail + ")");
  }
  return store;
}

std::unique_ptr<Store> Store::Create(const std::string& path, const std::string& title,
                                     bool softDeletions) {
  // Created new: never replace a file that appeared meanwhile, nor write
  // through a planted link. A new database holds mail: the owner's alone.
  const int fd = platform::CreateNewFile(path, platform::Access::ownerOnly);
  if (fd < 0) ThrowStatus(LNERR_FILE, "Cannot create " + path + ": " + std::strerror(errno));
  ::close(fd);
  ConfigureSqlite();
  std::unique_ptr<Store> store(new Store);
  store->m_strPath = path;
  const int rc = sqlite3_open_v2(path.c_str(), &store->m_pDb,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  if (rc != SQLITE_OK) {
    ::unlink(path.c_str());
    ThrowStatus(LNERR_FILE, "Cannot create " + path + ": " + sqlite3_errstr(rc));
  }
  store->Register();
  try {
    // The same page cache as a store opened later: a new database is often
    // filled at once (an import), in batches larger than the default cache.
    store->Exec("PRAGMA cache_size=-32768");
    store->Exec("PRAGMA secure_delete=FAST");
    store->CreateSchema(title, softDeletions);
  } catch (...) {
    store.reset();
    ::unlink(path.c_str());
    throw;
  }
  return store;
}

void Store::CreateSchema(const std::string& title, bool softDeletions) {
  Exec("PRAGMA synchronous=NORMAL");
  Exec(("PRAGMA application_id=" + std::to_string(static_cast<std::int32_t>(kApplicationId))).c_str());
  Exec(("PRAGMA user_version=" + std::to_string(kFormatVersion)).c_str());
  WriteScope scope(*this);
  Exec(kSchema);
  SetMeta("title", title);
  SetMeta("softDeletions", softDeletions ? "1" : "0");
  SetMeta("highId", "0");
  scope.Commit();
}

Store::~Store() {
  {
    OpenStores& registry = Registry();
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.stores.begin(); it != registry.stores.end(); ++it)
      if (it->second == this) {
        registry.stores.erase(it);
        break;
      }
  }
  EndReadLease();
  for (auto& [sql, stmt] : m_mapStatements) sqlite3_finalize(stmt);
  // An open transaction here belongs to a caller that never committed:
  // closing rolls it back, which is what an uncommitted change must do.
  sqlite3_close_v2(m_pDb);
  if (m_fdWriteBack >= 0) ::close(m_fdWriteBack);
}

void Store::Exec(const char* sql) {
  if (sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("read or write the database");
}

void Store::ExecCached(const char* literal) {
  sqlite3_stmt* stmt = Prepare(literal);
  const int rc = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) Fail("read or write the database");
}

sqlite3_stmt* Store::Prepare(const char* sql) {
  auto it = m_mapStatements.find(sql);
  if (it != m_mapStatements.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
    Fail("read the database");
  m_mapStatements.emplace(sql, stmt);
  return stmt;
}

void Store::Fail(const char* what) {
  const int rc = sqlite3_extended_errcode(m_pDb);
  const LNSTATUS code = (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB
                            ? LNERR_NOT_A_DATABASE
                            : LNERR_FILE;
  const std::string message = std::string("Cannot ") + what + " " + m_strPath + ": " + sqlite3_errmsg(m_pDb);
  if (sqlite3_get_autocommit(m_pDb) && m_strLostTransaction.empty()) m_strLostTransaction = message;
  ThrowStatus(code, message);
}

void Store::LostTransaction() {
  // SQLite ended the transaction at an earlier failure (a full disk): its
  // work is lost, and that failure, not "no transaction", is the cause.
  ThrowStatus(LNERR_FILE, m_strLostTransaction.empty() ? "Cannot write " + m_strPath + ": its changes were rolled back"
                                                       : m_strLostTransaction);
}

void Store::Register() {
  struct stat st {};
  if (::stat(m_strPath.c_str(), &st) == 0) m_fileId = {st.st_dev, st.st_ino};
  sqlite3_busy_handler(m_pDb, &Store::OnBusy, this);
  OpenStores& registry = Registry();
  std::lock_guard lock(registry.mutex);
  registry.stores.emplace(m_fileId, this);
}

int Store::OnBusy(void* p, int count) {
  auto* self = static_cast<Store*>(p);
  {
    // The holder may be this very process: a lease of another connection
    // that nobody is using right now is ended, so this one need not wait.
    OpenStores& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto [first, last] = registry.stores.equal_range(self->m_fileId);
    for (auto it = first; it != last; ++it) {
      Store* other = it->second;
      if (other == self || !other->m_mutexLease.try_lock()) continue;
      other->EndReadLease();
      other->m_mutexLease.unlock();
    }
  }
  // About five seconds in all, in steps that grow to 20 ms.
  if (count >= 260) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1 + count, 20)));
  return 1;
}

void Store::Lease() {
  if (m_bLeased) {
    if (NowMs() - m_nLeaseStartMs <= kLeaseMs) return;
    EndReadLease();  // let waiting writers in now and then
  }
  // Inside a transaction of the caller's there is nothing to lease.
  if (m_nDepth > 0 || !sqlite3_get_autocommit(m_pDb)) return;
  Exec("BEGIN");
  m_bLeased = true;
  m_nLeaseStartMs = NowMs();
}

void Store::EndReadLease() {
  std::lock_guard lock(m_mutexLease);
  // Notes read ahead belong to the lease's snapshot.
  m_mapReadAhead.clear();
  if (!m_bLeased) return;
  m_bLeased = false;
  // A read transaction has nothing to lose; an error here only means it is
  // already over.
  sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr);
}

std::string Store::Meta(const char* key) {
  EndReadLease();
  Statement q(*this, "SELECT value FROM meta WHERE key=?");
  q.Bind(1, std::string_view(key));
  return q.Step() ? q.Text(0) : std::string();
}

void Store::SetMeta(const char* key, const std::string& value) {
  Statement q(*this, "INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)");
  q.Bind(1, std::string_view(key)).Bind(2, value).Run();
}

void Store::DisableSyncForBuild() {
  Exec("PRAGMA synchronous=OFF");
  m_bSyncOff = true;
}

void Store::SyncOnlyAtClose() {
  DisableSyncForBuild();
  if (m_fdWriteBack < 0) m_fdWriteBack = ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
}

namespace {

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

}  // namespace

std::optional<Store::FileStamp> Store::StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   static_cast<std::uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

namespace {

struct ParkedStore {
  std::mutex mutex;
  std::unique_ptr<Store> store;
  std::string strPath;
};

ParkedStore& Parked() {
  // The parked store leaves the registry of open stores when it is closed at
  // exit, so the registry is made first: statics end in reverse order.
  Registry();
  static ParkedStore parked;
  return parked;
}

// The file system stamps changes with a coarse clock. A write in the same
// tick as the last one before parking would leave the times as they were, so
// a file changed that recently is not trusted to show a later change.
constexpr std::int64_t kSettledNs = 100'000'000;

}  // namespace

void Store::Park(std::unique_ptr<Store> store) noexcept {
  if (!store) return;
  std::unique_ptr<Store> closed;  // closed outside the lock
  try {
    store->EndReadLease();
    const auto stamp = StampOf(store->m_strPath);
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t nowNs = Nanoseconds(now);
    const bool bParkable = store->m_nDepth == 0 && sqlite3_get_autocommit(store->m_pDb) && !store->m_bSyncOff &&
                           stamp && std::pair{stamp->nDevice, stamp->nInode} == store->m_fileId &&
                           nowNs - std::max(stamp->nModifiedNs, stamp->nChangedNs) > kSettledNs;
    if (!bParkable) return;  // store closes here
    store->m_pRunning = nullptr;
    store->PlanReads({});
    store->m_parkedStamp = *stamp;
    ParkedStore& parked = Parked();
    std::lock_guard lock(parked.mutex);
    closed = std::move(parked.store);
    parked.strPath = store->m_strPath;
    parked.store = std::move(store);
  } catch (...) {
    // Closing is all that is left to do.
  }
}

void Store::CloseParked() noexcept {
  std::unique_ptr<Store> closed;  // closed outside the lock
  ParkedStore& parked = Parked();
  std::lock_guard lock(parked.mutex);
  closed = std::move(parked.store);
}

std::unique_ptr<Store> Store::OpenAgain(const std::string& path) {
  // The slot is emptied either way: a store kept for another file is
  // closed before this one opens, so that two page caches never add up.
  std::unique_ptr<Store> store;
  std::string parkedPath;
  {
    ParkedStore& parked = Parked();
    std::lock_guard lock(parked.mutex);
    store = std::move(parked.store);
    parkedPath = parked.strPath;
  }
  if (store && parkedPath != path) store.reset();
  // The file under that name must be the parked one and unchanged; SQLite
  // itself then sees a commit of another program at the next read.
  if (store && StampOf(path) == std::optional<FileStamp>(store->m_parkedStamp)) return store;
  store.reset();
  return Open(path);
}

std::string Store::Title() { return Meta("title"); }
bool Store::SoftDeletions() { return Meta("softDeletions") != "0"; }

void Store::SetTitle(const std::string& title) {
  WriteScope scope(*this);
  SetMeta("title", title);
  scope.Commit();
}

void Store::SetSoftDeletions(bool on) {
  WriteScope scope(*this);
  SetMeta("softDeletions", on ? "1" : "0");
  scope.Commit();
}

void Store::Begin() {
  if (m_bReadOnly) ThrowStatus(LNERR_FILE, "Cannot change " + m_strPath + ": it is open read-only");
  EndReadLease();
  if (m_nDepth == 0) m_strLostTransaction.clear();
  ExecCached(m_nDepth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT level");
  ++m_nDepth;
}

void Store::Commit() {
  if (m_nDepth == 0) ThrowStatus(LNERR_BAD_ARGUMENT, "No transaction is open on " + m_strPath);
  if (sqlite3_get_autocommit(m_pDb)) {
    --m_nDepth;
    LostTransaction();
  }
  ExecCached(m_nDepth == 1 ? "COMMIT" : "RELEASE level");
  --m_nDepth;
  if (m_nDepth == 0 && m_fdWriteBack >= 0) ::sync_file_range(m_fdWriteBack, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void Store::Rollback() {
  if (m_nDepth == 0) ThrowStatus(LNERR_BAD_ARGUMENT, "No transaction is open on " + m_strPath);
  ++m_nRollbacks;
  if (sqlite3_get_autocommit(m_pDb)) {  // SQLite rolled it back already
    --m_nDepth;
    return;
  }
  Exec(m_nDepth == 1 ? "ROLLBACK" : "ROLLBACK TO level; RELEASE level");
  --m_nDepth;
}

void SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string reason = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    ThrowStatus(LNERR_FILE, "Cannot write " + path + ": " + reason);
  }
  ::close(fd);
}

}  // namespace lnapi::store
