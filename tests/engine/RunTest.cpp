// Whole runs over databases built from nsf-json: rows, log file, and what is
// left in the databases.
#include "tests/engine/RunFixture.h"

namespace runtest {
namespace {

const std::string kThreeMemos = Database({Memo(4, "Report"), Memo(8, "Report"), Memo(12, "Report"),
                                          Folder(100, "($Inbox)", "4, 8, 12")});

TEST_F(RunTest, ThreeIdenticalMemosInANewFileKeepTheFirst) {
  const auto db = Db("mail.nsf", kThreeMemos);
  const std::string before = testsupport::ReadFile(db);
  RunSingle(db);

  const auto copy = OnlyCopy();
  EXPECT_EQ(copy.filename().string().rfind("mail.nsf", 0), 0u);
  EXPECT_EQ(copy.extension(), ".nsf");
  EXPECT_EQ(DocumentIds(Dump(copy)), std::set<int>{4});
  EXPECT_EQ(testsupport::ReadFile(db), before);

  EXPECT_EQ(RunRows(), (std::vector<std::u16string>{u"Creating Database " + U(copy),
                                                    u"Opening Database " + U(copy),
                                                    u"Processing Folders",
                                                    u"Processing Folder :\t($Inbox)",
                                                    Summary(3, 2)}));
  // The database item comes first with note id 0 and is passed over silently.
  EXPECT_EQ(RunLogText(), Dashes() + u"Processing Folder :\t ($Inbox)\r\n" + Kept(4) +
                              Summary(3, 2) + u"\r\n\r\n" + Closing());
  EXPECT_EQ(page.messages, std::vector<std::u16string>{u"Duplicate removing process for selected "
                                                       u"NSF file(s) has been done successfully."});
  EXPECT_EQ(page.status, u"Log file path: " + platform::FromUtf8(logPath));
  EXPECT_TRUE(page.enabled[RunPage::kBack] && page.enabled[RunPage::kStartProcess] &&
              page.enabled[RunPage::kClose]);
  EXPECT_FALSE(page.shown[RunPage::kStop]);
  EXPECT_EQ(page.positions[RunPage::kDatabaseBar].back(), 1);
}

TEST_F(RunTest, LogFileStartsWithMarkAndIsNamedByTheStamp) {
  RunSingle(Db("mail.nsf", kThreeMemos));
  bool bMark = false;
  ReadLog(logPath, &bMark);
  EXPECT_TRUE(bMark);
  const std::string name = std::filesystem::path(logPath).filename().string();
  EXPECT_EQ(name.rfind("Tarnwick_log_", 0), 0u);
  EXPECT_EQ(std::count(name.begin(), name.end(), '-'), 5);
  // Held while the page lives: another holder cannot open it.
  platform::CFile other;
  EXPECT_FALSE(other.Open(logPath, platform::CFile::Mode::openExisting));
}

TEST_F(RunTest, EmptyFolderStillWritesItsSummary) {
  RunSingle(Db("mail.nsf", Database({Memo(4, "A"), Folder(100, "Empty", "")})));
  EXPECT_EQ(RunRows().back(), Summary(0, 0));
  EXPECT_EQ(RunLogText(),
            Dashes() + u"Processing Folder :\t Empty\r\n" + Summary(0, 0) + u"\r\n\r\n" + Closing());
}

TEST_F(RunTest, DocumentInTwoFoldersIsJudgedInTheFirstOnly) {
  s.m_bModifyOriginal = 1;
  s.m_nAction = 0;
  const auto db = Db("mail.nsf", Database({Memo(4, "A"), Memo(8, "A"), Folder(100, "One", "4"),
                                           Folder(104, "Two", "8, 4")}));
  s.m_bSameFolderScope = 0;
  RunSingle(db);
  // In Two, 8 is a duplicate of 4 (whole-file scope); 4 itself is counted but
  // neither logged nor disposed of again.
  EXPECT_EQ(DocumentIds(Dump(db)), std::set<int>{4});
  EXPECT_EQ(RunLogText(), Dashes() + u"Processing Folder :\t One\r\n" + Kept(4) + Summary(1, 0) +
                              u"\r\n\r\n" + Dashes() + u"Processing Folder :\t Two\r\n" +
                              Summary(2, 1) + u"\r\n\r\n" + Closing());
}

TEST_F(RunTest, SameFolderScopeKeepsEqualMemosOfDifferentFolders) {
  const std::string json = Database(
      {Memo(4, "A"), Memo(8, "A"), Folder(100, "One", "4"), Folder(104, "Two", "8")});
  s.m_bModifyOriginal = 1;
  s.m_bSameFolderScope = 1;
  const auto perFolder = Db("folder.nsf", json);
  RunSingle(perFolder);
  EXPECT_EQ(DocumentIds(Dump(perFolder)), (std::set<int>{4, 8}));

  s.m_bSameFolderScope = 0;
  s.m_vecSelectedFolders.clear();
  page.rows.clear();
  const auto wholeFile = Db("file.nsf", json);
  RunSingle(wholeFile);
  EXPECT_EQ(DocumentIds(Dump(wholeFile)), std::set<int>{4});
}

TEST_F(RunTest, OtherDocumentsAndSwitchedOffGroupsAreKeptOrIgnored) {
  s.m_bModifyOriginal = 1;
  s.m_bContactCriteria = 0;
  const std::string person = R"J({ "class": "document", "noteId": 20, "items": [
      { "name": "Form", "type": "text", "value": "Person" },
      { "name": "FullNameInput", "type": "text", "value": "Ada" } ] })J";
  const std::string person2 = R"J({ "class": "document", "noteId": 24, "items": [
      { "name": "Form", "type": "text", "value": "Person" },
      { "name": "FullNameInput", "type": "text", "value": "Ada" } ] })J";
  const std::string other = R"J({ "class": "document", "noteId": 28, "items": [
      { "name": "Form", "type": "text", "value": "Appointment" } ] })J";
  const auto db = Db("mail.nsf", Database({person, person2, other, Folder(100, "F", "20, 24, 28")}));
  RunSingle(db);
  EXPECT_EQ(DocumentIds(Dump(db)), (std::set<int>{20, 24, 28}));
  EXPECT_EQ(RunLogText(), Dashes() + u"Processing Folder :\t F\r\n" + Kept(28, u"Appointment") +
                              Summary(3, 0) + u"\r\n\r\n" + Closing());
}

