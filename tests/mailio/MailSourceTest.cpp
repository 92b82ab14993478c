// tarnwick-cli on mbox files and maildirs: real mail cleaned in place keeps
// the first message of each group byte for byte, undo gives the source
// back, and a source that cannot be read or locked is left untouched.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

#include "mail/MailSourceRun.h"
#include "mail/Mbox.h"
#include "mail/MimeImport.h"
#include "mail/SourceLock.h"
#include "tests/mailio/MailTestSupport.h"

using namespace mailio;
using mailtest::MailTest;
namespace fs = std::filesystem;

namespace {

class MailSourceTest : public MailTest {
protected:
  MailSourceTest() {
    setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
    fs::create_directories(m_tmp / "logs");
  }
  ~MailSourceTest() override { unsetenv("XDG_CACHE_HOME"); }

  // Runs tarnwick-cli with args on source; returns exit status and output.
  std::pair<int, std::string> Clean(const std::string& args, const fs::path& source, const std::string& logs = "logs") {
    const fs::path cli = testsupport::ToolPath("tarnwick-cli");
    fs::create_directories(m_tmp / logs);
    return mailtest::Run("'" + cli.string() + "' --yes --log-dir '" + (m_tmp / logs).string() + "' " + args + " '" +
                         source.string() + "'");
  }

  // The journal a run's output names.
  static std::string JournalOf(const std::string& output) {
    const std::string row = "Journal file path: ";
    const std::size_t at = output.find(row);
    if (at == std::string::npos) return {};
    return output.substr(at + row.size(), output.find('\n', at) - at - row.size());
  }

  // tarnwick-cli --undo on the journal a run's output names.
  std::pair<int, std::string> Undo(const std::string& runOutput) {
    const std::string journal = JournalOf(runOutput);
    EXPECT_FALSE(journal.empty()) << runOutput;
    return mailtest::Run("'" + testsupport::ToolPath("tarnwick-cli").string() + "' --undo '" + journal + "'");
  }

  // Every file below dir with its bytes, by path below dir.
  static std::map<std::string, std::string> Tree(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) out[fs::relative(e.path(), dir).string()] = testsupport::ReadFile(e.path());
    return out;
  }
};

// Real messages (signed, encoded, multipart, with attachments) from the
// test data of Python's email package and of enmime; those a run cannot
// read (no header lines) and those that are mboxes themselves left out.
std::vector<std::string> RealMessages() {
  std::vector<std::string> out;
  auto add = [&](const fs::path& dir, const std::string& ext) {
    if (!fs::is_directory(dir)) return;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      std::string bytes = testsupport::ReadFile(f);
      if (!LooksLikeMbox(bytes) && HasHeaderLines(bytes) && bytes.ends_with('\n')) out.push_back(std::move(bytes));
    }
  };
  if (auto py = mailtest::DebianPackageFiles("libpython3.11-testsuite"))
    add(*py / "usr/lib/python3.11/test/test_email/data", ".txt");
  if (auto en = mailtest::DebianPackageFiles("golang-github-jhillyerd-enmime-dev"))
    for (const char* sub : {"mail", "parts"})
      add(*en / "usr/share/gocode/src/github.com/jhillyerd/enmime/testdata" / sub, ".raw");
  return out;
}

std::string Entry(const std::string& message) {
  return "From sender@example.org Fri Mar  5 14:07:09 2010\n" + QuoteFromLines(message) + "\n";
}

}  // namespace

TEST_F(MailSourceTest, RealMboxCleanedInPlaceKeepsTheFirstOfEachGroupByteForByteAndUndoes) {
  const std::vector<std::string> messages = RealMessages();
  if (messages.size() < 50) GTEST_SKIP() << "the real mail packages cannot be downloaded here";
  std::string firsts;
  for (const std::string& m : messages) firsts += Entry(m);
  const std::string all = firsts + firsts;
  testsupport::WriteFile(m_tmp / "real.mbox", all);
  // Some distinct messages of the corpora match in every compared field: what
  // a run keeps of the first copies alone is what it must keep of both.
  testsupport::WriteFile(m_tmp / "firsts.mbox", firsts);
  ASSERT_EQ(Clean("--action delete", m_tmp / "firsts.mbox").first, 0);
  const std::string kept = testsupport::ReadFile(m_tmp / "firsts.mbox");
  std::size_t keptCount = 0;
  SplitMbox(kept, [&](MboxMessage&&) { ++keptCount; });
  EXPECT_GT(keptCount, messages.size() / 2);

  const auto [status, output] = Clean("--action delete", m_tmp / "real.mbox");
  ASSERT_EQ(status, 0) << output;
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "real.mbox"), kept);
  EXPECT_EQ(Undo(output).first, 0);
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "real.mbox"), all);
  EXPECT_FALSE(fs::exists(m_tmp / "real.mbox.lock"));
  EXPECT_TRUE(fs::is_empty(m_tmp / "cache/tarnwick"));  // the temporary database is gone
}

