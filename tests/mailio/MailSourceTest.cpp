// tarnwick-cli on mbox files and maildirs: real mail cleaned in place keeps
// the first message of each group byte for byte, undo gives the source
// back, and a source that cannot be read or locked is left untouched.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "mail/MailSourceRun.h"
#include "mail/MailSources.h"
#include "mail/Mbox.h"
#include "mail/MimeImport.h"
#include "mail/SourceLock.h"
#include "mail/SourceUndo.h"
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

namespace {

std::pair<int, std::string> RunCli(const std::string& args) {
  // Bounded: a source that blocks the run fails the test instead of hanging it.
  return mailtest::Run("timeout 60 '" + testsupport::ToolPath("tarnwick-cli").string() + "' " + args);
}

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// The maildir message files below dir by base name (without ":2,..." flags).
std::map<std::string, int> BaseNames(const fs::path& maildir) {
  std::map<std::string, int> out;
  for (const char* sub : {"new", "cur"})
    for (const auto& e : fs::directory_iterator(maildir / sub))
      if (!e.path().filename().string().starts_with('.')) ++out[MaildirBaseName(e.path().filename().string())];
  return out;
}

}  // namespace

// Entries that are links or no regular files, and an emptied mbox: a link is
// read through and never written through, a FIFO is refused without waiting
// for a writer, a linked sub folder is left out, an empty file is an mbox.
TEST_F(MailSourceTest, LinksFifosAndEmptyFilesAreReadOrRefusedWithoutTouchingAnythingElse) {
  const std::string a = "From: a@example.org\nSubject: a\n\none\n", b = "From: b@example.org\nSubject: b\n\ntwo\n";
  struct Case {
    const char* name;
    std::function<fs::path(const fs::path&)> make;  // builds the source in a folder, returns it
    std::string args;                               // before the source; "DIR" is the folder
    int nExit;
    std::string row;  // expected in the output; SOURCE stands for the source's path
    std::vector<std::string> untouched;  // below the folder: every file keeps its bytes
  };
  const std::vector<Case> cases = {
      {"empty mbox",
       [](const fs::path& d) {
         testsupport::WriteFile(d / "box", "");
         return d / "box";
       },
       "--action delete", 0, "Total Items Found: 0", {"."}},
      {"FIFO in cur",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "md/cur/1.a:2,S", a);
         testsupport::WriteFile(d / "md/cur/3.a:2,S", a);
         fs::create_directories(d / "md/new");
         EXPECT_EQ(mkfifo((d / "md/cur/2.fifo:2,S").c_str(), 0600), 0);
         return d / "md";
       },
       "--action delete", 1, "Source not read: SOURCE (not a regular file: 2.fifo:2,S)", {"."}},
      {"FIFO as the database",
       [](const fs::path& d) {
         EXPECT_EQ(mkfifo((d / "p.nsf").c_str(), 0600), 0);
         return d / "p.nsf";
       },
       "--new-files DIR/out", 1, "Database cannot be Opened: SOURCE", {"."}},
      {"linked sub folder",
       [&](const fs::path& d) {
         for (const char* md : {"md", "other"}) {
           testsupport::WriteFile(d / md / "cur/1.a:2,S", a);
           testsupport::WriteFile(d / md / "cur/2.a:2,S", a);
           fs::create_directories(d / md / "new");
         }
         fs::create_directory_symlink(d / "other", d / "md/.Linked");
         return d / "md";
       },
       "--action delete", 1, "Folder not fully processed: Linked (a link)", {"other"}},
      {"linked message, new files beside the source",
       [&](const fs::path& d) {
         testsupport::WriteFile(d / "md/cur/1.a:2,S", a);
         testsupport::WriteFile(d / "other/cur/5.b:2,S", b);
         fs::create_directories(d / "md/new");
         fs::create_symlink("../../other/cur/5.b:2,S", d / "md/cur/2.b:2,S");
         return d / "md";
       },
       "--new-files DIR", 0, "Creating Database SOURCE-2", {"other", "md"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = m_tmp / c.name;
    fs::create_directories(dir);
    const fs::path source = c.make(dir);
    std::map<std::string, std::map<std::string, std::string>> before;
    for (const std::string& sub : c.untouched) before[sub] = Tree(dir / sub);
    std::string args = c.args;
    if (const auto at = args.find("DIR"); at != std::string::npos) args.replace(at, 3, Quoted(dir));
    const auto [status, output] =
        RunCli("--yes --log-dir " + Quoted(m_tmp / "logs") + " " + args + " " + Quoted(source));
    EXPECT_EQ(status, c.nExit) << output;
    std::string row = c.row;
    if (const auto at = row.find("SOURCE"); at != std::string::npos) row.replace(at, 6, source.string());
    EXPECT_NE(output.find(row), std::string::npos) << output;
    for (const std::string& sub : c.untouched) EXPECT_EQ(Tree(dir / sub), before[sub]) << sub;
  }
  // The linked message's copy is a file of the copy's own with its bytes.
  const fs::path copied = m_tmp / "linked message, new files beside the source/md-2/cur/2.b:2,S";
  EXPECT_FALSE(fs::is_symlink(copied));
  EXPECT_EQ(testsupport::ReadFile(copied), b);
  // Left out, the linked folder's duplicate stays; the maildir's own goes.
  EXPECT_EQ(BaseNames(m_tmp / "linked sub folder/md").size(), 1u);
}

