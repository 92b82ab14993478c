// Item values as the engine reads them, and what a closed database answers.
#include "lnapi/store/ItemCodec.h"
#include "tests/lnapi/LnapiFixture.h"

namespace {

const char* const kAll = R"j(,{"class": "view", "noteId": 400, "name": "($All)", "select": "all"})j";

std::string ValueOf(const LNDocument& doc, const char* name) {
  LNItem item;
  EXPECT_EQ(doc.GetItem(name, &item), LNNOERROR) << name;
  std::string bytes(item.GetValueSize(), '\0');
  EXPECT_EQ(item.Read(0, bytes.size(), bytes.data()), bytes.size());
  return bytes;
}

}  // namespace

TEST_F(LnapiTest, HtmlItemsStartWithTheirTypeWordThenTheText) {
  Open(Doc(4, R"j({"name": "Wide", "type": "html", "value": "<b>\u00e9</b>"},)j"
              R"j({"name": "Narrow", "type": "html", "value": "<b>\u00e9</b>", "encoding": "8bit"})j") +
       kAll);
  LNDocument doc = OpenDoc(4);
  const std::string wide = ValueOf(doc, "Wide");
  EXPECT_EQ(wide, std::string("\x15\0<\0b\0>\0\xe9\0<\0/\0b\0>\0", 18));
  EXPECT_EQ(ValueOf(doc, "Narrow"), std::string("\x15\0<b>\xc3\xa9</b>", 11));
  LNItem item;
  ASSERT_EQ(doc.GetItem("Wide", &item), LNNOERROR);
  EXPECT_EQ(item.GetType(), TYPE_HTML);
  char part[4] = {};
  EXPECT_EQ(item.Read(16, 4, part), 2u);  // reads stop at the end of the value
  EXPECT_EQ(item.Read(18, 4, part), 0u);
}

TEST_F(LnapiTest, TextReadingGivesEntriesOfTextItemsOnly) {
  Open(Doc(4, R"j({"name": "List", "type": "textlist", "value": ["a", "", "c"]},)j"
              R"j({"name": "Count", "type": "number", "value": 3},)j"
              R"j({"name": "Odd", "type": "raw", "code": 1281, "base64": "/////w=="},)j"
              R"j({"name": "List", "type": "text", "value": "second of the name"})j") +
       kAll);
  LNDocument doc = OpenDoc(4);
  LNText text;
  ASSERT_EQ(doc.GetItem("list", &text), LNNOERROR);  // the first item of the name
  LNString joined;
  text.GetText(&joined, ";");
  EXPECT_EQ(joined.Bytes(), "a;;c");
  ASSERT_EQ(doc.GetItem("Count", &text), LNNOERROR);
  EXPECT_EQ(text.GetCount(), 0);
  EXPECT_EQ(lnapi::store::DecodeNumber(ValueOf(doc, "Count")), 3.0);
  EXPECT_EQ(doc.GetItem("Odd", &text), LNERR_BAD_DATA);  // a list that does not decode
  EXPECT_EQ(text.GetCount(), 0);
  EXPECT_EQ(doc.GetItem("Missing", &text), LNERR_NOT_FOUND);
  LNDatetime dt;
  EXPECT_EQ(doc.GetItem("Count", &dt), LNERR_BAD_DATA);
  EXPECT_TRUE(dt.IsNull());
}

