// The run's safety rules: moves never lose a document, a missing sub folder
// disposes of nothing, the log file never stops a run, errors outside the
// passes are reported, and a dry run changes nothing.
#include "tests/engine/RunFixture.h"

#include <sqlite3.h>

#include "engine/FolderPass.h"

namespace runtest {
namespace {

const std::string kTwoMemos =
    Database({Memo(4, "Report"), Memo(8, "Report"), Folder(100, "($Inbox)", "4, 8")});

TEST_F(RunTest, MoveThatCannotFileTheCopyKeepsTheOriginal) {
  // The name given is a view's: the copy cannot be added to it.
  s.m_bModifyOriginal = 1;
  s.m_nAction = 2;
  s.m_strSubFolderName = u"($Sent)";
  const auto db = Db("mail.nsf",
                     Database({Memo(4, "Report"), Memo(8, "Report"), Folder(100, "($Inbox)", "4, 8"),
                               R"J({ "class": "view", "noteId": 200, "name": "($Sent)", "viewType": 1,
                                    "select": { "hasItem": "PostedDate" } })J"}));
  RunSingle(db);
  const auto dump = Dump(db);
  EXPECT_EQ(DocumentIds(dump), (std::set<int>{4, 8}));  // no stray copy, original kept
  EXPECT_EQ(Entries(dump, "($Inbox)"), (std::vector<int>{4, 8}));
  const auto rows = RunRows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), u"Item not moved:\t8"), rows.end());
  EXPECT_NE(RunLogText().find(u"Item not moved:\t8\r\n"), std::u16string::npos);
  EXPECT_EQ(rows.back(), Summary(2, 1));
}

TEST_F(RunTest, MissingSubFolderDisposesOfNothing) {
  // No name to find or create, and the second name is taken by a view.
  s.m_bModifyOriginal = 1;
  s.m_nAction = 2;
  s.m_strSubFolderName = u"";
  const auto db = Db("mail.nsf",
                     Database({Memo(4, "Report"), Memo(8, "Report"), Folder(100, "($Inbox)", "4, 8"),
                               Folder(104, "Other", "8"),
                               R"J({ "class": "view", "noteId": 200, "name": "Folder #2", "viewType": 1,
                                    "select": "all" })J"}));
  const std::string before = Dump(db).dump();
  RunSingle(db);
  EXPECT_EQ(Dump(db).dump(), before);
  const std::u16string missing = TargetMissingRow(u"");
  const auto rows = RunRows();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), missing), 1);  // once per database
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[1], u"Processing Folders");
  EXPECT_EQ(rows[2], missing);
  const std::u16string log = RunLogText();
  EXPECT_EQ(log.find(missing), log.rfind(missing));
}

TEST_F(RunTest, DocumentsWhoseTickedFieldsAreAllEmptyAreKept) {
  s.m_bModifyOriginal = 1;
  s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = 0;
  s.m_bMailDateTime = s.m_bMailBody = 0;  // attachments only: no memo has one
  s.m_bContactFirstName = s.m_bContactLastName = s.m_bContactFullName = s.m_bContactEmail = 0;
  s.m_bContactCompany = 1;  // no contact has a company
  const std::string person = R"J({ "class": "document", "noteId": %, "created": "2010-03-05T14:07:09",
      "items": [ { "name": "Form", "type": "text", "value": "Person" } ] })J";
  const auto contact = [&](const std::string& id) {
    std::string text = person;
    return text.replace(text.find('%'), 1, id);
  };
  const auto db = Db("mail.nsf", Database({Memo(4, "Report"), Memo(8, "Report"), contact("12"),
                                           contact("16"), Folder(100, "($Inbox)", "4, 8, 12, 16")}));
  RunSingle(db);
  EXPECT_EQ(DocumentIds(Dump(db)), (std::set<int>{4, 8, 12, 16}));
  EXPECT_EQ(RunRows().back(), Summary(4, 0));
}

TEST_F(RunTest, SecondTargetNamesAreKept) {
  s.m_strSubFolderName = u"Dups";
  s.m_bMultipleFiles = 1;
  EXPECT_EQ(SecondTargetFolderName(s), u"Dups#2");
  s.m_bMultipleFiles = 0;
  EXPECT_EQ(SecondTargetFolderName(s), u"Folder #2");

  // A name that cannot be made gives way to the second name.
  s.m_bModifyOriginal = 1;
  s.m_nAction = 3;
  s.m_strSubFolderName = u"";
  const auto db = Db("mail.nsf", kTwoMemos);
  RunMultiple({db});
  EXPECT_EQ(Entries(Dump(db), "#2").size(), 1u);
}

TEST_F(RunTest, LogFolderThatCannotBeMadeDoesNotStopTheRun) {
  testsupport::WriteFile(m_tmp / "logs", "a file where the folder should be");
  s.m_bModifyOriginal = 1;
  const auto db = Db("mail.nsf", kTwoMemos);
  RunSingle(db);
  EXPECT_EQ(DocumentIds(Dump(db)), std::set<int>{4});
  const auto rows = RunRows();
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front(), u"Log file could not be created: " + platform::FromUtf8(logPath));
  EXPECT_EQ(page.messages.size(), 1u);
  EXPECT_EQ(page.status, u"");  // no file, so no path in the status line
}