// Undo puts a removed maildir file back through a draft of its own, created
// new under a short name: a link planted at a draft name is never written
// through, and a name that uses up the name limit still comes back.
TEST_F(MailSourceTest, MaildirUndoRestoresThroughANewDraftWhateverIsPlantedOrHowLongTheName) {
  const fs::path md = m_tmp / "md", victim = m_tmp / "victim";
  testsupport::WriteFile(victim, "not mail");
  for (const char* sub : {"cur", "new"}) fs::create_directories(md / sub);
  const std::string name = "2004" + std::string(240, 'x') + ":2,S";  // 248 bytes
  testsupport::WriteFile(m_tmp / "kept", "Subject: s\n\nbody\n");
  for (const std::string& draft : {".tarnwick-restore-" + name.substr(0, 200),
                                   ".tarnwick-restore-" + std::to_string(getpid()) + "-0"})
    fs::create_symlink(victim, md / "cur" / draft.substr(0, 255));
  MailUndoRecord r;
  r.kind = MailUndoRecord::Kind::maildir;
  r.strSource = md.string();
  r.vecFiles.push_back({(md / "cur" / name).string(), (m_tmp / "kept").string(), {}, false});
  const MailUndoOutcome out = UndoMailWriteBack(r);
  EXPECT_TRUE(out.vecFailures.empty()) << out.vecFailures[0].strReason;
  EXPECT_EQ(out.nRestored, 1u);
  EXPECT_FALSE(fs::is_symlink(md / "cur" / name));
  EXPECT_EQ(testsupport::ReadFile(md / "cur" / name), "Subject: s\n\nbody\n");
  EXPECT_EQ(testsupport::ReadFile(victim), "not mail");
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(md / "cur")) entries += !e.is_symlink();
  EXPECT_EQ(entries, 1u);  // no draft left
}

// A mail client marks messages as read (new/X to cur/X:2,S) while a delete
// run works on the maildir, for at most two seconds: every message is found
// again by its base name, no row gives "Success" as a reason, and neither the
// run, its rollback nor its undo leaves two files for one message.
TEST_F(MailSourceTest, MessagesRenamedByAClientDuringARunAreFoundAgainByTheirBaseName) {
  const fs::path md = m_tmp / "Maildir";
  fs::create_directories(md / "cur");
  std::string body;
  for (int line = 0; line < 40; ++line) body += std::string(70, 'a' + line % 26) + "\n";
  constexpr int kMessages = 1200;
  for (int i = 0; i < kMessages; ++i) {
    const int n = i % 2 ? i - 1 : i;  // every second message repeats the one before
    testsupport::WriteFile(md / "new" / ("17000" + std::to_string(10000 + i) + ".M" + std::to_string(i) + ".host"),
                           "From: s" + std::to_string(n) + "@example.org\nSubject: r" + std::to_string(n) + "\n\n" + body);
  }
  const auto original = BaseNames(md);
  const std::string cli = testsupport::ToolPath("tarnwick-cli").string();
  const fs::path out = m_tmp / "out.txt";
  const std::string command = "'" + cli + "' --yes --quiet --action delete --log-dir " + Quoted(m_tmp / "logs") + " " +
                              Quoted(md) + " > " + Quoted(out) + " 2>&1";
  std::thread run([&] { EXPECT_NE(std::system(command.c_str()), -1); });
  // The client: renames the messages of new/ one by one, newest first,
  // spread over the run.
  std::vector<fs::path> fresh;
  for (const auto& e : fs::directory_iterator(md / "new")) fresh.push_back(e.path());
  std::sort(fresh.rbegin(), fresh.rend());
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (const fs::path& f : fresh) {
    if (std::chrono::steady_clock::now() > until) break;
    std::error_code ec;
    fs::rename(f, md / "cur" / (f.filename().string() + ":2,S"), ec);
    std::this_thread::sleep_for(std::chrono::microseconds(1500));
  }
  run.join();
  const std::string output = testsupport::ReadFile(out);
  EXPECT_EQ(output.find("Success"), std::string::npos) << output;
  for (const auto& [base, count] : BaseNames(md)) EXPECT_EQ(count, 1) << base;
  const auto [undoStatus, undoOutput] = Undo(output);
  EXPECT_EQ(undoStatus, 0) << undoOutput;
  EXPECT_EQ(BaseNames(md), original);
}

