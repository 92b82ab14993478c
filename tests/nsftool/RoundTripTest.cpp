// nsftool import and dump: every construct of nsf-json comes back as it went
// in, and bad input is refused with the place named and no file written.
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"

namespace {

using json = nlohmann::json;
namespace fs = std::filesystem;

// Canonical form: every default spelled out, so the dump must equal it.
const char* const kEveryConstruct = R"j({
  "format": "nsf-json", "version": 1, "title": "Mail - Ada Example", "softDeletions": false,
  "notes": [
    {"class": "folder", "noteId": 8, "created": "2010-01-01T00:00:00", "name": "($Inbox)", "entries": [2310, 2314]},
    {"class": "view", "noteId": 12, "created": "2010-01-01T00:00:00", "name": "($All)", "viewType": 0, "select": "all"},
    {"class": "view", "noteId": 16, "created": "2010-01-01T00:00:00", "name": "($Sent)", "viewType": 0, "select": {"hasItem": "PostedDate"}},
    {"class": "view", "noteId": 20, "created": "2010-01-01T00:00:00", "name": "Mail", "viewType": 2, "select": {"form": ["Memo", "Reply"]}},
    {"class": "view", "noteId": 24, "created": "2010-01-01T00:00:00", "name": "Picked", "viewType": 0, "select": {"entries": [2310, 2314]}},
    {"class": "folder", "noteId": 28, "created": "2010-01-01T00:00:00", "name": "Projects\\2019", "entries": []},
    {"class": "document", "noteId": 2310, "created": "2010-03-05T14:07:09", "items": [
      {"name": "Form", "type": "text", "value": "Memo"},
      {"name": "Subject", "type": "text", "value": "Quarterly report \u00e9\u4e00\ud83d\ude00"},
      {"name": "SendTo", "type": "textlist", "value": ["bob@example.org", "cy@example.org"]},
      {"name": "CopyTo", "type": "textlist", "value": []},
      {"name": "PostedDate", "type": "time", "value": "2010-03-05T14:07:09.25"},
      {"name": "Size", "type": "number", "value": 42},
      {"name": "Ratio", "type": "number", "value": 0.5},
      {"name": "Body", "type": "richtext", "value": [
        {"par": ["Plain text, then ", {"text": "bold", "bold": true}, {"text": "all", "bold": true, "italic": true, "underline": true}]},
        {"break": true},
        {"picture": "R0lGODlhAQABAAAAACw=", "width": 1, "height": 1},
        {"table": [["a", "b"], ["c", "d"]]},
        {"section": "Details", "body": [{"par": ["hidden until expanded"]}, {"section": "Inner", "body": []}]},
        {"link": "https://example.org/", "text": "our site"},
        {"attachmentIcon": "report.pdf"}]},
      {"name": "Body", "type": "richtext", "value": [{"par": []}]},
      {"name": "$FILE", "type": "attachment", "fileName": "report.pdf", "data": "JVBERi0="},
      {"name": "$FILE", "type": "attachment", "fileName": "big.bin", "size": 70000},
      {"name": "$FILE", "type": "attachment", "fileName": "empty.txt", "data": ""}]},
    {"class": "document", "noteId": 2314, "created": "2010-03-06T08:00:00", "items": [
      {"name": "Form", "type": "text", "value": "Reply"},
      {"name": "Body", "type": "html", "value": "<p>caf\u00e9</p>"},
      {"name": "Alt", "type": "html", "value": "<p>caf\u00e9</p>", "encoding": "8bit"},
      {"name": "Odd", "type": "raw", "code": 1536, "base64": "AAEC"},
      {"name": "Bad", "type": "raw", "code": 1280, "base64": "/w=="}]},
    {"class": "document", "noteId": 2318, "created": "2010-03-07T08:00:00", "items": []}
  ],
  "trash": [2318],
  "stubs": [3000]
})j";

class NsftoolTest : public testsupport::TempDirTest {
protected:
  fs::path Db(const char* name = "db.nsf") const { return m_tmp / name; }

  // Runs nsftool; returns its exit status, standard error in *err.
  int Run(const std::string& args, std::string* err = nullptr) {
    const fs::path errFile = m_tmp / "stderr.txt";
    const std::string command =
        testsupport::ToolPath("nsftool").string() + " " + args + " >/dev/null 2>" + errFile.string();
    const int status = std::system(command.c_str());
    if (err) *err = testsupport::ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

}  // namespace

TEST_F(NsftoolTest, DumpGivesBackEveryConstructAsImported) {
  testsupport::MakeDatabase(Db(), kEveryConstruct);
  const std::string dump = testsupport::DumpDatabase(Db());
  EXPECT_EQ(json::parse(dump), json::parse(kEveryConstruct)) << dump;
  // A second round trip is byte-for-byte stable.
  testsupport::MakeDatabase(Db("again.nsf"), dump);
  EXPECT_EQ(testsupport::DumpDatabase(Db("again.nsf")), dump);
}

TEST_F(NsftoolTest, NotesWithoutIdsGetTheNextMultipleOfFour) {
  testsupport::MakeDatabase(Db(), R"j({"notes": [
    {"class": "document", "noteId": 10},
    {"class": "document"},
    {"class": "folder", "name": "F"},
    {"class": "document", "noteId": 16}]})j");
  const json dump = json::parse(testsupport::DumpDatabase(Db()));
  std::vector<unsigned> ids;
  for (const auto& note : dump["notes"]) ids.push_back(note["noteId"]);
  // 12 follows 10; 16 is named later, so the folder skips it.
  EXPECT_EQ(ids, (std::vector<unsigned>{10, 12, 16, 20}));
  EXPECT_EQ(dump["title"], "db.nsf");
  EXPECT_EQ(dump["softDeletions"], true);
}

