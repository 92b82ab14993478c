// LNNotesSession and LNDatabase: binding, opening, listing and changing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <utility>
#include <set>
#include <sstream>

#include "lnapi/Internal.h"
#include "lnapi/Status.h"

namespace lnapi {

namespace {

// Files this process holds open through LNDatabase, by device and inode, so
// IsFileHeldByOther can tell our own shared locks from another process's.
struct HeldFiles {
  std::mutex mutex;
  std::multiset<std::pair<dev_t, ino_t>> files;
};

HeldFiles& Held() {
  static HeldFiles held;
  return held;
}

std::pair<dev_t, ino_t> FileId(int fd) {
  struct stat st {};
  ::fstat(fd, &st);
  return {st.st_dev, st.st_ino};
}

// True when /proc/locks shows a lock on the file by a process other than us.
// When it cannot be read, the answer is yes: saying a file is free when it
// may not be is the worse mistake.
bool LockedByOtherProcess(std::pair<dev_t, ino_t> id) {
  std::ifstream locks("/proc/locks");
  if (!locks) return true;
  const long self = static_cast<long>(::getpid());
  std::string line;
  while (std::getline(locks, line)) {
    // "1: FLOCK  ADVISORY  READ  1234 08:01:5678 0 EOF"; "->" marks waiters.
    std::istringstream in(line);
    std::string index, kind, mode, access, where;
    long pid = 0;
    in >> index >> kind;
    if (kind == "->") in >> kind;
    in >> mode >> access >> pid >> where;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (inode == id.second && makedev(major, minor) == id.first && pid != self) return true;
  }
  return false;
}

}  // namespace

DatabaseState::~DatabaseState() { Close(); }

void DatabaseState::Open() {
  if (IsOpen()) return;
  // Never waiting: a FIFO given as the database opens at once here and is
  // refused by the store's check as no regular file.
  const int fd = ::open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  // Missing or unreadable: let the store's check name the reason.
  if (fd < 0) {
    m_pStore = store::Store::Open(m_strPath);
    return;  // not reached: the check throws
  }
  // A shared lock never waits for another shared holder; an exclusive holder
  // (a program copying the file) makes Open fail at once rather than hang.
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    ::close(fd);
    ThrowStatus(LNERR_FILE, "Cannot open " + m_strPath + ": the file is in use by another program");
  }
  try {
    m_pStore = store::Store::OpenAgain(m_strPath);
  } catch (...) {
    ::close(fd);
    throw;
  }
  m_fdLock = fd;
  {
    std::lock_guard lock(Held().mutex);
    Held().files.insert(FileId(fd));
  }
  ++m_nGeneration;
}

LNSTATUS DatabaseState::Close() {
  if (m_hDatabase) {
    ReleaseHandle(m_hDatabase);
    m_hDatabase = 0;
  }
  // Rolls back a transaction that was never committed (such a store is
  // closed, not parked); with a rollback journal the closed file then stands
  // alone.
  store::Store::Park(std::move(m_pStore));
  LNSTATUS status = LNNOERROR;
  if (std::exchange(m_bSyncAtClose, false)) {
    try {
      store::SyncFile(m_strPath);
    } catch (LNSTATUS failed) {
      status = failed;
    }
  }
  if (m_fdLock >= 0) {
    {
      std::lock_guard lock(Held().mutex);
      auto it = Held().files.find(FileId(m_fdLock));
      if (it != Held().files.end()) Held().files.erase(it);
    }
    ::close(m_fdLock);
    m_fdLock = -1;
  }
  ++m_nGeneration;
  return status;
}

store::Store& DatabaseState::Store() {
  if (!m_pStore) ThrowStatus(LNERR_NOT_OPEN, "The database " + m_strPath + " is not open");
  return *m_pStore;
}

bool IsFileHeldByOther(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  const auto id = FileId(fd);
  ::close(fd);  // also drops the test lock
  if (free) return false;
  bool ours = false;
  {
    std::lock_guard lock(Held().mutex);
    ours = Held().files.count(id) > 0;
  }
  // Our own shared lock blocks the test too; only another process counts.
  return !ours || LockedByOtherProcess(id);
}

}  // namespace lnapi

// ---- LNNotesSession

LNNotesSession::LNNotesSession() = default;
LNNotesSession::~LNNotesSession() = default;

LNSTATUS LNNotesSession::Initialize(int, int, char**, int, const char*) {
  m_bInitialized = true;
  return LNNOERROR;
}

LNSTATUS LNNotesSession::Term(int) {
  m_bInitialized = false;
  return LNNOERROR;
}

LNBOOL LNNotesSession::IsInitialized() const { return m_bInitialized ? 1 : 0; }
LNSTATUS LNNotesSession::InitThread() { return LNNOERROR; }
LNSTATUS LNNotesSession::TermThread() { return LNNOERROR; }

LNSTATUS LNNotesSession::GetDatabase(const LNString& path, LNDatabase* db, const LNString&) {
  if (!db) return LNERR_BAD_ARGUMENT;
  if (!m_bInitialized) return LNERR_NOT_INITIALIZED;
  db->m_pState = std::make_shared<lnapi::DatabaseState>(path.Bytes());
  db->m_strPath = path;
  return LNNOERROR;
}

// ---- LNDatabase

LNDatabase::LNDatabase() = default;
LNDatabase::~LNDatabase() = default;
LNDatabase::LNDatabase(const LNDatabase&) = default;
LNDatabase& LNDatabase::operator=(const LNDatabase&) = default;

LNSTATUS LNDatabase::Open() {
  if (!m_pState) throw lnapi::MakeStatus(LNERR_BAD_ARGUMENT, "The database object is not bound to a file");
  m_pState->Open();
  return LNNOERROR;
}

LNSTATUS LNDatabase::Close() { return m_pState ? m_pState->Close() : LNNOERROR; }

void LNDatabase::SyncOnlyAtClose() {
  if (!m_pState || !m_pState->IsOpen()) return;
  m_pState->Store().SyncOnlyAtClose();
  m_pState->m_bSyncAtClose = true;
}

void LNDatabase::SkipSyncAtClose() {
  if (m_pState) m_pState->m_bSyncAtClose = false;
}

LNBOOL LNDatabase::IsOpen() const { return m_pState && m_pState->IsOpen() ? 1 : 0; }

void LNDatabase::SetStopFlag(const std::atomic<std::uint8_t>* pRunning) {
  if (m_pState && m_pState->IsOpen()) m_pState->Store().SetStopFlag(pRunning);
}

DHANDLE LNDatabase::GetDatabaseHandle(int) const {
  if (!m_pState || !m_pState->IsOpen()) return 0;
  if (!m_pState->m_hDatabase) m_pState->m_hDatabase = lnapi::RegisterDatabaseHandle(m_pState);
  return m_pState->m_hDatabase;
}

std::uint64_t LNDatabase::GetSize() const {
  struct stat st {};
  if (!m_pState || ::stat(m_pState->m_strPath.c_str(), &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

LNString LNDatabase::GetFilePath() const { return m_strPath; }

LNString LNDatabase::GetTitle() const {
  if (!m_pState) return LNString();
  return LNString(m_pState->Store().Title());
}
