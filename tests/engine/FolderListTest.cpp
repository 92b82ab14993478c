// The folder list over a real database: which views and folders, in which
// order, with which totals.
#include "notes/FolderList.h"
#include "tests/engine/RunFixture.h"

namespace runtest {
namespace {

class FolderListTest : public RunTest {
protected:
  std::uint64_t List(const std::string& json, std::vector<FolderRecord>& records,
                     std::u16string* pError = nullptr, const std::atomic<std::uint8_t>* pRunning = nullptr) {
    const auto path = Db("list.nsf", json);
    LNNotesSession session;
    session.Initialize();
    LNDatabase db;
    EXPECT_EQ(session.GetDatabase(LNString(path.string()), &db), LNNOERROR);
    db.Open();
    const std::size_t before = records.size();
    FolderRecord staging;
    const std::uint64_t total = BuildFolderList(db, records, staging, nullptr, pError, pRunning);
    if (records.size() > before) {
      EXPECT_EQ(staging, records.back());  // every record passes through it
    }
    db.Close();
    return total;
  }
};

std::string View(int id, const std::string& name, int type, const std::string& select) {
  return R"J({ "class": "view", "noteId": )J" + std::to_string(id) + R"J(, "name": ")J" + name +
         R"J(", "viewType": )J" + std::to_string(type) + R"J(, "select": )J" + select + "}";
}

TEST_F(FolderListTest, SpecialViewsFoldersAndAllViewLast) {
  std::vector<FolderRecord> records;
  const std::uint64_t total = List(
      Database({Memo(4, "A"), Memo(8, "B"), Folder(100, "($Inbox)", "4, 8"),
                View(104, "($Sent)", 0, R"J({ "hasItem": "PostedDate" })J"),
                View(108, "($All)", 0, R"J("all")J"), View(112, "($Calendar)", 0, R"J("all")J"),
                Folder(116, "Projects\\\\2019", ""), View(120, "Groups", 3, R"J("all")J"),
                View(124, "($sent)", 0, R"J("all")J")}),
      records);
  EXPECT_EQ(records, (std::vector<FolderRecord>{{u"($Inbox)", 100, 1},
                                                {u"($Sent)", 104, 1},
                                                {u"Projects\\2019", 116, 0},
                                                {u"($All)", 108, 1}}));
  // Both memos count in ($Inbox) and again in ($Sent); ($All) never counts.
  EXPECT_EQ(total, 4u);
}

TEST_F(FolderListTest, AppendsToWhatTheListHolds) {
  std::vector<FolderRecord> records = {{u"kept", 1, 0}};
  EXPECT_EQ(List(Database({Memo(4, "A")}), records), 0u);
  EXPECT_EQ(records, (std::vector<FolderRecord>{{u"kept", 1, 0}}));
}

TEST_F(FolderListTest, StoppedRunListsNoMoreFoldersAndReportsNoError) {
  std::vector<FolderRecord> records;
  std::u16string error = u"stale";
  const std::atomic<std::uint8_t> stopped{0};
  EXPECT_EQ(List(Database({Memo(4, "A"), Folder(100, "($Inbox)", "4"), View(108, "($All)", 0, R"J("all")J")}),
                 records, &error, &stopped),
            0u);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(error, u"");
}

}  // namespace
}  // namespace runtest