TEST_F(MailSourceTest, RealMaildirCleanedKeepsTheFirstOfEachGroupAndUndoes) {
  const std::vector<std::string> messages = RealMessages();
  if (messages.size() < 50) GTEST_SKIP() << "the real mail packages cannot be downloaded here";
  const fs::path md = m_tmp / "Maildir";
  for (std::size_t i = 0; i < messages.size(); ++i) {
    // The second copies sort after the first ones, new/ and cur/ mixed; both
    // were delivered in the same second (which dates a message without Date).
    testsupport::WriteFile(md / "cur" / ("1000000000.1" + std::to_string(1000 + i) + ".host:2,S"), messages[i]);
    testsupport::WriteFile(md / (i % 2 ? "new" : "cur") / ("1000000000.2" + std::to_string(1000 + i) + ".host"), messages[i]);
  }
  fs::create_directories(md / "tmp");
  const auto before = Tree(md);
  const auto [status, output] = Clean("--action trash", md.string() + "/");
  ASSERT_EQ(status, 0) << output;
  const auto after = Tree(md);
  std::size_t firstCopiesKept = 0;
  for (const auto& [name, bytes] : after) {
    // Every file keeps its bytes, trashed ones under their own name.
    const bool trashed = name.starts_with(".Trash/");
    EXPECT_EQ(before.at(trashed ? name.substr(7) : name), bytes) << name;
    EXPECT_FALSE(!trashed && name.find("/1000000000.2") != std::string::npos) << "second copy kept: " << name;
    firstCopiesKept += !trashed;
  }
  EXPECT_GT(firstCopiesKept, messages.size() / 2);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(Undo(output).first, 0);
  EXPECT_EQ(Tree(md), before);
}

TEST_F(MailSourceTest, NewFilesHoldTheKeptMessagesUnderAFreeName) {
  const std::string a = "From: a@example.org\nSubject: a\n\none\n", b = "From: b@example.org\nSubject: b\n\ntwo\n";
  testsupport::WriteFile(m_tmp / "corpus.mbox", Entry(a) + Entry(b) + Entry(a));
  testsupport::WriteFile(m_tmp / "out/corpus.mbox", "taken");
  const auto [status, output] = Clean("--new-files '" + (m_tmp / "out").string() + "'", m_tmp / "corpus.mbox");
  ASSERT_EQ(status, 0) << output;
  EXPECT_NE(output.find("Creating Database " + (m_tmp / "out/corpus-2.mbox").string()), std::string::npos) << output;
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "out/corpus-2.mbox"), Entry(a) + Entry(b));
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "corpus.mbox"), Entry(a) + Entry(b) + Entry(a));
}

TEST_F(MailSourceTest, SourcesThatCannotBeReadOrLockedAreRefusedUntouched) {
  const std::string good = Entry("From: a@example.org\nSubject: a\n\none\n");
  struct Case {
    const char* name;
    std::function<fs::path(const fs::path&)> make;  // builds the source in a folder
    const char* row;
  };
  const std::vector<Case> cases = {
      {"entry without header lines",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "box", good + good + "From x Fri Mar  5 14:07:09 2010\njust text\n\n");
         return d / "box";
       },
       "Source not read: "},
      {"truncated mbox",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "box", good + good + "From x Fri Mar  5 14:07:09 2010\nSubject: cut");
         return d / "box";
       },
       "Source not read: "},
      {"maildir file that cannot be read",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "md/cur/1.a:2,", "Subject: a\n\nx\n");
         testsupport::WriteFile(d / "md/cur/2.a:2,", "Subject: a\n\nx\n");
         fs::create_directories(d / "md/new");
         fs::create_symlink(d / "gone", d / "md/cur/3.a:2,");
         return d / "md";
       },
       "Source not read: "},
      {"mbox locked by another program",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "box", good + good);
         testsupport::WriteFile(d / "box.lock", "");
         return d / "box";
       },
       "Source not written back: "},
  };
  for (const Case& c : cases) {
    const fs::path dir = m_tmp / c.name;
    fs::create_directories(dir);
    const fs::path source = c.make(dir);
    const auto before = Tree(dir);
    const auto [status, output] = Clean("--action delete", source);
    EXPECT_EQ(status, 1) << c.name << "\n" << output;
    EXPECT_NE(output.find(c.row + source.string() + " ("), std::string::npos) << c.name << "\n" << output;
    EXPECT_EQ(Tree(dir), before) << c.name;
  }
}

