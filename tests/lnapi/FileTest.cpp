// Files that are not databases, locks between processes, and a writer killed
// in the middle of its work.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "tests/lnapi/LnapiFixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kSmall = R"j({"notes": [
  {"class": "document", "noteId": 4, "items": [{"name": "Subject", "type": "text", "value": "a"}]},
  {"class": "view", "noteId": 400, "name": "($All)", "select": "all"},
  {"class": "folder", "noteId": 404, "name": "F", "entries": [4]}]})j";

// The status text Open throws for path, or "" when it opens.
std::string OpenFailure(const std::string& path) {
  LNNotesSession session;
  session.Initialize();
  LNDatabase db;
  session.GetDatabase(path.c_str(), &db);
  try {
    db.Open();
  } catch (LNSTATUS status) {
    return LNGetErrorMessageText(status);
  }
  db.Close();
  return "";
}

struct FileState {
  std::string bytes;
  fs::file_time_type time;
};

FileState StateOf(const fs::path& p) {
  std::error_code ec;
  return {testsupport::ReadFile(p), fs::last_write_time(p, ec)};
}

}  // namespace

class FileTest : public testsupport::TempDirTest {};

TEST_F(FileTest, FilesThatAreNotDatabasesAreRefusedByNameAndLeftAlone) {
  const fs::path db = m_tmp / "real.nsf";
  testsupport::MakeDatabase(db, kSmall);
  const std::string real = testsupport::ReadFile(db);
  const fs::path text = m_tmp / "text.nsf", empty = m_tmp / "empty.nsf", cut = m_tmp / "cut.nsf",
                 stub = m_tmp / "stub.nsf", other = m_tmp / "other.nsf", folder = m_tmp / "folder.nsf";
  testsupport::WriteFile(text, std::string(300, 'x'));
  testsupport::WriteFile(empty, "");
  testsupport::WriteFile(cut, real.substr(0, real.size() / 2));
  testsupport::WriteFile(stub, real.substr(0, 40));
  fs::create_directory(folder);
  sqlite3* foreign = nullptr;
  ASSERT_EQ(sqlite3_open(other.c_str(), &foreign), SQLITE_OK);
  sqlite3_exec(foreign, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
  sqlite3_close(foreign);

  const std::pair<fs::path, const char*> cases[] = {
      {text, "file is not a Tarnwick database"},
      {empty, "the file is empty"},
      {cut, "the file is truncated"},
      {stub, "the file is truncated"},
      {other, "SQLite database of another program"},
      {folder, "it is a folder"},
      {m_tmp / "missing.nsf", "the file does not exist"},
  };
  for (const auto& [path, reason] : cases) {
    const bool exists = fs::is_regular_file(path);
    const FileState before = exists ? StateOf(path) : FileState{};
    const std::string message = OpenFailure(path.string());
    EXPECT_EQ(message.rfind("Cannot open " + path.string() + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
    if (exists) {
      EXPECT_EQ(StateOf(path).bytes, before.bytes) << path;
      EXPECT_EQ(StateOf(path).time, before.time) << path;
    }
    EXPECT_FALSE(fs::exists(path.string() + "-journal"));
  }
  EXPECT_FALSE(fs::exists(m_tmp / "missing.nsf"));  // Open never creates a file
  EXPECT_EQ(OpenFailure(db.string()), "");
}

TEST_F(FileTest, UnreadableFileIsRefusedByName) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const fs::path db = m_tmp / "locked.nsf";
  testsupport::MakeDatabase(db, kSmall);
  fs::permissions(db, fs::perms::none);
  const std::string message = OpenFailure(db.string());
  fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(message.find("Cannot open " + db.string() + ": Permission denied"), std::string::npos) << message;
}

TEST_F(FileTest, ClosedDatabaseIsOneSelfContainedFile) {
  const fs::path db = m_tmp / "a.nsf";
  testsupport::MakeDatabase(db, kSmall);
  LNNotesSession session;
  session.Initialize();
  LNDatabase database;
  session.GetDatabase(db.c_str(), &database);
  database.Open();
  LNViewFolder folder;
  ASSERT_EQ(database.CreateFolder("New", &folder), LNNOERROR);
  database.Close();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_tmp.Path()))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"a.nsf"});
  fs::copy_file(db, m_tmp / "copy.nsf");
  EXPECT_NE(testsupport::DumpDatabase(m_tmp / "copy.nsf").find("\"New\""), std::string::npos);
}

