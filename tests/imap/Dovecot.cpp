#include "tests/imap/Dovecot.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/TestSupport.h"

extern char** environ;

namespace imaptest {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDovecotBinary = "/usr/sbin/dovecot";

// A port the kernel just gave out on 127.0.0.1. Another process could take
// it before Dovecot binds it; Start() then fails with Dovecot's own reason.
uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
    port = ntohs(addr.sin_port);
  }
  close(fd);
  return port;
}

bool Accepts(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  const bool bOk = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return bOk;
}

struct RunAs {
  std::string strName;
  uid_t uid;
  gid_t gid;
  std::string strGroup;
};

// Dovecot refuses root for its login processes and for mail users.
RunAs ServerUser() {
  const passwd* pw = getpwuid(geteuid() == 0 ? 65534 : geteuid());
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody) pw = nobody;
  }
  if (!pw) return {"nobody", 65534, 65534, "nogroup"};
  const group* gr = getgrgid(pw->pw_gid);
  return {pw->pw_name, pw->pw_uid, pw->pw_gid, gr ? gr->gr_name : std::to_string(pw->pw_gid)};
}

// True while a process of group is alive (a zombie does not count: it
// holds no socket).
bool GroupStillRuns(pid_t group) {
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = testsupport::ReadFile(entry.path() / "stat");
    // pid (comm) state ppid pgrp ...: comm may hold blanks, so read after ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    int pgrp = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) != 3) continue;
    if (pgrp == group && state != 'Z' && state != 'X') return true;
  }
  return false;
}

}  // namespace

Dovecot::Dovecot(const fs::path& dir, fs::path certFile, fs::path keyFile)
    : m_dir(dir), m_certFile(std::move(certFile)), m_keyFile(std::move(keyFile)) {
  fs::create_directories(m_dir / "mail");
  AddFolder("");
}

Dovecot::~Dovecot() { Stop(); }

fs::path Dovecot::FolderPath(const std::string& folder) const {
  const fs::path root = m_dir / "mail" / kUser;
  return folder.empty() ? root : root / ("." + folder);
}

void Dovecot::AddFolder(const std::string& folder) {
  for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(FolderPath(folder) / sub);
}

void Dovecot::AddMessage(const std::string& folder, const std::string& bytes, const std::string& flags) {
  AddFolder(folder);
  std::string sorted = flags;
  std::sort(sorted.begin(), sorted.end());
  const int n = ++m_nMessages;
  const std::string name = std::to_string(1700000000 + n) + ".M" + std::to_string(n) + ".fixture:2," + sorted;
  testsupport::WriteFile(FolderPath(folder) / "cur" / name, bytes);
}

void Dovecot::WriteConfig() const {
  const RunAs user = ServerUser();
  const std::string dir = m_dir.string();
  const bool bTls = !m_certFile.empty();
  std::ofstream conf(m_dir / "dovecot.conf");
  conf << "base_dir = " << dir << "/run\n"
       << "state_dir = " << dir << "/state\n"
       << "log_path = " << dir << "/dovecot.log\n"
       << "protocols = imap\n"
       << "listen = 127.0.0.1\n"
       << "ssl = " << (bTls ? "yes" : "no") << "\n";
  if (bTls) conf << "ssl_cert = <" << m_certFile.string() << "\nssl_key = <" << m_keyFile.string() << "\n";
  conf << "disable_plaintext_auth = no\n"
       << "auth_mechanisms = plain login\n"
       << "auth_failure_delay = 0\n"
       << "auth_verbose = yes\n"
       << "default_internal_user = " << user.strName << "\n"
       << "default_internal_group = " << user.strGroup << "\n"
       << "default_login_user = " << user.strName << "\n"
       << "first_valid_uid = 1\n"
       << "mail_fsync = never\n"
       << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << dir << "/passwd\n}\n"
       << "userdb {\n  driver = static\n  args = uid=" << user.uid << " gid=" << user.gid << " home=" << dir
       << "/mail/%u\n}\n"
       << "mail_location = maildir:" << dir << "/mail/%u\n"
       << "namespace inbox {\n  inbox = yes\n  separator = .\n"
       << "  mailbox Trash {\n    special_use = \\Trash\n  }\n}\n"
       << "service imap-login {\n  chroot =\n"
       << "  inet_listener imap {\n    port = " << m_nPlainPort << "\n  }\n"
       << "  inet_listener imaps {\n    port = " << m_nTlsPort << "\n    ssl = yes\n  }\n}\n"
       << "service anvil {\n  chroot =\n}\n";
}

bool Dovecot::Start(std::string* error) {
  if (!fs::exists(kDovecotBinary)) {
    *error = "Dovecot is not installed (scripts/install-deps.sh --tests)";
    return false;
  }
  m_nPlainPort = FreePort();
  m_nTlsPort = m_certFile.empty() ? 0 : FreePort();
  WriteConfig();
  testsupport::WriteFile(m_dir / "passwd", std::string(kUser) + ":{PLAIN}" + kPassword + "::::::\n");
  if (geteuid() == 0) {
    // The server's own processes run as nobody: they must reach the test's
    // folder, read the password file and own the mail.
    const RunAs user = ServerUser();
    fs::permissions(m_dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    fs::permissions(m_dir.parent_path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(m_dir / "passwd", fs::perms::others_read, fs::perm_options::add);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(m_dir / "mail")) {
      if (lchown(entry.path().c_str(), user.uid, user.gid) != 0) break;
    }
    if (lchown((m_dir / "mail").c_str(), user.uid, user.gid) != 0) {
      *error = "cannot hand the mail folder to " + user.strName;
      return false;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (m_dir / "dovecot.stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  const std::string conf = (m_dir / "dovecot.conf").string();
  char* argv[] = {const_cast<char*>(kDovecotBinary), const_cast<char*>("-F"), const_cast<char*>("-c"),
                  const_cast<char*>(conf.c_str()), nullptr};
  const int rc = posix_spawn(&m_pid, kDovecotBinary, &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    m_pid = -1;
    *error = "cannot start Dovecot";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      *error = "Dovecot ended at start: " + testsupport::ReadFile(m_dir / "dovecot.stderr") + Log();
      return false;
    }
    if (Accepts(m_nPlainPort) && (m_nTlsPort == 0 || Accepts(m_nTlsPort))) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  *error = "Dovecot did not listen within 10 s: " + Log();
  Stop();
  return false;
}

void Dovecot::Stop() {
  if (m_pid <= 0) return;
  // The whole server goes at once with its process group: a clean stop
  // waits up to a second for its processes, and no test looks at the
  // server after it is stopped but at its maildir, written file by file.
  kill(-m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  // Its other processes were the master's children; they end a moment
  // later, and until then one may still hold a listening socket.
  for (int i = 0; i < 200 && GroupStillRuns(m_pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  m_pid = -1;
}

std::string Dovecot::Log() const { return testsupport::ReadFile(m_dir / "dovecot.log"); }

std::vector<std::string> Dovecot::MaildirFlags(const std::string& folder) const {
  std::vector<std::string> flags;
  for (const char* sub : {"cur", "new"}) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(FolderPath(folder) / sub, ec)) {
      const std::string name = entry.path().filename().string();
      const size_t info = name.find(":2,");
      flags.push_back(info == std::string::npos ? "" : name.substr(info + 3));
    }
  }
  std::sort(flags.begin(), flags.end());
  return flags;
}

}  // namespace imaptest
