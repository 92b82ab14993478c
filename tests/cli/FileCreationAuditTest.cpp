// Every file and folder tarnwick-cli creates, seen by the kernel: runs,
// undos and write-backs of mbox files, maildirs and databases are traced
// with strace, so a creation that bypasses the program's own creating
// function is caught too. Each one must be made new and never followed
// (open with O_CREAT|O_EXCL|O_NOFOLLOW, or mkdir), and get the owner-only
// mode where it holds mail, or no more access than its source.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstdio>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"

namespace fs = std::filesystem;
using testsupport::ShellQuote;

namespace {

const std::string kTwoMemos = R"J({ "format": "nsf-json", "version": 1, "notes": [
  { "class": "document", "noteId": 4, "created": "2010-03-05T14:07:09", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Report" } ] },
  { "class": "document", "noteId": 8, "created": "2010-03-05T14:07:09", "items": [
    { "name": "Form", "type": "text", "value": "Memo" },
    { "name": "Subject", "type": "text", "value": "Report" } ] },
  { "class": "folder", "noteId": 100, "name": "($Inbox)", "entries": [4, 8] } ] })J";

const std::string kMessage =
    "From: Ada <ada@example.org>\nTo: Bob <bob@example.org>\nSubject: Minutes\n"
    "Date: Fri, 05 Mar 2010 14:07:09 +0000\nMessage-ID: <m1@example.org>\n\nThe minutes.\n";

// One file or folder the traced program made.
struct Creation {
  std::string path;
  bool bFolder = false;
  bool bExclusive = false;  // O_EXCL, or mkdir
  bool bNoFollow = false;
  mode_t mode = 0;         // as it ended: its creation mode, then any chmod
  std::string call;        // the trace line, for the message
};

std::string Unquote(const std::string& text) {
  std::string out;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && i + 2 < text.size()) ++i;
    out.push_back(text[i]);
  }
  return out;
}

// Reads strace -f -y output: open/openat with O_CREAT that succeeded,
// mkdir/mkdirat that succeeded, and every chmod of their paths. The mode a
// call gives is masked by the umask the program ran with.
std::map<std::string, Creation> ParseTrace(const fs::path& trace, mode_t umask) {
  static const std::regex kOpen(R"re(^\d+ +(open|openat)\((?:[^,]*, )?("(?:[^"\\]|\\.)*"), ([A-Z_|]+)(?:, (0\d*))?\) = (\d+)<([^>]*)>)re");
  static const std::regex kMkdir(R"re(^\d+ +(mkdir|mkdirat)\((?:([^,<]*)<([^>]*)>, )?("(?:[^"\\]|\\.)*"), (0\d*)\) = 0)re");
  static const std::regex kFchmod(R"re(^\d+ +fchmod\(\d+<([^>]*)>, (0\d*)\) = 0)re");
  static const std::regex kChmod(R"re(^\d+ +(?:chmod|fchmodat)\((?:[^,]*, )?("(?:[^"\\]|\\.)*"), (0\d*)(?:, [A-Z_]+)?\) = 0)re");
  std::map<std::string, Creation> made;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, kOpen)) {
      const std::string flags = m[3];
      if (flags.find("O_CREAT") == std::string::npos) continue;
      Creation& c = made[m[6]];
      c.path = m[6];
      c.bFolder = false;
      c.bNoFollow = flags.find("O_NOFOLLOW") != std::string::npos;
      c.bExclusive = flags.find("O_EXCL") != std::string::npos;
      c.mode = static_cast<mode_t>(std::stoul(m[4].matched ? m[4].str() : "0", nullptr, 8)) & ~umask;
      c.call = line;
    } else if (std::regex_search(line, m, kMkdir)) {
      std::string path = Unquote(m[4]);
      if (m[3].matched && !path.empty() && path[0] != '/') path = m[3].str() + "/" + path;
      Creation& c = made[path];
      c.path = path;
      c.bFolder = c.bExclusive = c.bNoFollow = true;
      c.mode = static_cast<mode_t>(std::stoul(m[5], nullptr, 8)) & ~umask;
      c.call = line;
    } else if (std::regex_search(line, m, kFchmod)) {
      if (auto it = made.find(m[1]); it != made.end()) it->second.mode = static_cast<mode_t>(std::stoul(m[2], nullptr, 8));
    } else if (std::regex_search(line, m, kChmod)) {
      if (auto it = made.find(Unquote(m[1])); it != made.end())
        it->second.mode = static_cast<mode_t>(std::stoul(m[2], nullptr, 8));
    }
  }
  return made;
}