TEST_F(LnapiTest, DocumentCopiesIntoAnotherDatabase) {
  Open(Doc(4, Text("Subject", "travels")) + kAll);
  const std::string other = (m_tmp / "other.nsf").string();
  testsupport::MakeDatabase(other, std::string(R"j({"notes": [{"class": "document", "noteId": 96})j") + kAll + "]}");
  LNDatabase target;
  m_session.GetDatabase(other.c_str(), &target);
  target.Open();
  LNDocument copy;
  ASSERT_EQ(target.CreateDocument(OpenDoc(4), &copy), LNNOERROR);
  EXPECT_EQ(copy.GetNoteID(), 404u);
  // A document of one database never stands for a note of another.
  LNDocument foreign = OpenDoc(4);
  EXPECT_EQ(target.DeleteDocument(copy), LNNOERROR);
  EXPECT_EQ(m_db.DeleteDocument(copy), LNERR_BAD_ARGUMENT);
  LNViewFolder folder;
  ASSERT_EQ(target.CreateFolder("F", &folder), LNNOERROR);
  EXPECT_EQ(folder.FolderAddDocument(foreign), LNERR_BAD_ARGUMENT);
  target.Close();
  EXPECT_NE(testsupport::DumpDatabase(other).find("travels"), std::string::npos);
}

TEST_F(LnapiTest, ClosedDatabaseRefusesWorkByName) {
  Open(Doc(4, "") + kAll);
  m_db.Close();
  EXPECT_FALSE(m_db.IsOpen());
  EXPECT_EQ(m_db.GetDatabaseHandle(1), 0u);
  LNViewFolderArray list;
  try {
    m_db.GetViewFolders(&list, 1);
    FAIL() << "listing a closed database";
  } catch (LNSTATUS status) {
    EXPECT_EQ(lnapi::ErrorCode(status), LNERR_NOT_OPEN);
    EXPECT_EQ(LNGetErrorMessageText(status), "The database " + m_strPath + " is not open");
  }
  // Reopening the same object works, and the size is the file's.
  m_db.Open();
  EXPECT_EQ(m_db.GetSize(), std::filesystem::file_size(m_strPath));
  EXPECT_EQ(m_db.GetTitle().Bytes(), "db.nsf");
  EXPECT_EQ(m_db.GetViewFolders(&list, 1), LNNOERROR);
  EXPECT_EQ(list.GetCount(), 1);
}

TEST(ItemCodec, TimesMustBeRealDatesAndTimes) {
  using lnapi::store::ParseTime;
  EXPECT_TRUE(ParseTime("2012-02-29T23:59:59"));
  EXPECT_TRUE(ParseTime("2012-02-29T23:59:59.99"));
  for (const char* bad : {"2011-02-29T00:00:00", "2011-13-01T00:00:00", "2011-01-01T24:00:00",
                          "2011-01-01 00:00:00", "2011-01-01T00:00", "2011-01-01T00:00:00.5",
                          "0000-01-01T00:00:00", "2011-1-01T00:00:00"})
    EXPECT_FALSE(ParseTime(bad)) << bad;
  const auto t = ParseTime("2010-03-05T14:07:09.25");
  ASSERT_TRUE(t);
  EXPECT_EQ(lnapi::store::DecodeTime(lnapi::store::EncodeTime(*t)), t);
  EXPECT_EQ(lnapi::store::FormatTime(*t), "2010-03-05T14:07:09.25");
}

TEST(ItemCodec, MalformedListsAndAttachmentsAreRefused) {
  using namespace lnapi::store;
  EXPECT_EQ(DecodeTextList(EncodeTextList({"x", "yz"})), (std::vector<std::string>{"x", "yz"}));
  EXPECT_FALSE(DecodeTextList(""));
  EXPECT_FALSE(DecodeTextList(std::string("\x01\0\0\0\x05\0\0\0abc", 11)));   // entry runs past the end
  EXPECT_FALSE(DecodeTextList(std::string("\x00\0\0\0x", 5)));                // bytes left over
  EXPECT_FALSE(DecodeTextList(std::string("\xff\xff\xff\xff", 4)));          // huge count
  EXPECT_FALSE(DecodeAttachment(std::string("\x09\0\0\0name", 8)));
  const auto a = DecodeAttachment(EncodeAttachment({"a.txt", "data"}));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->strFileName, "a.txt");
  EXPECT_EQ(a->data, "data");
}
