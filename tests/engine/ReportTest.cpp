// The duplicate report of a run: its groups, their order and fields, its
// JSON; the spare set that a report makes.
#include <nlohmann/json.hpp>

#include "engine/report/ReportCollector.h"
#include "engine/report/Review.h"
#include "engine/report/SpareSet.h"
#include "tests/engine/RunFixture.h"

namespace {

using namespace runtest;

struct ExpectedGroup {
  std::u16string folder;
  NOTEID kept;
  std::vector<NOTEID> duplicates;
};

std::vector<ExpectedGroup> Groups(const report::DatabaseGroups& db) {
  std::vector<ExpectedGroup> groups;
  for (const report::Group& g : db.groups) {
    ExpectedGroup e{db.FolderOf(g), g.kept.id, {}};
    for (const report::Member& m : g.duplicates) e.duplicates.push_back(m.id);
    groups.push_back(e);
  }
  return groups;
}

bool operator==(const ExpectedGroup& a, const ExpectedGroup& b) {
  return a.folder == b.folder && a.kept == b.kept && a.duplicates == b.duplicates;
}

class ReportTest : public RunTest {
protected:
  // Inbox holds A B B A, Sent holds A B A: B's group is found before A's.
  std::filesystem::path TwoFolders() {
    return Db("mail.nsf",
              Database({Memo(4, "A"), Memo(8, "A"), Memo(12, "A"), Memo(16, "B"), Memo(20, "A"),
                        Memo(24, "B"), Memo(28, "B"),
                        Folder(100, "($Inbox)", "4, 16, 24, 8"), Folder(101, "Sent", "20, 28, 12")}));
  }
  report::Report RunWithReport(const std::filesystem::path& db, bool bDryRun,
                               const SparePredicate* pSpare = nullptr) {
    report::ReportCollector collector;
    RunOptions options;
    options.bDryRun = bDryRun;
    options.pReport = &collector;
    options.pSpare = pSpare;
    RunSingle(db, options);
    return collector.Take();
  }
};

TEST_F(ReportTest, GroupsAndKeptIdsInBothScopes) {
  struct Case {
    std::uint8_t bSameFolder;
    bool bDryRun;
    std::vector<ExpectedGroup> groups;
  };
  const std::vector<Case> cases = {
      {1, true, {{u"($Inbox)", 4, {8}}, {u"($Inbox)", 16, {24}}, {u"Sent", 20, {12}}}},
      {0, true, {{u"($Inbox)", 4, {8, 20, 12}}, {u"($Inbox)", 16, {24, 28}}}},
      {0, false, {{u"($Inbox)", 4, {8, 20, 12}}, {u"($Inbox)", 16, {24, 28}}}},
  };
  for (const Case& c : cases) {
    s.m_bSameFolderScope = c.bSameFolder;
    s.m_bModifyOriginal = c.bDryRun ? 1 : 0;
    s.m_vecSelectedFolders.clear();
    const auto db = TwoFolders();
    const report::Report r = RunWithReport(db, c.bDryRun);
    ASSERT_EQ(r.databases.size(), 1u);
    // The source's path, also when a new file was cleaned.
    EXPECT_EQ(r.databases[0].strPath, U(db));
    EXPECT_EQ(Groups(r.databases[0]), c.groups) << int(c.bSameFolder) << c.bDryRun;
    std::filesystem::remove(db);
  }
}

TEST_F(ReportTest, JsonHoldsTheKeptDocumentsFieldsInOrder) {
  s.m_bMailBody = 0;
  s.m_bModifyOriginal = 1;
  const auto db = Db("mail.nsf", Database({Memo(4, "Report", R"J(, { "name": "Body", "type": "text",
      "value": "Line one\nline   two" })J"), Memo(8, "Report"), Folder(100, "($Inbox)", "4, 8")}));
  const auto j = nlohmann::ordered_json::parse(report::ToJson(RunWithReport(db, true)));
  const auto names = [](const nlohmann::ordered_json& o) {
    std::vector<std::string> keys;
    for (const auto& item : o.items()) keys.push_back(item.key());
    return keys;
  };
  EXPECT_EQ(names(j), (std::vector<std::string>{"format", "version", "databases"}));
  EXPECT_EQ(j["format"], "tarnwick-report");
  const auto& g = j["databases"][0]["groups"][0];
  EXPECT_EQ(names(g), (std::vector<std::string>{"folder", "key", "kind", "compared", "kept",
                                                "duplicates", "fields"}));
  EXPECT_EQ(g["kind"], "mail");
  EXPECT_EQ(g["compared"], nlohmann::ordered_json::parse(R"(["Subject","Sender","Receiver","Date","Attachments"])"));
  EXPECT_EQ(g["kept"], 4);
  EXPECT_EQ(g["duplicates"], nlohmann::ordered_json::parse("[8]"));
  EXPECT_EQ(g["key"].get<std::string>().size(), 32u);
  EXPECT_EQ(g["fields"].dump(), R"({"Subject":"Report","Sender":"ada@example.org",)"
                                R"("Receiver":"bob@example.org","Date":"2010-03-05T14:07:09",)"
                                R"("Body":"Line one line two","Attachments":""})");
}

TEST_F(ReportTest, SpareSetDisposesOnlyOfListedDuplicatesOfTheSameKeyAndPath) {
  s.m_bModifyOriginal = 1;
  const auto db = TwoFolders();
  report::Report r = RunWithReport(db, true);
  auto& groupA = r.databases[0].groups[0];
  groupA.duplicates.clear();                 // 8 is to stay
  r.databases[0].groups[1].key[0] ^= 1;      // a key that no longer fits: 24 stays
  const report::SpareSet spare(r);           // Sent's 12 may go
  const KeyDigest key(report::KeyText(groupA.key).begin(), report::KeyText(groupA.key).end());
  EXPECT_TRUE(spare.Disposes(U(db), key, 12));
  EXPECT_TRUE(spare.Disposes(U(m_tmp / "." / "mail.nsf"), key, 12));
  EXPECT_FALSE(spare.Disposes(U(db), key, 8));
  EXPECT_FALSE(spare.Disposes(U(m_tmp / "other.nsf"), key, 12));

  s.m_vecSelectedFolders.clear();
  (void)RunWithReport(db, false, &spare);
  EXPECT_EQ(DocumentIds(Dump(db)), (std::set<int>{4, 8, 16, 20, 24, 28}));
  const auto rows = RunRows();
  EXPECT_EQ(std::count(rows.begin(), rows.end(), u"Item spared:\t8"), 1);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), u"Item spared:\t24"), 1);
  // Spared documents count as saved.
  EXPECT_EQ(std::count(rows.begin(), rows.end(), Summary(4, 0)), 1);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), Summary(3, 1)), 1);
  s.m_logFile.Close();
  EXPECT_NE(ReadLog(logPath).find(u"Item spared:\t8\r\n"), std::u16string::npos);
}

