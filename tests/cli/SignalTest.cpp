// tarnwick-cli stopped by SIGINT, SIGTERM and SIGHUP at bounded moments: while
// an mbox, a maildir or a database is still loading, and while the run
// disposes. Every run ends by itself: nothing is disposed of after the signal,
// no lock or temporary database is left, the journal undoes what was done,
// and SIGTERM and SIGHUP are named on a row with exit 1.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/Sample.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

enum class Moment { mboxLoad, maildirLoad, databaseLoad, run, rewrite };

struct Case {
  Moment moment;
  int nSignal;
  bool bTwice = false;  // the same signal again while the run ends
};

std::string Name(const Case& c) {
  const char* moment[] = {"mbox load", "maildir load", "database load", "run", "mbox rewrite"};
  return std::string(moment[static_cast<int>(c.moment)]) + ", " + strsignal(c.nSignal) + (c.bTwice ? ", twice" : "");
}

// Messages in pairs of exact copies: half of them are duplicates.
std::string Message(int i) {
  const int n = i / 2;
  std::ostringstream m;
  m << "From: sender" << n << "@example.org\nTo: rcpt@example.org\nSubject: report " << n
    << "\nDate: Mon, 1 Dec 2025 10:00:00 +0000\n\nbody " << n << "\n" << std::string(400, 'x') << "\n";
  return m.str();
}

// The bytes of every file below dir, by relative path: a source's state.
std::map<std::string, std::string> Files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = testsupport::ReadFile(entry.path());
  return files;
}

// What must stay as it was: a maildir's files, an mbox's bytes, a database's
// documents.
std::string State(const fs::path& source) {
  std::string state;
  if (fs::is_directory(source)) {
    for (const auto& [name, bytes] : Files(source)) state += name + "\n" + bytes + "\n";
    return state;
  }
  if (source.extension() != ".nsf") return testsupport::ReadFile(source);
  const nlohmann::json dump = nlohmann::json::parse(nsftool::DumpJson(source));
  for (const auto& note : dump["notes"])
    if (note["class"] == "document") state += note.dump() + "\n";
  return state;
}

bool HasFile(const fs::path& dir, const std::string& part) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename().string().find(part) != std::string::npos) return true;
  return false;
}
bool HasDatabase(const fs::path& dir) { return HasFile(dir, ".nsf"); }

// Whether the process catches every signal in mask (its handlers are in).
bool Catches(pid_t pid, unsigned long long mask) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) & mask) == mask;
  return false;
}

// Until ready, or the process has ended (it is left to be waited for).
const unsigned long long kStopMask = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1)) | (1ull << (SIGHUP - 1));