TEST_F(RunTest, AllViewIsLeftOutOrProcessedLast) {
  const std::string json =
      Database({Memo(4, "A"), Folder(100, "Mine", "4"),
                R"J({ "class": "view", "noteId": 8, "name": "($All)", "viewType": 0, "select": "all" })J",
                R"J({ "class": "view", "noteId": 12, "name": "($Calendar)", "viewType": 0, "select": "all" })J"});
  RunSingle(Db("a.nsf", json));
  for (const auto& row : RunRows()) EXPECT_EQ(row.find(u"($All)"), std::u16string::npos);

  s.m_bExcludeAllFolder = 0;
  s.m_vecSelectedFolders.clear();
  page.rows.clear();
  std::filesystem::remove_all(m_tmp / "out");
  std::filesystem::create_directories(m_tmp / "out");
  RunSingle(Db("b.nsf", json));
  const auto rows = RunRows();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[rows.size() - 2], u"Processing Folder :\t($All)");
  EXPECT_EQ(rows[rows.size() - 4], u"Processing Folder :\tMine");
}

TEST_F(RunTest, ActionsInTheOriginalFile) {
  const std::string json = kThreeMemos;
  s.m_bModifyOriginal = 1;
  s.m_strSubFolderName = u"Dups";

  s.m_nAction = 1;  // to the trash
  const auto trash = Db("trash.nsf", json);
  RunSingle(trash);
  const auto trashDump = Dump(trash);
  EXPECT_EQ(trashDump["trash"].get<std::vector<int>>(), (std::vector<int>{8, 12}));

  s.m_nAction = 2;  // move: copies in Dups, originals gone
  s.m_vecSelectedFolders.clear();
  const auto move = Db("move.nsf", json);
  RunSingle(move);
  const auto moveDump = Dump(move);
  const auto moved = Entries(moveDump, "Dups");
  EXPECT_EQ(moved.size(), 2u);
  EXPECT_EQ(DocumentIds(moveDump).size(), 3u);  // 4 and the two copies
  EXPECT_EQ(DocumentIds(moveDump).count(8), 0u);
  EXPECT_EQ(Entries(moveDump, "($Inbox)"), std::vector<int>{4});
  for (int id : moved) EXPECT_EQ(NoteById(moveDump, id)["items"][1]["value"], "Report");

  s.m_nAction = 3;  // copy: everything stays, copies in Dups
  s.m_vecSelectedFolders.clear();
  const auto copy = Db("copy.nsf", json);
  RunSingle(copy);
  const auto copyDump = Dump(copy);
  EXPECT_EQ(Entries(copyDump, "Dups").size(), 2u);
  EXPECT_EQ(Entries(copyDump, "($Inbox)"), (std::vector<int>{4, 8, 12}));
}