TEST_F(ReportTest, ReadingRefusesWhatIsNotAReport) {
  const std::string group = R"({"key": "9E107D9D372BB6826BD81D3542A419D6", "kept": 2, "duplicates": [3]})";
  const auto wrap = [](const std::string& groups) {
    return R"({"format": "tarnwick-report", "version": 1, "databases": [{"path": "/m.nsf", "groups": [)" +
           groups + "]}]}";
  };
  EXPECT_TRUE(report::FromJson(wrap(group)).report);
  for (const std::string& bad :
       {std::string("{"), std::string(R"({"format": "nsf-json", "version": 1, "databases": []})"),
        std::string(R"({"format": "tarnwick-report", "version": 2, "databases": []})"),
        wrap(R"({"key": "XYZ", "kept": 2, "duplicates": [3]})"),
        wrap(R"({"key": "9E107D9D372BB6826BD81D3542A419D6", "kept": 2, "duplicates": [-3]})"),
        wrap(R"({"key": "9E107D9D372BB6826BD81D3542A419D6", "kept": 2, "duplicates": [4294967296]})"),
        wrap(R"({"key": "9E107D9D372BB6826BD81D3542A419D6", "duplicates": [3]})")}) {
    const report::ParsedReport parsed = report::FromJson(bad);
    EXPECT_FALSE(parsed.report) << bad;
    EXPECT_FALSE(parsed.strError.empty()) << bad;
  }
}