namespace {

// A small tmpfs at a folder of the test's own; unmounted when it ends.
class SmallDisk {
public:
  explicit SmallDisk(const fs::path& dir, std::uint64_t bytes = 4 << 20) : m_dir(dir) {
    fs::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes);
    m_bMounted = geteuid() == 0 && mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (m_bMounted) umount2(m_dir.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return m_bMounted; }
  // Fills the disk up to keep bytes free (a file "filler"); Free() undoes it.
  void Fill(std::uint64_t keep) {
    const std::uint64_t free = fs::space(m_dir).available;
    const int fd = open((m_dir / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
    EXPECT_EQ(posix_fallocate(fd, 0, static_cast<off_t>(free - keep)), 0);
    close(fd);
  }
  void Free() { fs::remove(m_dir / "filler"); }

private:
  fs::path m_dir;
  bool m_bMounted = false;
};

}  // namespace

// An undo that finds too little space changes nothing, says so, and leaves
// no drafts; with the space back, a new undo restores everything and keeps
// the mail delivered to an mbox since.
TEST_F(MailSourceTest, UndoWithoutSpaceLeavesTheSourceAsItWasAndNamesTheCause) {
  SmallDisk disk(m_tmp / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  std::string body;
  for (int line = 0; line < 100; ++line) body += std::string(70, 'a' + line % 26) + "\n";
  const auto message = [&](int n) { return "From: s" + std::to_string(n) + "@example.org\nSubject: r\n\n" + body; };
  const std::string later = Entry("From: d@example.org\nSubject: later\n\nfour\n");
  for (const bool maildir : {false, true}) {
    SCOPED_TRACE(maildir ? "maildir" : "mbox");
    const fs::path source = m_tmp / "disk" / (maildir ? "md" : "box");
    std::string mbox;
    for (int i = 0; i < 200; ++i) {
      if (maildir) testsupport::WriteFile(source / "cur" / (std::to_string(1000 + i) + ".x:2,S"), message(i / 4));
      else mbox += Entry(message(i / 4));
    }
    if (maildir) fs::create_directories(source / "new");
    else testsupport::WriteFile(source, mbox);
    const auto original = Tree(m_tmp / "disk");
    const auto [status, output] = Clean("--action delete", source, maildir ? "logs md" : "logs box");
    ASSERT_EQ(status, 0) << output;
    disk.Fill(64 * 1024);
    auto cleaned = Tree(m_tmp / "disk");
    cleaned.erase("filler");
    const auto [fullStatus, fullOutput] = Undo(output);
    EXPECT_EQ(fullStatus, 1) << fullOutput;
    EXPECT_NE(fullOutput.find("No space left on device"), std::string::npos) << fullOutput;
    auto after = Tree(m_tmp / "disk");
    after.erase("filler");
    EXPECT_EQ(after, cleaned);  // not a byte changed, no draft left
    disk.Free();
    auto expected = original;
    if (!maildir) {
      testsupport::WriteFile(source, testsupport::ReadFile(source) + later);
      expected["box"] += later;
    }
    EXPECT_EQ(Undo(output).first, 0);
    EXPECT_EQ(Tree(m_tmp / "disk"), expected);
    fs::remove_all(source);
  }
}

// A new-file copy that fills its disk names the full disk as the cause, not
// the transaction that SQLite rolled back because of it.
TEST_F(MailSourceTest, ANewFileCopyThatFillsTheDiskNamesTheFullDisk) {
  const fs::path db = m_tmp / "a.nsf";
  ASSERT_EQ(mailtest::Run("'" + testsupport::ToolPath("nsftool").string() + "' sample " + Quoted(db) +
                          " --docs 1000 --dup-percent 50")
                .first,
            0);
  const std::uint64_t size = fs::file_size(db);
  SmallDisk disk(m_tmp / "disk", size + size / 20);  // the copy fits, its changes do not
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
  const auto [status, output] = RunCli("--quiet --log-dir " + Quoted(m_tmp / "logs") + " --new-files " +
                                       Quoted(m_tmp / "disk") + " " + Quoted(db));
  EXPECT_EQ(status, 1) << output;
  EXPECT_NE(output.find("database or disk is full"), std::string::npos) << output;
  EXPECT_EQ(output.find("no transaction"), std::string::npos) << output;
  EXPECT_EQ(output.find("no such savepoint"), std::string::npos) << output;
}