TEST_F(RunTest, ExistingSubFolderIsUsed) {
  s.m_bModifyOriginal = 1;
  s.m_nAction = 3;
  s.m_strSubFolderName = u"Dups";
  const auto db = Db("a.nsf", Database({Memo(4, "R"), Memo(8, "R"), Folder(100, "In", "4, 8"),
                                        Folder(104, "Dups", "")}));
  RunSingle(db);
  const auto dump = Dump(db);
  EXPECT_EQ(Entries(dump, "Dups").size(), 1u);
  int folders = 0;
  for (const auto& note : dump["notes"]) folders += note["class"] == "folder";
  EXPECT_EQ(folders, 2);
}

TEST_F(RunTest, StopDuringTheFirstDatabaseLeavesTheOthersUntouched) {
  s.m_bModifyOriginal = 1;
  const auto a = Db("a.nsf", kThreeMemos);
  const auto b = Db("b.nsf", kThreeMemos);
  const auto c = Db("c.nsf", kThreeMemos);
  const std::string bBefore = testsupport::ReadFile(b);
  page.onRow = [&](const std::u16string& row) {
    if (row.rfind(u"Processing Folder :", 0) == 0) s.m_bRunning = 0;
  };
  RunMultiple({a, b, c});
  EXPECT_EQ(testsupport::ReadFile(b), bBefore);
  for (const auto& row : RunRows()) EXPECT_EQ(row.find(U(b)), std::u16string::npos);
  // The stopped folder's summary goes to the file only.
  EXPECT_EQ(RunRows().back(), u"Processing Folder :\t($Inbox)");
  const std::u16string log = RunLogText();
  EXPECT_NE(log.find(Summary(0, 0)), std::u16string::npos);
  EXPECT_EQ(log.substr(log.size() - Closing().size()), Closing());
  EXPECT_EQ(page.positions[RunPage::kDatabaseBar].back(), 3);
  EXPECT_EQ(page.messages.size(), 1u);
}

TEST_F(RunTest, MultipleFilesGoOnAfterACopyOrOpenFailure) {
  const auto a = Db("a.nsf", kThreeMemos);
  testsupport::WriteFile(m_tmp / "broken.nsf", "this is not a database");
  const auto missing = m_tmp / "missing.nsf";
  const auto c = Db("c.nsf", kThreeMemos);
  s.m_bModifyOriginal = 1;
  RunMultiple({a, missing, m_tmp / "broken.nsf", c});
  const auto rows = RunRows();
  EXPECT_NE(std::find(rows.begin(), rows.end(), u"Database Cannot be Open: " + U(missing)),
            rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), u"Database Cannot be Open: " + U(m_tmp / "broken.nsf")),
            rows.end());
  EXPECT_EQ(testsupport::ReadFile(m_tmp / "broken.nsf"), "this is not a database");
  EXPECT_EQ(DocumentIds(Dump(c)), std::set<int>{4});
  const std::u16string log = RunLogText();
  EXPECT_NE(log.find(u"Database Cannot be open. \r\n "), std::u16string::npos);
  EXPECT_EQ(log.substr(log.size() - Closing().size()), Closing());
  EXPECT_EQ(page.messages.size(), 1u);
  std::filesystem::remove(logPath);  // a second start within the second would append

  // New files into a saving folder that does not exist: no copy, next database.
  s.m_bModifyOriginal = 0;
  s.m_strNewNsfFolder = U(m_tmp / "nowhere");
  page.rows.clear();
  RunMultiple({a, c});
  const auto copyRows = RunRows();
  ASSERT_GE(copyRows.size(), 4u);
  EXPECT_EQ(copyRows[0].rfind(u"Creating Database " + U(m_tmp / "nowhere") + u"/a.nsf", 0), 0u);
  EXPECT_EQ(copyRows[1].rfind(u"Database not created: ", 0), 0u);
  EXPECT_EQ(copyRows[3].rfind(u"Database not created: ", 0), 0u);
  EXPECT_NE(RunLogText().find(u"Database not created. \r\n "), std::u16string::npos);
}