TEST_F(MailSourceTest, EveryActionOnAnMboxOrAMaildirIsUndoneByteForByteOnce) {
  const std::string a = "From: a@example.org\nSubject: a\n\none\n", b = "From: b@example.org\nSubject: b\n\ntwo\n",
                    c = "From: c@example.org\nSubject: c\n\nthree\n";
  // Mail delivered to an mbox after the run stays through its undo.
  const std::string later = Entry("From: d@example.org\nSubject: later\n\nfour\n");
  struct Case {
    const char* name;
    bool bMaildir;
    const char* args;
  };
  const std::vector<Case> cases = {
      {"mbox delete", false, "--action delete"},   {"mbox trash", false, "--action trash"},
      {"mbox move", false, "--action move --folder Dups"}, {"mbox copy", false, "--action copy --folder Dups"},
      {"maildir delete", true, "--action delete"}, {"maildir trash", true, "--action trash"},
      {"maildir move", true, "--action move --folder Dups"}, {"maildir copy", true, "--action copy --folder Dups"},
  };
  for (const Case& c0 : cases) {
    SCOPED_TRACE(c0.name);
    const fs::path dir = m_tmp / c0.name;
    fs::path source = dir / "box";
    if (c0.bMaildir) {
      source = dir / "Maildir";
      const std::string files[] = {a, b, a, c, b};
      for (int i = 0; i < 5; ++i)
        testsupport::WriteFile(source / (i % 2 ? "new" : "cur") / ("100" + std::to_string(i) + ".x:2,S"), files[i]);
      fs::create_directories(source / ".Trash/cur");
      testsupport::WriteFile(source / ".Trash/cur/1.old:2,S", c);
    } else {
      testsupport::WriteFile(source, Entry(a) + Entry(b) + Entry(a) + Entry(c) + Entry(b));
      testsupport::WriteFile(dir / "Trash", Entry(c).substr(0, Entry(c).size() - 1));  // no empty line at its end
    }
    auto before = Tree(dir);
    const auto [status, output] = Clean(c0.args, source, std::string("logs of ") + c0.name);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(Tree(dir), before);
    if (!c0.bMaildir) {
      testsupport::WriteFile(source, testsupport::ReadFile(source) + later);
      before["box"] += later;
    }
    for (const char* restored : {"Restored: 2 documents", "Restored: 0 documents"}) {
      const auto [undoStatus, undoOutput] = Undo(output);
      EXPECT_EQ(undoStatus, 0) << undoOutput;
      EXPECT_EQ(undoOutput, "Undoing: " + source.string() + "\n" + restored + "\n");
      EXPECT_EQ(Tree(dir), before);
    }
  }
}