bool WaitFor(pid_t pid, const std::function<bool()>& ready) {
  for (const auto end = Clock::now() + std::chrono::seconds(30); Clock::now() < end;) {
    if (ready()) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

class Signals : public testsupport::TempDirTest {
protected:
  static void SetUpTestSuite() {
    s_dir = new testsupport::ScopedTempDir;
    nsftool::SampleOptions options;
    options.nDocs = 3000;
    options.nDupPercent = 50;
    nsftool::MakeSample(*s_dir / "big.nsf", options);
    options.nDocs = 200;
    nsftool::MakeSample(*s_dir / "small.nsf", options);
  }
  static void TearDownTestSuite() { delete s_dir; }

  fs::path Cache() const { return m_tmp / "home/.cache/tarnwick"; }
  fs::path Copy(const std::string& name) const {
    fs::copy_file(*s_dir / name, m_tmp / name);
    return m_tmp / name;
  }

  fs::path Mbox(int n, const std::string& name = "in.mbox") const {
    std::string bytes;
    for (int i = 0; i < n; ++i) bytes += "From sender@example.org Mon Dec  1 10:00:00 2025\n" + Message(i) + "\n";
    testsupport::WriteFile(m_tmp / name, bytes);
    return m_tmp / name;
  }
  fs::path Maildir(int n) const {
    const fs::path dir = m_tmp / "Maildir";
    for (const char* sub : {"cur", "new", "tmp"}) fs::create_directories(dir / sub);
    for (int i = 0; i < n; ++i) testsupport::WriteFile(dir / "cur" / (std::to_string(1000000 + i) + ".host:2,S"), Message(i));
    return dir;
  }

  pid_t Start(const std::vector<std::string>& given) const {
    std::vector<std::string> args = {testsupport::ToolPath("tarnwick-cli").string()};
    args.insert(args.end(), given.begin(), given.end());
    const std::string out = (m_tmp / "out.txt").string();
    fs::remove(out);  // what a run before printed is no sign of this one
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
      dup2(STDOUT_FILENO, STDERR_FILENO);
      // A shell's background job starts with SIGINT ignored; a signal is
      // still Stop there.
      signal(SIGINT, SIG_IGN);
      execv(argv[0], argv.data());
      _exit(127);
    }
    return pid;
  }
  std::string Out() const { return testsupport::ReadFile(m_tmp / "out.txt"); }

  static testsupport::ScopedTempDir* s_dir;
};

testsupport::ScopedTempDir* Signals::s_dir = nullptr;

std::string JournalPath(const std::string& out) {
  const std::string key = "Journal file path: ";
  const std::size_t at = out.find(key);
  return at == std::string::npos ? "" : out.substr(at + key.size(), out.find('\n', at) - at - key.size());
}

// The run's undo: what it restores, and that the journal reads whole.
std::string UndoRow(const fs::path& tmp, const std::string& out) {
  const std::string journal = JournalPath(out);
  if (journal.empty()) return "no journal";
  const int status = testsupport::RunTool("tarnwick-cli", {"--undo", journal}, tmp / "undo.txt", true);
  const std::string undo = testsupport::ReadFile(tmp / "undo.txt");
  return (status == 0 ? "" : "exit " + std::to_string(status) + ": ") + undo.substr(undo.rfind("Restored: "));
}

TEST_F(Signals, EachSignalStopsTheRunCleanlyAtEachMoment) {
  const Case cases[] = {
      {Moment::mboxLoad, SIGINT},       {Moment::mboxLoad, SIGTERM, true}, {Moment::mboxLoad, SIGHUP},
      {Moment::maildirLoad, SIGINT},    {Moment::maildirLoad, SIGTERM},    {Moment::maildirLoad, SIGHUP, true},
      {Moment::databaseLoad, SIGINT},   {Moment::databaseLoad, SIGTERM},   {Moment::databaseLoad, SIGHUP},
      {Moment::run, SIGINT, true},      {Moment::run, SIGTERM},            {Moment::run, SIGHUP},
      {Moment::rewrite, SIGTERM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Name(c));
    for (const auto& entry : fs::directory_iterator(m_tmp.Path()))
      if (entry.path().filename() != "home") fs::remove_all(entry.path());
    fs::create_directories(m_tmp / "logs");
    std::vector<std::string> args = {"--action", "delete", "--yes", "--log-dir", (m_tmp / "logs").string()};
    fs::path source, untouched;
    if (c.moment == Moment::mboxLoad) source = Mbox(3000);
    if (c.moment == Moment::maildirLoad) source = Maildir(1500);
    if (c.moment == Moment::databaseLoad) source = Copy("big.nsf");
    if (c.moment == Moment::run) {
      source = Copy("big.nsf");
      untouched = Copy("small.nsf");
    }
    if (c.moment == Moment::rewrite) {
      source = Mbox(3000);
      untouched = Mbox(100, "next.mbox");
    }
    args.push_back(source.string());
    if (!untouched.empty()) args.push_back(untouched.string());
    const std::string before = State(source);
    const std::string untouchedBytes = untouched.empty() ? "" : testsupport::ReadFile(untouched);

    const pid_t pid = Start(args);
    const bool bReady = WaitFor(pid, [&] {
      switch (c.moment) {
        case Moment::mboxLoad:
        case Moment::maildirLoad: return HasDatabase(Cache());
        case Moment::databaseLoad: return Catches(pid, kStopMask);
        case Moment::run: return Out().find("Processing Folder :") != std::string::npos;
        case Moment::rewrite: return HasFile(m_tmp / "logs", "original");  // the rewrite's kept copy
      }
      return false;
    });
    kill(pid, c.nSignal);
    if (c.bTwice) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      kill(pid, c.nSignal);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string out = Out();
    ASSERT_TRUE(bReady) << out;
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n" << out;

    const bool bNamed = c.nSignal != SIGINT;
    const std::string row = std::string("Run stopped by signal: ") + (c.nSignal == SIGTERM ? "SIGTERM" : "SIGHUP");
    EXPECT_EQ(WEXITSTATUS(status), bNamed ? 1 : 0) << out;
    EXPECT_EQ(out.find(row + "\n") != std::string::npos, bNamed) << out;
    // Nothing is disposed of after the signal: a source stopped while it
    // loads is as before; a run stopped in its passes or its rewrite opens
    // nothing more, and its undo gives back every document.
    if (c.moment == Moment::rewrite) {
      // Its kept copy was made, so the rewrite went to its end: one of each pair.
      const std::string rewritten = testsupport::ReadFile(source);
      std::size_t n = 0;
      for (std::size_t at = 0; (at = rewritten.find("From sender@", at)) != std::string::npos; ++at) ++n;
      EXPECT_EQ(n, 1500u);
    }
    if (!untouched.empty()) {
      EXPECT_EQ(out.find("Opening Database " + untouched.string()), std::string::npos) << out;
      EXPECT_TRUE(testsupport::ReadFile(untouched) == untouchedBytes);
      EXPECT_EQ(UndoRow(m_tmp.Path(), out).substr(0, 10), "Restored: ") << out;
    } else {
      EXPECT_EQ(UndoRow(m_tmp.Path(), out), "Restored: 0 documents\n") << out;
    }
    EXPECT_TRUE(State(source) == before) << testsupport::ReadFile(m_tmp / "undo.txt") << out;
    EXPECT_FALSE(fs::exists(source.string() + ".lock"));
    EXPECT_FALSE(HasDatabase(Cache()));
    if (bNamed) {
      bool bLogged = false;
      for (const auto& log : fs::directory_iterator(m_tmp / "logs")) {
        const std::string bytes = testsupport::ReadFile(log.path());
        std::string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];  // the log is UTF-16
        bLogged = bLogged || text.find(row + "\r\n") != std::string::npos;
      }
      EXPECT_TRUE(bLogged);
    }
  }
}