TEST_F(RunTest, SingleFileThatDoesNotOpenEndsAsEveryRunEnds) {
  const std::u16string closing =
      u"\r\n" + std::u16string(90, u'/') + u"\r\n\r\nWork Completed!!!!\r\n\r\n";
  const auto db = Db("mail.nsf", kThreeMemos);
  s.m_bModifyOriginal = 0;
  s.m_strNewNsfFolder = U(m_tmp / "nowhere");
  RunSingle(db);
  EXPECT_EQ(page.messages.size(), 1u);
  EXPECT_EQ(page.status, u"Log file path: " + platform::FromUtf8(logPath));
  EXPECT_TRUE(page.enabled[RunPage::kStartProcess]);
  EXPECT_EQ(RunLogText(), u"Database not created. \r\n " + closing);
  std::filesystem::remove(logPath);

  // The database went away between the page's load and the run.
  s.m_bModifyOriginal = 1;
  s.m_vecSelectedFolders.clear();
  page.rows.clear();
  s.m_strSingleFilePath = U(m_tmp / "gone.nsf");
  Run({});
  EXPECT_EQ(RunRows().back(), u"Database Cannot be Open: " + U(m_tmp / "gone.nsf"));
  EXPECT_EQ(RunLogText(), u"Database Cannot be open. \r\n " + closing);
  EXPECT_EQ(page.messages.size(), 2u);
}

TEST_F(RunTest, NewDatabasePathKeepsTheOddName) {
  EXPECT_EQ(NewDatabasePath(u"/clean", u"/mail/mail1.nsf", u"8-12-2025-9-5-7"),
            u"/clean/mail1.nsf8-12-2025-9-5-7.nsf");
  EXPECT_EQ(NewDatabasePath(u"/", u"/mail/mail1.nsf", u"1-1-2026-0-0-5"),
            u"//mail1.nsf1-1-2026-0-0-5.nsf");
  EXPECT_EQ(NewDatabasePath(u"/clean", u"mail1.nsf", u"1"), u"/clean/1.nsf");
}

TEST_F(RunTest, SourcesOfOneFileNameKeepEveryCleanCopy) {
  std::filesystem::create_directories(m_tmp / "s1");
  std::filesystem::create_directories(m_tmp / "s2");
  const auto a = Db("s1/mail.nsf", kThreeMemos);
  const auto b = Db("s2/mail.nsf", Database({Memo(20, "Other"), Folder(100, "($Inbox)", "20")}));
  RunMultiple({a, b});
  std::vector<std::u16string> created;
  for (const auto& row : RunRows())
    if (row.rfind(u"Creating Database ", 0) == 0) created.push_back(row.substr(18));
  ASSERT_EQ(created.size(), 2u);
  const std::u16string first = created[0].substr(0, created[0].size() - 4);
  if (created[1].rfind(first, 0) != 0) GTEST_SKIP() << "the clock moved on to the next second";
  EXPECT_EQ(created[1], first + u"-2.nsf");
  EXPECT_EQ(DocumentIds(Dump(platform::ToUtf8(created[0]))), std::set<int>{4});
  EXPECT_EQ(DocumentIds(Dump(platform::ToUtf8(created[1]))), std::set<int>{20});

  // A third name of the same kind takes the next free number.
  testsupport::WriteFile(platform::ToUtf8(first + u"-3.nsf"), "taken");
  EXPECT_EQ(FreeNewDatabasePath(created[0]), first + u"-4.nsf");
  EXPECT_EQ(FreeNewDatabasePath(U(m_tmp / "out" / "free.nsf")), U(m_tmp / "out" / "free.nsf"));
}

TEST_F(RunTest, SecondStartInTheSameSecondAppendsToTheSameLog) {
  const auto db = Db("mail.nsf", kThreeMemos);
  s.m_bModifyOriginal = 1;
  RunSingle(db);
  const std::string first = logPath;
  const std::size_t before = testsupport::ReadFile(first).size();
  s.m_vecSelectedFolders.clear();
  RunSingle(db);
  if (logPath != first) GTEST_SKIP() << "the clock moved on to the next second";
  s.m_logFile.Close();
  const std::string bytes = testsupport::ReadFile(first);
  EXPECT_GT(bytes.size(), before);
  EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos);
}

}  // namespace
}  // namespace runtest
