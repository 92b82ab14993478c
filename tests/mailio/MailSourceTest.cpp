// tarnwick-cli on mbox files and maildirs: real mail cleaned in place keeps
// the first message of each group byte for byte, undo gives the source
// back, and a source that cannot be read or locked is left untouched.
#include <gtest/gtest.h>

#include "mail/MailSourceRun.h"
#include "mail/Mbox.h"
#include "mail/MimeImport.h"
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