TEST_F(FileTest, OpenDatabaseIsHeldAgainstOtherProcessesOnly) {
  const fs::path db = m_tmp / "held.nsf";
  testsupport::MakeDatabase(db, kSmall);
  EXPECT_FALSE(lnapi::IsFileHeldByOther(db.string()));
  LNNotesSession session;
  session.Initialize();
  LNDatabase first, second;
  session.GetDatabase(db.c_str(), &first);
  session.GetDatabase(db.c_str(), &second);
  first.Open();
  second.Open();  // a second open in one process neither waits nor fails
  EXPECT_FALSE(lnapi::IsFileHeldByOther(db.string()));
  second.Close();
  first.Close();

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    LNNotesSession s;
    s.Initialize();
    LNDatabase d;
    s.GetDatabase(db.c_str(), &d);
    d.Open();
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);  // a child that dies early ends the read
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_TRUE(lnapi::IsFileHeldByOther(db.string()));
  first.Open();  // shared with the other holder
  EXPECT_TRUE(lnapi::IsFileHeldByOther(db.string()));
  first.Close();
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  EXPECT_FALSE(lnapi::IsFileHeldByOther(db.string()));
}

TEST_F(FileTest, ReaderInThisProcessDoesNotHoldUpAWriterOfTheSameFile) {
  const fs::path db = m_tmp / "two.nsf";
  testsupport::MakeDatabase(db, kSmall);
  LNNotesSession session;
  session.Initialize();
  LNDatabase reader, writer;
  session.GetDatabase(db.c_str(), &reader);
  session.GetDatabase(db.c_str(), &writer);
  reader.Open();
  writer.Open();
  LNViewFolder all;
  reader.GetViewFolder("($All)", &all);
  all.Open(0);
  LNDocument doc;
  all[0].GetDocument(&doc);
  ASSERT_EQ(doc.Open(0), LNNOERROR);  // the reader now holds the file for reading
  const auto started = std::chrono::steady_clock::now();
  LNViewFolder folder;
  EXPECT_EQ(writer.CreateFolder("Written meanwhile", &folder), LNNOERROR);
  EXPECT_EQ(writer.DeleteNote(4, UPDATE_NOSTUB), LNNOERROR);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  // The reader still reads, and sees the change once it looks again.
  LNText subject;
  EXPECT_EQ(doc.GetItem("Subject", &subject), LNNOERROR);
  all.Close();
  EXPECT_EQ(reader.GetViewFolder("Written meanwhile", &folder), LNNOERROR);
  ASSERT_EQ(all.Open(0), LNNOERROR);
  EXPECT_EQ(all.GetEntryCount(), 0);
}