bool Under(const std::string& path, const fs::path& folder) {
  const std::string prefix = folder.string();
  return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
         (path[prefix.size()] == '/' || path[prefix.size()] == '.' || path[prefix.size()] == '-');
}

bool IsSqliteSidecar(const std::string& path) {
  for (const char* end : {"-journal", "-wal", "-shm"})
    if (path.size() > std::strlen(end) && path.compare(path.size() - std::strlen(end), std::string::npos, end) == 0)
      return true;
  return false;
}

class FileCreationAudit : public testsupport::TempDirTest {
protected:
  void SetUp() override {
    setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
    fs::create_directories(m_tmp / "logs");
    fs::create_directories(m_tmp / "in");
    fs::create_directories(m_tmp / "new");
  }
  void TearDown() override { unsetenv("XDG_CACHE_HOME"); }

  fs::path Mbox(const std::string& name) {
    const fs::path path = m_tmp / "in" / name;
    const std::string entry = "From ada@example.org Fri Mar  5 14:07:09 2010\n" + kMessage + "\n";
    testsupport::WriteFile(path, entry + entry);
    ::chmod(path.c_str(), 0640);
    return path;
  }
  fs::path Maildir(const std::string& name) {
    const fs::path root = m_tmp / "in" / name;
    for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(root / sub);
    testsupport::WriteFile(root / "cur" / "1000.a.host:2,S", kMessage);
    testsupport::WriteFile(root / "cur" / "1001.b.host:2,S", kMessage);
    for (const auto& e : fs::recursive_directory_iterator(root)) ::chmod(e.path().c_str(), e.is_directory() ? 0750 : 0640);
    ::chmod(root.c_str(), 0750);
    return root;
  }
  fs::path Database(const std::string& name) {
    const fs::path path = m_tmp / "in" / name;
    nsftool::ImportJson(kTwoMemos, path);
    ::chmod(path.c_str(), 0640);
    return path;
  }

  // Runs tarnwick-cli traced, umask 022; the output's "Journal file path: ".
  std::string Traced(const std::string& what, const std::vector<std::string>& args, const std::string& env = {}) {
    const fs::path trace = m_tmp / ("trace-" + std::to_string(++m_nRuns) + ".txt");
    // LeakSanitizer cannot work under ptrace: a sanitized build checks its
    // leaks in the untraced tests instead.
    std::string command = "umask 022; export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\"; exec " + env + " strace -f -y -qq -e signal=none -o " + ShellQuote(trace.string()) +
                          " -e trace=open,openat,creat,mkdir,mkdirat,chmod,fchmod,fchmodat " +
                          ShellQuote(testsupport::ToolPath("tarnwick-cli").string());
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    const fs::path out = m_tmp / "out.txt";
    command = "sh -c " + ShellQuote(command) + " < /dev/null > " + ShellQuote(out.string()) + " 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << what << ": " << testsupport::ReadFile(out);
    for (auto& [path, c] : ParseTrace(trace, 022)) {
      if (path.rfind(m_tmp.Path().string(), 0) != 0) continue;  // the system's own, not the run's
      m_made.emplace_back(what, std::move(c));
    }
    std::istringstream lines(testsupport::ReadFile(out));
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("Journal file path: ", 0) == 0) return line.substr(19);
    return {};
  }
  void RunAndUndo(const std::string& what, std::vector<std::string> args) {
    args.insert(args.begin(), {"--yes", "--quiet", "--log-dir", (m_tmp / "logs").string()});
    const std::string journal = Traced(what, args);
    ASSERT_FALSE(journal.empty()) << what;
    Traced("undo of " + what, {"--quiet", "--undo", journal});
  }

  // The mode rule for a path: exact owner-only modes where it holds mail,
  // no more than the source's where it is made from one, none otherwise.
  std::string ModeFault(const Creation& c) const {
    const bool bMail = Under(c.path, m_tmp / "cache") || c.path.find(".journal") != std::string::npos ||
                       Under(c.path, m_tmp / "r.json") || Under(c.path, m_tmp / "tmp" / "temp") ||
                       Under(c.path, m_tmp / "tmp" / "tarnwick-cache");
    if (bMail && c.mode != (c.bFolder ? 0700u : 0600u)) return "not owner-only";
    const bool bFromSource = Under(c.path, m_tmp / "in") || Under(c.path, m_tmp / "new");
    const mode_t source = c.bFolder ? 0750 : 0640;
    if (!bMail && bFromSource && (c.mode & ~source) != 0) return "more access than its source";
    return {};
  }

  int m_nRuns = 0;
  std::vector<std::pair<std::string, Creation>> m_made;  // what made it, and how
};

}  // namespace