// Ctrl+C cuts short no failure into success, nor a success into failure:
// a source that failed before it fails the run, of whatever kind.
TEST_F(Signals, ASourceThatFailedBeforeCtrlCFailsTheRunOfEitherKind) {
  testsupport::WriteFile(m_tmp / "bad.nsf", std::string(8192, 'x'));
  testsupport::WriteFile(m_tmp / "bad.mbox", "From x@example.org Mon Dec  1 10:00:00 2025\nno header here\n\n");
  for (const char* bad : {"bad.nsf", "bad.mbox"}) {
    SCOPED_TRACE(bad);
    fs::remove(m_tmp / "big.nsf");
    const fs::path big = Copy("big.nsf");
    const pid_t pid = Start({"--action", "delete", "--dry-run", "--log-dir", (m_tmp / "logs").string(), (m_tmp / bad).string(), big.string()});
    const bool bReady = WaitFor(pid, [&] { return Out().find("Processing Folder :") != std::string::npos; });
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(bReady) << Out();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << Out();
  }
}

// An undo is never cut short inside a restore: it ends by itself with 1, and
// a new undo completes the work.
TEST_F(Signals, UndoStoppedBySignalEndsByItselfAndANewUndoCompletesIt) {
  const fs::path big = Copy("big.nsf");
  const std::string before = State(big);
  ASSERT_EQ(testsupport::RunTool("tarnwick-cli", {"--action", "delete", "--yes", "--log-dir", (m_tmp / "logs").string(),
                                                  big.string()}, m_tmp / "run.txt", true), 0);
  const std::string journal = JournalPath(testsupport::ReadFile(m_tmp / "run.txt"));
  const pid_t pid = Start({"--undo", journal});
  const bool bReady = WaitFor(pid, [&] { return Catches(pid, kStopMask); });
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(bReady);
  ASSERT_TRUE(WIFEXITED(status)) << Out();
  EXPECT_EQ(WEXITSTATUS(status), 1) << Out();
  EXPECT_EQ(testsupport::RunTool("tarnwick-cli", {"--undo", journal}, m_tmp / "undo.txt", true), 0);
  EXPECT_TRUE(State(big) == before);
}

}  // namespace
