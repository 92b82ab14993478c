#include "mail/SourceLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "platform/CreateNew.h"

namespace mailio {

namespace {

constexpr int kAttempts = 10;  // a tenth of a second apart: a delivery is brief
constexpr auto kPause = std::chrono::milliseconds(100);
// A dotlock this old is left by a program that died holding it (procmail
// breaks its own after as long): no delivery takes that long.
constexpr auto kStaleAfter = std::chrono::seconds(1024);

// Whether the process that wrote its id into a dotlock is gone. A lock file
// of another kind (empty, as procmail's) names none, and is not.
bool LockerIsGone(const std::filesystem::path& dotlock) {
  char text[32] = {};
  const int fd = ::open(dotlock.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  if (pid <= 0 || end == text || (*end != '\n' && *end != '\0')) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Whether any process holds an fcntl lock on the file at path.
bool HeldLocked(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool held = ::fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

// Removes the dotlock when it is stale. The fcntl lock taken after it still
// keeps out a program that is alive.
void BreakStaleLock(const std::filesystem::path& path, const std::filesystem::path& dotlock) {
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(dotlock, ec);
  if (ec) return;
  if (std::filesystem::file_time_type::clock::now() - written > kStaleAfter ||
      (LockerIsGone(dotlock) && !HeldLocked(path)))
    ::unlink(dotlock.c_str());
}

}  // namespace

MboxLock::~MboxLock() { Release(); }

bool MboxLock::Acquire(const std::filesystem::path& path, std::string* error) {
  Release();
  const std::filesystem::path dotlock = path.string() + ".lock";
  // The dotlock appears with our process id already in it (written under a
  // name of its own, then linked): one killed between making it and
  // writing it would leave an empty one that names no process.
  // The draft is created new, never through a name planted in the folder
  // (whoever may write there could point one at any file): when its usual
  // name is taken, it takes one nobody can guess.
  const std::string pid = std::to_string(::getpid());
  std::string draft = (path.parent_path() / (".tarnwick-lock-" + pid)).string();
  int draftFd = platform::CreateNewFile(draft, platform::Access::ownerOnly);
  if (draftFd < 0 && errno == EEXIST)
    draftFd = platform::CreateUniqueFile(draft + "-", platform::Access::ownerOnly, &draft);
  const bool written = draftFd >= 0 && WriteAll(draftFd, pid + "\n");
  const int draftError = errno;
  if (draftFd >= 0) ::close(draftFd);
  if (!written) {
    *error = "cannot create the lock file " + dotlock.string() + ": " + std::strerror(draftError);
    if (draftFd >= 0) ::unlink(draft.c_str());
    return false;
  }
  bool made = false;
  for (int i = 0; i < kAttempts && !made; ++i) {
    if (i == 0) BreakStaleLock(path, dotlock);
    made = ::link(draft.c_str(), dotlock.c_str()) == 0;
    if (!made && errno != EEXIST) {
      *error = "cannot create the lock file " + dotlock.string() + ": " + std::strerror(errno);
      ::unlink(draft.c_str());
      return false;
    }
    if (!made) std::this_thread::sleep_for(kPause);
  }
  ::unlink(draft.c_str());
  if (!made) {
    *error = "locked by another program (" + dotlock.string() + ")";
    return false;
  }
  m_dotlock = dotlock;

  m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (m_fd < 0) {
    *error = std::string("cannot be opened for writing: ") + std::strerror(errno);
    Release();
    return false;
  }
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  for (int i = 0; i < kAttempts; ++i) {
    // An open-file-description lock: closing another descriptor of the same
    // file (the reader's) in this process must not drop it, as it would a
    // classic one. Both kinds conflict with each other, so delivery programs
    // using the classic lock are kept out all the same.
    if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EACCES && errno != EAGAIN) break;
    std::this_thread::sleep_for(kPause);
  }
  *error = "locked by another program";
  Release();
  return false;
}

void MboxLock::Release() {
  if (m_fd >= 0) ::close(m_fd);  // closing drops the fcntl lock
  m_fd = -1;
  if (!m_dotlock.empty()) ::unlink(m_dotlock.c_str());
  m_dotlock.clear();
}

void MboxLock::RemoveDotlock() const {
  if (!m_dotlock.empty()) ::unlink(m_dotlock.c_str());
}

bool FinishEvenIfKilled(const std::function<bool(std::string*)>& work, const std::vector<const MboxLock*>& locks,
                        std::string* error) {
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return work(error);
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(channel[0]);
    ::close(channel[1]);
    return work(error);
  }
  if (child == 0) {
    ::close(channel[0]);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) ::signal(sig, SIG_IGN);
    std::string why;
    const bool ok = work(&why);
    (void)WriteAll(channel[1], std::string(ok ? "1" : "0") + why);  // fails harmlessly when the parent is gone
    ::close(channel[1]);
    if (::getppid() != parent)
      for (const MboxLock* lock : locks) lock->RemoveDotlock();
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string answer;
  char buf[512];
  for (;;) {
    const ssize_t n = ::read(channel[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer.append(buf, static_cast<std::size_t>(n));
  }
  ::close(channel[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (answer.empty()) {
    *error = "the process writing it ended unexpectedly";
    return false;
  }
  if (answer[0] != '1') *error = answer.substr(1);
  return answer[0] == '1';
}

}  // namespace mailio