TEST_F(RunTest, FolderBarCountsFoldersInMultipleFileMode) {
  s.m_bModifyOriginal = 1;
  const auto db = Db("mail.nsf", Database({Memo(4, "A"), Memo(8, "B"), Memo(12, "C"),
                                           Folder(100, "One", "4, 8, 12"), Folder(104, "Two", "4")}));
  RunMultiple({db});
  EXPECT_EQ(page.ranges[RunPage::kFolderBar], std::make_pair(0, 2));
  EXPECT_EQ(page.positions[RunPage::kFolderBar], (std::vector<int>{0, 0, 1, 2}));
}

TEST_F(RunTest, DryRunChangesNothingAndNamesTheKeptDocument) {
  const auto db = Db("mail.nsf", Database({Memo(4, "Report"), Memo(8, "Report"), Memo(12, "Other"),
                                           Memo(16, "Report"), Folder(100, "($Inbox)", "4, 8, 12, 16")}));
  const std::string before = testsupport::ReadFile(db);
  RunOptions dry;
  dry.bDryRun = true;
  RunSingle(db, dry);  // new-file mode: no copy is made
  EXPECT_TRUE(std::filesystem::is_empty(m_tmp / "out"));
  EXPECT_EQ(RunRows().front(), u"Opening Database " + U(db));
  EXPECT_EQ(RunLogText(), Dashes() + u"Processing Folder :\t ($Inbox)\r\n" + Kept(4) +
                              u"Duplicate Item ID:\t8 duplicate of 4\r\n" + Kept(12) +
                              u"Duplicate Item ID:\t16 duplicate of 4\r\n" + Summary(4, 2) +
                              u"\r\n\r\n" + Closing());
  std::filesystem::remove(logPath);

  s.m_bModifyOriginal = 1;
  s.m_nAction = 2;
  s.m_strSubFolderName = u"Dups";
  s.m_vecSelectedFolders.clear();
  page.rows.clear();
  RunSingle(db, dry);
  EXPECT_EQ(testsupport::ReadFile(db), before);
  EXPECT_EQ(RunRows().back(), Summary(4, 2));
}

TEST_F(RunTest, NoteIdsAndCountersPrintAsSigned32Bit) {
  s.m_bModifyOriginal = 1;
  RunSingle(Db("mail.nsf", Database({Memo(4294967292, "A"), Folder(100, "F", "4294967292")})));
  EXPECT_NE(RunLogText().find(u"Item ID:\t-4\r\n"), std::u16string::npos);
  EXPECT_EQ(FolderSummaryLine(0x100000002ull, 1, 0),
            u"Total Items Found: 2 , Items Save: 1 , Duplicate Items: 1 , Items not save: 0");
  EXPECT_EQ(FolderSummaryLine(0x80000000ull, 0, 0),
            u"Total Items Found: -2147483648 , Items Save: -2147483648 , Duplicate Items: 0 , "
            u"Items not save: 0");
}

}  // namespace
}  // namespace runtest

namespace runtest {
namespace {

TEST_F(RunTest, ErrorOutsideThePassesIsReportedAndTheNextDatabaseGoesOn) {
  s.m_bModifyOriginal = 1;
  s.m_nAction = 2;
  s.m_strSubFolderName = u"Dups";
  const auto locked = Db("locked.nsf", kTwoMemos);
  const auto free = Db("free.nsf", kTwoMemos);
  // Another writer holds the first database: making its sub folder fails
  // with a Notes error (after the store's wait for the lock).
  LNNotesSession session;
  session.Initialize();
  LNDatabase blocker;
  ASSERT_EQ(session.GetDatabase(LNString(locked.string()), &blocker), LNNOERROR);
  blocker.Open();
  blocker.BeginTransaction();
  RunMultiple({locked, free});
  blocker.RollbackTransaction();
  blocker.Close();

  const auto rows = RunRows();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[2].find(U(locked)) != std::u16string::npos, true) << platform::ToUtf8(rows[2]);
  EXPECT_EQ(rows[3], u"Opening Database " + U(free));
  EXPECT_EQ(DocumentIds(Dump(locked)), (std::set<int>{4, 8}));
  EXPECT_EQ(Entries(Dump(free), "Dups").size(), 1u);
  EXPECT_EQ(page.messages.size(), 1u);
}

TEST_F(RunTest, BatchThatCannotCommitIsRolledBackAndLaterFoldersStillCommit) {
  s.m_bModifyOriginal = 1;
  const auto db = Db("mail.nsf", Database({Memo(4, "Report"), Memo(8, "Report"), Memo(12, "Note"),
                                           Memo(16, "Note"), Folder(100, "($Inbox)", "4, 8"),
                                           Folder(104, "Other", "12, 16")}));
  // A reader in another connection keeps the first folder's commit waiting
  // past the busy timeout; it lets go when the second folder starts.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM meta;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  int nFolders = 0;
  page.onRow = [&](const std::u16string& row) {
    if (row.rfind(u"Processing Folder :", 0) == 0 && ++nFolders == 2)
      sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  };
  RunSingle(db);
  sqlite3_close(reader);

  EXPECT_EQ(DocumentIds(Dump(db)), (std::set<int>{4, 8, 12}));
  const auto rows = RunRows();
  const auto cut = std::find_if(rows.begin(), rows.end(), [](const std::u16string& row) {
    return row.rfind(u"Folder not fully processed: ($Inbox) (", 0) == 0;
  });
  ASSERT_TRUE(cut != rows.end() && cut + 1 != rows.end());
  EXPECT_EQ(*(cut + 1), Summary(2, 0));  // nothing claimed as disposed of
  EXPECT_EQ(rows.back(), Summary(2, 1));
}

}  // namespace
}  // namespace runtest
