// The rich-text codec: records survive encoding, pictures are addressed by
// their offset, and malformed bytes are refused without harm.
#include <random>

#include <gtest/gtest.h>

#include "lnapi/CoreHandles.h"
#include "lnapi/RichText.h"
#include "tests/lnapi/LnapiFixture.h"

namespace {

using namespace lnapi::richtext;

Record Paragraph(std::vector<Run> runs) {
  Record r;
  r.kind = RecordKind::paragraph;
  r.vecRuns = std::move(runs);
  return r;
}

Record Picture(std::string gif, std::uint16_t w, std::uint16_t h) {
  Record r;
  r.kind = RecordKind::picture;
  r.gif = std::move(gif);
  r.nWidth = w;
  r.nHeight = h;
  return r;
}

std::vector<Record> Sample() {
  Record section;
  section.kind = RecordKind::section;
  section.strTitle = "Details";
  section.vecBody = {Paragraph({{"inside"}}), Picture("GIF89a-inner", 3, 4)};
  Record table;
  table.kind = RecordKind::table;
  table.vecRows = {{"a", "b"}, {"c"}};
  Record link;
  link.kind = RecordKind::link;
  link.strUrl = "https://example.org/";
  link.strText = "site";
  Record icon;
  icon.kind = RecordKind::attachmentIcon;
  icon.strFileName = "a.pdf";
  Record lineBreak;
  lineBreak.kind = RecordKind::lineBreak;
  return {Paragraph({{"plain"}, {"bold", true}, {"all", true, true, true}}), Picture("GIF89a", 1, 2),
          lineBreak, table, section, link, icon};
}

LNSTATUS DecodeStatus(std::string_view bytes) {
  try {
    (void)Decode(bytes);
    return LNNOERROR;
  } catch (LNSTATUS status) {
    return status;
  }
}

}  // namespace

TEST(RichText, RecordsSurviveEncoding) {
  const auto records = Sample();
  EXPECT_EQ(Decode(Encode(records)), records);
  EXPECT_TRUE(Decode("").empty());
}

TEST(RichText, PicturesAreListedWithTheirOffsetInTheValue) {
  const std::string bytes = Encode(Sample());
  const auto records = Decode(bytes);
  const auto pictures = ListPictures(records);
  ASSERT_EQ(pictures.size(), 2u);
  // The first paragraph takes 5 + 4 + (1+4+5) + (1+4+4) + (1+4+3) = 36 bytes.
  EXPECT_EQ(pictures[0].nOffset, 0x24u);
  EXPECT_EQ(pictures[0].pRecord->gif, "GIF89a");
  // Each offset points at a picture record's kind byte, nested ones too.
  for (const auto& p : pictures) EXPECT_EQ(bytes[p.nOffset], static_cast<char>(RecordKind::picture));
  EXPECT_EQ(pictures[1].pRecord->gif, "GIF89a-inner");
  EXPECT_GT(pictures[1].nOffset, pictures[0].nOffset);
}

TEST(RichText, MalformedBytesAreRefusedWithBadDataStatus) {
  const std::string good = Encode(Sample());
  // Cut anywhere inside a record: refused.
  for (std::size_t n : {std::size_t{1}, std::size_t{4}, std::size_t{7}, good.size() - 1}) {
    const LNSTATUS status = DecodeStatus(std::string_view(good).substr(0, n));
    EXPECT_EQ(lnapi::ErrorCode(status), LNERR_BAD_DATA) << n;
    EXPECT_NE(LNGetErrorMessageText(status).find("Malformed rich text"), std::string::npos);
  }
  EXPECT_EQ(lnapi::ErrorCode(DecodeStatus(std::string("\x09\0\0\0\0", 5))), LNERR_BAD_DATA);
  // A paragraph claiming four billion runs in a few bytes allocates nothing.
  EXPECT_EQ(lnapi::ErrorCode(DecodeStatus(std::string("\x01\x04\0\0\0\xff\xff\xff\xff", 9))), LNERR_BAD_DATA);
  // Sections nested deeper than the limit.
  std::vector<Record> nested;
  for (int i = 0; i <= kMaxSectionDepth + 1; ++i) {
    Record s;
    s.kind = RecordKind::section;
    s.vecBody = std::move(nested);
    nested = {s};
  }
  EXPECT_EQ(lnapi::ErrorCode(DecodeStatus(Encode(nested))), LNERR_BAD_DATA);
}

TEST(RichText, RandomAndMutatedBytesNeverCrashTheDecoder) {
  std::mt19937 random(20240611);
  const std::string good = Encode(Sample());
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    if (round % 3 == 0) {
      bytes.resize(random() % 64);
      for (char& c : bytes) c = static_cast<char>(random() % 8 < 5 ? random() % 8 : random());
    } else {
      bytes = good;
      for (int k = 1 + random() % 4; k > 0; --k) bytes[random() % bytes.size()] = static_cast<char>(random());
      if (round % 3 == 2) bytes.resize(random() % bytes.size());
    }
    const LNSTATUS status = DecodeStatus(bytes);
    if (status != LNNOERROR) {
      EXPECT_EQ(lnapi::ErrorCode(status), LNERR_BAD_DATA);
      ++refused;
    }
  }
  EXPECT_GT(refused, 1000);
}

TEST_F(LnapiTest, NoteHandleGivesTheItemsInOrderWhileOpen) {
  Open(Doc(4, Text("Form", "Memo") + "," +
              R"j({"name": "Body", "type": "richtext", "value": [{"par": ["x"]}]},)j" + Text("Body", "tail")) +
       R"j(,{"class": "view", "noteId": 400, "name": "($All)", "select": "all"})j");
  LNDocument doc = OpenDoc(4);
  const DHANDLE hDb = m_db.GetDatabaseHandle(1);
  const DHANDLE hNote = doc.GetNoteHandle(1);
  ASSERT_NE(hDb, 0u);
  ASSERT_NE(hNote, 0u);
  EXPECT_NE(hDb, hNote);
  const auto items = lnapi::core::GetNoteItems(hDb, hNote);
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 3u);
  EXPECT_EQ((*items)[1].strName, "Body");
  EXPECT_EQ((*items)[1].wType, TYPE_COMPOSITE);
  EXPECT_EQ(Decode((*items)[1].value).at(0).vecRuns.at(0).strText, "x");
  EXPECT_EQ((*items)[2].value, "tail");
  EXPECT_EQ(lnapi::core::GetNoteIdOfHandle(hNote), 4u);
  EXPECT_FALSE(lnapi::core::GetNoteItems(hDb + 1000, hNote));
  EXPECT_FALSE(lnapi::core::GetNoteItems(hNote, hDb));
  doc.Close();
  std::vector<lnapi::core::NoteItem> none;
  EXPECT_EQ(lnapi::core::ReadNoteItems(hDb, hNote, &none), LNERR_INVALID_HANDLE);
  m_db.Close();
  EXPECT_FALSE(lnapi::core::GetNoteIdOfHandle(0));
}
