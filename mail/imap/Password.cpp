#include "mail/imap/Password.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <openssl/crypto.h>

extern char** environ;

namespace mailio::imap {

namespace {

constexpr size_t kPageBytes = Secret::kCapacity + 1;

// Clears a stack buffer when it goes, whatever way the function leaves.
struct ClearOnExit {
  void* data;
  size_t size;
  ~ClearOnExit() { OPENSSL_cleanse(data, size); }
};

}  // namespace

Secret::Secret() {
  void* page = mmap(nullptr, kPageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) return;
  madvise(page, kPageBytes, MADV_DONTDUMP);
  mlock(page, kPageBytes);  // best effort: the limit may not allow it
  m_pText = static_cast<char*>(page);
  m_pText[0] = '\0';
}

Secret::~Secret() { Release(); }

Secret::Secret(Secret&& other) noexcept : m_pText(other.m_pText), m_nLength(other.m_nLength) {
  other.m_pText = nullptr;
  other.m_nLength = 0;
}

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    Release();
    m_pText = other.m_pText;
    m_nLength = other.m_nLength;
    other.m_pText = nullptr;
    other.m_nLength = 0;
  }
  return *this;
}

void Secret::Release() {
  if (!m_pText) return;
  OPENSSL_cleanse(m_pText, kPageBytes);
  munlock(m_pText, kPageBytes);
  munmap(m_pText, kPageBytes);
  m_pText = nullptr;
  m_nLength = 0;
}

bool Secret::Append(std::string_view bytes) {
  if (!m_pText || m_nLength + bytes.size() > kCapacity) return false;
  std::memcpy(m_pText + m_nLength, bytes.data(), bytes.size());
  m_nLength += bytes.size();
  m_pText[m_nLength] = '\0';
  return true;
}

void Secret::Truncate(size_t n) {
  if (!m_pText || n >= m_nLength) return;
  OPENSSL_cleanse(m_pText + n, m_nLength - n);
  m_nLength = n;
  m_pText[n] = '\0';
}

void Secret::Clear() {
  if (m_pText) OPENSSL_cleanse(m_pText, kPageBytes);
  m_nLength = 0;
}

std::optional<Secret> PasswordFromCommand(const std::string& command, std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = "the password command cannot be started";
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    *error = "the password command cannot be started";
    return std::nullopt;
  }
  Secret secret;
  bool bLineDone = false;
  bool bTooLong = false;
  bool bAnyOutput = false;
  char buffer[512];
  ClearOnExit clear{buffer, sizeof buffer};
  while (true) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bAnyOutput = true;
    // The rest of the output is read, and dropped, so the command can end.
    if (bLineDone) continue;
    const char* end = static_cast<const char*>(std::memchr(buffer, '\n', static_cast<size_t>(n)));
    const size_t take = end ? static_cast<size_t>(end - buffer) : static_cast<size_t>(n);
    if (!secret.Append(std::string_view(buffer, take))) bTooLong = true;
    bLineDone = end != nullptr || bTooLong;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "the password command failed";
    return std::nullopt;
  }
  if (bTooLong) {
    *error = "the password command's first line is too long";
    return std::nullopt;
  }
  if (!secret.Empty() && secret.View().back() == '\r') secret.Truncate(secret.View().size() - 1);
  if (!bAnyOutput || secret.Empty()) {
    *error = "the password command gave no password";
    return std::nullopt;
  }
  return secret;
}

std::optional<Secret> PasswordFromTerminal(const std::string& prompt, std::string* error) {
  if (!isatty(STDIN_FILENO)) {
    *error = "standard input is not a terminal";
    return std::nullopt;
  }
  const int fd = STDIN_FILENO;
  termios saved{};
  if (tcgetattr(fd, &saved) != 0) {
    *error = "the terminal cannot be set";
    return std::nullopt;
  }
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL));
  quiet.c_lflag |= ICANON;
  if (tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
    *error = "the terminal cannot be set";
    return std::nullopt;
  }
  const int out = open("/dev/tty", O_WRONLY | O_CLOEXEC | O_NOCTTY);
  const int promptFd = out >= 0 ? out : STDERR_FILENO;
  if (write(promptFd, prompt.data(), prompt.size()) < 0) {
    // Without the prompt the user still types; nothing else to do.
  }
  Secret secret;
  bool bTooLong = false;
  bool bGotLine = false;
  char c = 0;
  ClearOnExit clear{&c, 1};
  while (true) {
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n') {
      bGotLine = true;
      break;
    }
    if (!bTooLong && !secret.Append(std::string_view(&c, 1))) bTooLong = true;
  }
  tcsetattr(fd, TCSAFLUSH, &saved);
  if (write(promptFd, "\n", 1) < 0) {
    // The line end only tidies the terminal.
  }
  if (out >= 0) close(out);
  if (bTooLong || (!bGotLine && secret.Empty()) || secret.Empty()) {
    *error = bTooLong ? "the password is too long" : "no password was typed";
    return std::nullopt;
  }
  return secret;
}

std::optional<Secret> AccountPassword(const AccountUrl& url, const std::string& command, bool bTerminal,
                                      std::string* reason) {
  if (!command.empty()) return PasswordFromCommand(command, reason);
  if (bTerminal) return PasswordFromTerminal("Password for " + url.DisplayForm() + ": ", reason);
  *reason = "no password";
  return std::nullopt;
}

}  // namespace mailio::imap