TEST_F(MailSourceTest, UndoFinishesARewriteCutShortAndLeavesAnMboxChangedSinceAlone) {
  const std::string a = Entry("From: a@example.org\nSubject: a\n\none\n");
  const std::string original = a + Entry("From: b@example.org\nSubject: b\n\ntwo\n") + a;
  struct Case {
    const char* name;
    bool bCutShort;  // killed mid-rewrite: a marker beside the kept original
    int nExit;
  };
  for (const Case& c : {Case{"cut short", true, 0}, Case{"changed since", false, 1}}) {
    SCOPED_TRACE(c.name);
    const fs::path box = m_tmp / c.name / "box";
    testsupport::WriteFile(box, original);
    const auto [status, output] = Clean("--action delete", box, std::string("logs of ") + c.name);
    ASSERT_EQ(status, 0) << output;
    const std::string changed = original.substr(0, original.size() / 2);
    testsupport::WriteFile(box, changed);
    if (c.bCutShort) {
      testsupport::WriteFile(JournalOf(output) + ".d/1/writing", "");
      // The killed run left its dotlock behind, long ago.
      testsupport::WriteFile(box.string() + ".lock", "");
      fs::last_write_time(box.string() + ".lock", fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const auto [undoStatus, undoOutput] = Undo(output);
    EXPECT_EQ(undoStatus, c.nExit) << undoOutput;
    EXPECT_EQ(testsupport::ReadFile(box), c.bCutShort ? original : changed);
    EXPECT_FALSE(fs::exists(box.string() + ".lock"));
    if (!c.bCutShort) {
      EXPECT_NE(undoOutput.find("Not restored:\t" + box.string() + " (it changed since the run; its original is kept in "),
                std::string::npos)
          << undoOutput;
    }
  }
}

namespace {

// Starts tarnwick-cli with args (output to out), waits until ready() holds or
// the process ends by itself, then kills it with SIGKILL. True when killed.
bool KillWhen(const std::vector<std::string>& args, const fs::path& out, const std::function<bool()>& ready) {
  std::vector<std::string> all = {testsupport::ToolPath("tarnwick-cli").string()};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  for (int i = 0; i < 100000; ++i) {  // 30 s at most
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    if (ready()) break;
    usleep(300);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return true;
}

// Whether a process holds the file locked (a write-back or undo finishing).
bool Locked(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  const bool held = fd >= 0 && fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  if (fd >= 0) close(fd);
  return held;
}

std::optional<fs::path> FileNamed(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename() == name || it->path().extension() == name) return it->path();
  return std::nullopt;
}

}  // namespace

// A run or its undo killed with SIGKILL at moments of its work (polled, not
// slept for): the mbox is then the original or the cleaned result, never
// half; undo gives the original back byte for byte; the dotlock the killed
// process left keeps no one out.
TEST_F(MailSourceTest, KilledRunOrUndoLeavesTheMboxWholeAndUndoRestoresIt) {
  std::string original, cleaned;
  std::string body;
  for (int line = 0; line < 60; ++line) body += std::string(70, static_cast<char>('a' + line % 26)) + "\n";
  for (int i = 0; i < 1500; ++i) {
    const int n = i % 3 == 2 ? i - 1 : i;  // every third message repeats the one before
    const std::string entry = Entry("From: s" + std::to_string(n) + "@example.org\nSubject: report " +
                                    std::to_string(n) + "\nDate: Mon, 1 Mar 2021 10:00:00 +0100\n\n" + body);
    original += entry;
    if (i % 3 != 2) cleaned += entry;
  }
  // Where the first removed message was: its bytes there tell a rewrite (or
  // an undo) under way.
  const std::size_t at = original.rfind("From sender", original.find("From: s1@", original.find("From: s1@") + 1));
  const auto bytesAt = [at](const fs::path& file) {
    std::string bytes(64, '\0');
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd >= 0 ? pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) : -1;
    if (fd >= 0) close(fd);
    return n == 64 ? bytes : std::string();
  };
  struct Case {
    const char* name;
    std::function<bool(const fs::path& dir)> moment;  // when to kill
    bool bUndo;  // kill the undo of a finished run, not the run
  };
  const std::vector<Case> cases = {
      {"reading", [](const fs::path& dir) { return fs::exists(dir / "box.lock"); }, false},
      {"keeping the original", [](const fs::path& dir) { return FileNamed(dir, "original").has_value(); }, false},
      {"rewriting", [&](const fs::path& dir) { return bytesAt(dir / "box") == cleaned.substr(at, 64); }, false},
      {"undoing", [&](const fs::path& dir) { return bytesAt(dir / "box") == original.substr(at, 64); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = m_tmp / c.name, box = dir / "box", logs = dir / "logs";
    testsupport::WriteFile(box, original);
    fs::create_directories(logs);
    const std::vector<std::string> run = {"--yes", "--quiet", "--action", "delete", "--log-dir", logs.string(),
                                          box.string()};
    if (c.bUndo) {
      ASSERT_EQ(Clean("--action delete --quiet", box, std::string(c.name) + "/logs").first, 0);
    }
    const auto journal = [&] { return FileNamed(logs, ".journal"); };
    const bool killed = KillWhen(c.bUndo ? std::vector<std::string>{"--undo", journal()->string()} : run,
                                 dir / "out.txt", [&] { return c.moment(dir); });
    for (int i = 0; i < 300 && Locked(box); ++i) usleep(100000);  // a write that was begun ends
    const std::string after = testsupport::ReadFile(box);
    EXPECT_TRUE(after == original || after == cleaned) << "killed: " << killed << ", " << after.size() << " bytes";
    if (journal()) {
      const auto [status, output] = mailtest::Run("'" + testsupport::ToolPath("tarnwick-cli").string() + "' --undo '" +
                                                  journal()->string() + "'");
      EXPECT_EQ(status, 0) << output;
    }
    EXPECT_TRUE(testsupport::ReadFile(box) == original);
    MboxLock lock;
    std::string why;
    EXPECT_TRUE(lock.Acquire(box, &why)) << why;
  }
}