TEST_F(FileCreationAudit, EveryFileARunAnUndoOrAWriteBackCreatesIsNewNotFollowedAndPrivateWhereItHoldsMail) {
  if (std::system("strace -qq -o /dev/null true > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed or may not trace here";
  RunAndUndo("mbox delete", {"--action", "delete", Mbox("delete.mbox").string()});
  RunAndUndo("mbox trash", {"--action", "trash", Mbox("trash.mbox").string()});
  RunAndUndo("mbox copy", {"--action", "copy", "--folder", "Kept", Mbox("copy.mbox").string()});
  RunAndUndo("maildir delete", {"--action", "delete", Maildir("delete").string()});
  RunAndUndo("maildir trash", {"--action", "trash", Maildir("trash").string()});
  RunAndUndo("maildir copy", {"--action", "copy", "--folder", "Kept", Maildir("copy").string()});
  RunAndUndo("database delete", {"--action", "delete", Database("db.nsf").string()});
  const std::vector<std::string> newFiles = {"--quiet", "--log-dir", (m_tmp / "logs").string(), "--new-files",
                                             (m_tmp / "new").string()};
  for (const fs::path& source : {Mbox("n.mbox"), Maildir("n"), Database("n.nsf")}) {
    std::vector<std::string> args = newFiles;
    args.push_back(source.string());
    Traced("new-file mode on " + source.filename().string(), args);
  }
  // A service without a home: the cache is a fresh folder under TMPDIR.
  Traced("run without a home", {"--quiet", "--log-dir", (m_tmp / "logs").string(), "--new-files",
                                 (m_tmp / "new").string(), Mbox("nohome.mbox").string()},
         "env -u HOME -u XDG_CACHE_HOME");
  Traced("report", {"--quiet", "--dry-run", "--action", "delete", "--log-dir", (m_tmp / "logs").string(), "--report",
                    (m_tmp / "r.json").string(), Mbox("report.mbox").string()});
  struct stat report {};
  ASSERT_EQ(::lstat((m_tmp / "r.json").c_str(), &report), 0);
  EXPECT_EQ(report.st_mode & 07777, 0600u) << "the report holds subjects, senders and bodies";

  std::ostringstream offenders;
  int nOffenders = 0;
  std::set<std::string> kinds;
  for (const auto& [what, c] : m_made) {
    std::string fault;
    if (IsSqliteSidecar(c.path)) {
      // SQLite's rollback journal must be opened when it exists (a hot
      // journal is played back), so it is made without O_EXCL; never through
      // a link, though, and with its database's mode.
      if (!c.bNoFollow) fault = "follows a link";
    } else if (!c.bExclusive || !c.bNoFollow) {
      fault = !c.bExclusive && !c.bNoFollow ? "not created new, follows a link"
              : !c.bExclusive               ? "not created new (no O_EXCL)"
                                            : "no O_NOFOLLOW";
    }
    const std::string modeFault = ModeFault(c);
    if (!modeFault.empty()) fault += (fault.empty() ? "" : ", ") + modeFault;
    kinds.insert(c.bFolder ? "folder" : "file");
    if (fault.empty()) continue;
    ++nOffenders;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(c.mode));
    offenders << "  " << what << ": " << c.path << " (" << fault << ", mode " << mode << ")\n      " << c.call
              << "\n";
  }
  EXPECT_EQ(kinds.size(), 2u) << "the trace saw files and folders made";
  EXPECT_GT(m_made.size(), 40u) << "the trace saw the runs' creations";
  EXPECT_EQ(nOffenders, 0) << "created without the platform's rule:\n" << offenders.str();
}

TEST_F(FileCreationAudit, AReportThatCannotBeCreatedStopsTheRunBeforeItStarts) {
  const fs::path mbox = Mbox("m.mbox");
  const std::string before = testsupport::ReadFile(mbox);
  fs::create_directory(m_tmp / "a folder");
  for (const fs::path& report : {m_tmp / "missing" / "r.json", m_tmp / "a folder"}) {
    const std::string command = ShellQuote(testsupport::ToolPath("tarnwick-cli").string()) +
                                " --yes --quiet --log-dir " + ShellQuote((m_tmp / "logs").string()) +
                                " --action delete --report " + ShellQuote(report.string()) + " " +
                                ShellQuote(mbox.string()) + " < /dev/null > " +
                                ShellQuote((m_tmp / "out.txt").string()) + " 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(testsupport::ReadFile(m_tmp / "out.txt"), "Report file could not be created: " + report.string() + "\n");
    EXPECT_EQ(testsupport::ReadFile(mbox), before);
    EXPECT_TRUE(fs::is_empty(m_tmp / "logs")) << "the run did not start";
  }
  EXPECT_TRUE(fs::is_empty(m_tmp / "a folder"));
}

TEST_F(FileCreationAudit, ATemporaryDatabaseLeftByAKilledRunIsRemovedByTheNextRun) {
  std::string big;
  for (int i = 0; i < 4000; ++i)
    big += "From ada@example.org Fri Mar  5 14:07:09 2010\nSubject: n" + std::to_string(i % 50) + "\n\n" +
           std::string(800, 'x') + "\n\n";
  testsupport::WriteFile(m_tmp / "in" / "big.mbox", big);
  const fs::path cli = testsupport::ToolPath("tarnwick-cli");
  const std::string logs = (m_tmp / "logs").string(), news = (m_tmp / "new").string();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(cli.c_str(), cli.c_str(), "--quiet", "--log-dir", logs.c_str(), "--new-files", news.c_str(),
            (m_tmp / "in" / "big.mbox").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Killed once its temporary database is being written.
  const fs::path cache = m_tmp / "cache" / "tarnwick";
  const auto leftovers = [&] {
    std::vector<fs::path> runs;
    std::error_code ec;
    for (fs::directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) runs.push_back(it->path());
    return runs;
  };
  for (int i = 0; i < 1000 && (leftovers().empty() || !fs::exists(leftovers()[0] / "source-1.nsf")); ++i)
    ::usleep(10000);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";
  const std::vector<fs::path> left = leftovers();
  ASSERT_EQ(left.size(), 1u);
  // Its run is gone, and a minute has passed: nobody can be about to lock it.
  fs::last_write_time(left[0], fs::file_time_type::clock::now() - std::chrono::minutes(2));
  const std::string command = ShellQuote(cli.string()) + " --quiet --log-dir " + ShellQuote(logs) +
                              " --new-files " + ShellQuote(news) + " " + ShellQuote(Mbox("small.mbox").string()) +
                              " > /dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(leftovers().empty());
}