TEST_F(NsftoolTest, BadInputNamesThePlaceAndWritesNoFile) {
  const std::pair<const char*, const char*> cases[] = {
      {R"j({"notes": [{"class": "document", "noteId": 4, "items": [{"name": "A", "type": "blob", "value": 1}]}]})j",
       "notes[0].items[0].type: unknown type \"blob\""},
      {R"j({"notes": [{"class": "document", "noteId": 4}, {"class": "document", "noteId": 4}]})j",
       "notes[1].noteId: duplicate note id 4"},
      {R"j({"notes": [{"class": "folder", "name": "F", "entries": [8]}]})j",
       "notes[0].entries[0]: note id 8 names no document"},
      {R"j({"notes": [{"class": "document", "noteId": -4}]})j", "notes[0].noteId"},
      {R"j({"notes": [{"class": "document", "items": [{"name": "T", "type": "time", "value": "2010-02-30T00:00:00"}]}]})j",
       "notes[0].items[0].value"},
      {R"j({"notes": [{"class": "document", "items": [{"name": "B", "type": "richtext", "value": [{"par": ["a"]}, {"wobble": 1}]}]}]})j",
       "notes[0].items[0].value[1]: unknown rich-text record"},
      {R"j({"notes": [{"class": "gadget"}]})j", "notes[0].class: unknown class"},
      {"{\"notes\": [\n  {\"class\": \"document\",,}]}", "line 2, column 24: malformed JSON"},
      {"{\"notes\": [],\n \"title\": 1e999}", "line 2, column 15: malformed JSON (number overflow"},
  };
  for (const auto& [text, place] : cases) {
    testsupport::WriteFile(m_tmp / "in.json", text);
    std::string err;
    EXPECT_EQ(Run("import " + Db().string() + " " + (m_tmp / "in.json").string(), &err), 2) << text;
    EXPECT_NE(err.find(place), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(Db())) << text;
  }
  // Nothing is left beside the target either.
  for (const auto& entry : fs::directory_iterator(m_tmp.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind("db.nsf", 0), std::string::npos) << entry.path();
}

TEST_F(NsftoolTest, ImportRefusesAnExistingTargetUnlessForced) {
  testsupport::WriteFile(m_tmp / "in.json", R"j({"title": "new", "notes": []})j");
  testsupport::WriteFile(Db(), "precious");
  std::string err;
  EXPECT_NE(Run("import " + Db().string() + " " + (m_tmp / "in.json").string(), &err), 0);
  EXPECT_NE(err.find("exists"), std::string::npos) << err;
  EXPECT_EQ(testsupport::ReadFile(Db()), "precious");
  EXPECT_EQ(Run("import --force " + Db().string() + " " + (m_tmp / "in.json").string()), 0);
  const json dumped = json::parse(testsupport::DumpDatabase(Db()));
  EXPECT_EQ(dumped["title"], "new");
  EXPECT_TRUE(dumped["notes"].empty());  // an empty notes list is an empty database, not a failure
}

TEST_F(NsftoolTest, DumpOfANonDatabaseFailsWithAClearMessage) {
  testsupport::WriteFile(m_tmp / "notes.txt", "just some text, long enough to look like a header......."
                                                 "..............................................");
  std::string err;
  EXPECT_EQ(Run("dump " + (m_tmp / "notes.txt").string(), &err), 1);
  EXPECT_NE(err.find("notes.txt: file is not a Tarnwick database"), std::string::npos) << err;
  EXPECT_EQ(Run("dump " + (m_tmp / "missing.nsf").string(), &err), 1);
  EXPECT_NE(err.find("missing.nsf: the file does not exist"), std::string::npos) << err;
  EXPECT_EQ(Run("frobnicate", &err), 2);
}

TEST_F(NsftoolTest, DumpRefusesANameThatIsNotUtf8NamingNoteAndItem) {
  testsupport::WriteFile(m_tmp / "in.json", R"j({"notes": [{"class": "document", "noteId": 4, "items": [
      {"name": "Form", "type": "text", "value": "Memo"}, {"name": "Subject", "type": "text", "value": "x"}]}]})j");
  ASSERT_EQ(Run("import " + Db().string() + " " + (m_tmp / "in.json").string()), 0);
  sqlite3* raw = nullptr;  // damage the stored name as a broken disk would
  ASSERT_EQ(sqlite3_open(Db().c_str(), &raw), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(raw, "UPDATE items SET name = CAST(X'5375E9' AS TEXT) WHERE name = 'Subject'", nullptr,
                         nullptr, nullptr), SQLITE_OK);
  sqlite3_close(raw);
  std::string err;
  EXPECT_EQ(Run("dump " + Db().string(), &err), 1);
  EXPECT_NE(err.find("db.nsf: note 4, item 1 \"Su\\xE9\": the name is not UTF-8 text"), std::string::npos) << err;
}

TEST_F(NsftoolTest, CreateMakesAnEmptyDatabaseAndImportReadsStandardInput) {
  ASSERT_EQ(Run("create --title 'Empty one' --no-soft-deletions " + Db().string()), 0);
  const json empty = json::parse(testsupport::DumpDatabase(Db()));
  EXPECT_EQ(empty["title"], "Empty one");
  EXPECT_EQ(empty["softDeletions"], false);
  EXPECT_TRUE(empty["notes"].empty());
  testsupport::WriteFile(m_tmp / "in.json", R"j({"notes": [{"class": "folder", "name": "Piped"}]})j");
  ASSERT_EQ(Run("import " + Db("piped.nsf").string() + " - <" + (m_tmp / "in.json").string()), 0);
  EXPECT_EQ(json::parse(testsupport::DumpDatabase(Db("piped.nsf")))["notes"][0]["name"], "Piped");
}