// A child moves the one document from copy to copy (copy, file in F, delete
// the original) in a transaction each, and is killed mid-way. Whatever moment
// it died, the file opens and holds exactly one document, filed in F.
TEST_F(FileTest, WriterKilledMidTransactionLeavesOldOrNewState) {
  const fs::path db = m_tmp / "kill.nsf";
  testsupport::MakeDatabase(db, kSmall);
  for (int delayMs : {30, 120}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      LNNotesSession s;
      s.Initialize();
      LNDatabase d;
      s.GetDatabase(db.c_str(), &d);
      d.Open();
      LNViewFolder folder;
      d.GetViewFolder("F", &folder);
      for (int round = 0;; ++round) {
        folder.Open(0);
        LNDocument doc;
        folder[0].GetDocument(&doc);
        doc.Open(0);
        d.BeginTransaction();
        LNDocument copy;
        d.CreateDocument(doc, &copy);
        folder.FolderAddDocument(copy);
        d.DeleteNote(doc.GetNoteID(), UPDATE_NOSTUB);
        d.CommitTransaction();
        folder.Close();
        if (round == 2) (void)!::write(ready[1], "x", 1);
      }
    }
    ::close(ready[1]);
    char c = 0;
    const bool started = ::read(ready[0], &c, 1) == 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ASSERT_TRUE(started);
    // A reader that only dumps sees a whole state too.
    const std::string dump = testsupport::DumpDatabase(db);
    std::size_t documents = 0;
    for (std::size_t at = dump.find("\"document\""); at != std::string::npos; at = dump.find("\"document\"", at + 1))
      ++documents;
    EXPECT_EQ(documents, 1u);

    LNNotesSession session;
    session.Initialize();
    LNDatabase database;
    session.GetDatabase(db.c_str(), &database);
    ASSERT_NO_THROW(database.Open());
    LNViewFolder all, f;
    ASSERT_EQ(database.GetViewFolder("($All)", &all), LNNOERROR);
    ASSERT_EQ(database.GetViewFolder("F", &f), LNNOERROR);
    all.Open(0);
    f.Open(0);
    ASSERT_EQ(all.GetEntryCount(), 1);
    ASSERT_EQ(f.GetEntryCount(), 1);
    EXPECT_EQ(all[0].GetNoteID(), f[0].GetNoteID());
    EXPECT_GT(all[0].GetNoteID(), 404u);
    all.Close();
    f.Close();
    database.Close();
    // A writer killed while it created its journal may leave one that holds
    // nothing to play back; SQLite ignores such a file and so may we. A
    // journal that still starts with content would mean a lost rollback.
    const std::string journal = db.string() + "-journal";
    if (fs::exists(journal)) {
      const std::string head = testsupport::ReadFile(journal);
      EXPECT_TRUE(head.empty() || head[0] == '\0') << "a hot journal was left behind";
    }
  }
}

TEST_F(FileTest, DatabaseOpenedOnOneThreadServesAnother) {
  const fs::path db = m_tmp / "t.nsf";
  testsupport::MakeDatabase(db, kSmall);
  LNNotesSession session;
  session.Initialize();
  LNDatabase database;
  session.GetDatabase(db.c_str(), &database);
  database.Open();
  std::string subject;
  std::thread worker([&] {
    LNNotesSession own;
    own.InitThread();
    LNViewFolder all;
    database.GetViewFolder("($All)", &all);
    all.Open(0);
    LNDocument doc;
    all[0].GetDocument(&doc);
    doc.Open(0);
    LNText text;
    doc.GetItem("Subject", &text);
    subject = text[0].Bytes();
    LNViewFolder created;
    database.CreateFolder("From a worker", &created);
    own.TermThread();
  });
  worker.join();
  EXPECT_EQ(subject, "a");
  LNViewFolder created;
  EXPECT_EQ(database.GetViewFolder("From a worker", &created), LNNOERROR);
  database.Close();
}

TEST(LnapiStatus, TextsNameTheFailureAndFitTheBuffer) {
  EXPECT_EQ(LNGetErrorMessageText(LNERR_NOT_FOUND), "Note, item, view or folder not found");
  char buf[8];
  EXPECT_EQ(LNGetErrorMessageText(LNERR_NOT_FOUND, buf, sizeof buf), 7u);
  EXPECT_STREQ(buf, "Note, i");
  // A made status: its own text, its kind in the low bits, cut only between
  // characters.
  const std::string made = OpenFailure("/nonexistent/\xc3\xa9t\xc3\xa9.nsf");
  EXPECT_EQ(made, "Cannot open /nonexistent/\xc3\xa9t\xc3\xa9.nsf: the file does not exist");
  LNNotesSession session;
  LNDatabase db;
  EXPECT_EQ(session.GetDatabase("x.nsf", &db), LNERR_NOT_INITIALIZED);
  session.Initialize();
  session.GetDatabase("/nonexistent/\xc3\xa9t\xc3\xa9.nsf", &db);
  try {
    db.Open();
    FAIL();
  } catch (LNSTATUS status) {
    EXPECT_EQ(lnapi::ErrorCode(status), LNERR_FILE);
    char small[16];
    EXPECT_EQ(LNGetErrorMessageText(status, small, 15), 14u);  // not 15: no half "é"
    EXPECT_STREQ(small, "Cannot open /n");
    char cut[27];
    EXPECT_EQ(LNGetErrorMessageText(status, cut, sizeof cut), 25u);
    EXPECT_STREQ(cut, "Cannot open /nonexistent/");
  }
  EXPECT_NE(LNGetErrorMessageText(0x7777).find("0x7777"), std::string::npos);
}