// A review over hand-made groups: folder, kept id, kept sender, duplicate ids.
report::Review SampleReview() {
  report::DatabaseGroups db{u"/m.nsf", {u"Inbox", u"Archive"}, {}};
  const auto group = [&](std::uint32_t folder, NOTEID kept, const std::u16string& sender,
                         std::vector<NOTEID> duplicates) {
    report::Group g;
    g.nFolder = folder;
    g.key = report::MakeKey(u"9E107D9D372BB6826BD81D3542A419D6");
    g.fields = report::Texts({u"=cmd|' /c calc'!A0", sender, u"", u"", u"", u""});
    g.kept = {kept, 10, {}};
    for (NOTEID id : duplicates) g.duplicates.push_back({id, 10, report::Texts({sender, u"x", u"", u""})});
    db.groups.push_back(g);
  };
  group(0, 10, u"zoe@example.org", {11});
  group(1, 20, u"Ada@example.org", {21, 22});
  group(0, 30, u"bob@example.org", {31});
  return report::Review(report::Report{{db}});
}

TEST(ReviewTest, ArrangingOrdersAndFiltersGroupsKeptFirst) {
  report::Review review = SampleReview();
  using A = report::Review::Arrangement;
  using O = report::Review::Order;
  struct Case {
    A arrangement;
    std::vector<NOTEID> ids;
  };
  for (const Case& c : std::vector<Case>{
           {A{}, {10, 11, 20, 21, 22, 30, 31}},
           {A{O::folder, false, u"", u"", u""}, {20, 21, 22, 10, 11, 30, 31}},
           {A{O::sender, false, u"", u"", u""}, {20, 21, 22, 30, 31, 10, 11}},
           {A{O::sender, true, u"", u"", u""}, {10, 11, 30, 31, 20, 21, 22}},
           {A{O::judged, false, u"Inbox", u"", u""}, {10, 11, 30, 31}},
           {A{O::judged, false, u"", u"ADA", u""}, {20, 21, 22}}}) {
    review.Arrange(c.arrangement);
    std::vector<NOTEID> ids;
    for (std::size_t i = 0; i < review.RowCount(); ++i) ids.push_back(review.MemberOf(review.RowAt(i)).id);
    EXPECT_EQ(ids, c.ids);
  }
}

TEST(ReviewTest, UntickedDuplicatesLeaveTheReviewedReportAndShowInTheCsv) {
  report::Review review = SampleReview();
  EXPECT_EQ(review.TickedCount(), 4u);
  review.SetTicked({1, 0}, false);  // 21
  review.SetTicked({1, -1}, false);  // a kept row cannot be ticked or unticked
  EXPECT_EQ(review.TickedCount(), 3u);
  const auto reviewed = report::FromJson(review.ToJson()).report;
  ASSERT_TRUE(reviewed);
  EXPECT_EQ(reviewed->databases[0].groups[1].duplicates.size(), 1u);
  EXPECT_EQ(reviewed->databases[0].groups[1].duplicates[0].id, 22u);
  const report::SpareSet spare(review);
  EXPECT_FALSE(spare.Disposes(u"/m.nsf", KeyDigest(u"9E107D9D372BB6826BD81D3542A419D6"), 21));
  EXPECT_TRUE(spare.Disposes(u"/m.nsf", KeyDigest(u"9E107D9D372BB6826BD81D3542A419D6"), 22));
  const std::string csv = review.ToCsv();
  EXPECT_NE(csv.find("\r\n/m.nsf,Archive,2,duplicate,no,21,Ada@example.org,x,,10,\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("/m.nsf,Inbox,1,kept,,10,zoe@example.org,'=cmd|' /c calc'!A0,,10,\r\n"),
            std::string::npos) << csv;
}

}  // namespace
