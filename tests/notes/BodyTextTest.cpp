// The body part of a mail key: text, HTML items and rich text rendered with
// its pictures exported to private files.
#include <filesystem>
#include <sys/stat.h>

#include "lnapi/RichText.h"
#include "notes/BodyText.h"
#include "notes/NotesString.h"
#include "platform/Text.h"
#include "tests/notes/NoteDbFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00\x2c", 14);

// A note whose Body holds a paragraph and the given rich-text records.
std::string RichNote(NOTEID id, const std::string& records) {
  return R"({"class":"document","noteId":)" + std::to_string(id) +
         R"(,"items":[{"name":"Subject","type":"text","value":"s"},{"name":"Body","type":"richtext","value":[{"par":["Hello"]})" +
         records + "]}]}";
}

const char kPicture[] = R"(,{"picture":"R0lGODlhAQABAAAAACw=","width":1,"height":1})";

class BodyTextTest : public testsupport::NoteDbTest {
protected:
  // One document's body as a run of its own leaves it: pictures written.
  std::u16string Body(NOTEID id) {
    const std::u16string text = HeldBody(id);
    FlushPictureFiles();
    return text;
  }
  std::u16string HeldBody(NOTEID id) {
    const LNMailMessage note = Doc(id);
    return GetBodyText(note, m_db.GetDatabaseHandle(1));
  }

  // "<index>.<hex offset>" of every picture of the id's Body items.
  std::vector<std::string> PictureAddresses(NOTEID id) {
    const LNMailMessage note = Doc(id);
    LNItem item;
    EXPECT_EQ(note.GetItem("Body", &item), LNNOERROR);
    std::string value(item.GetValueSize(), '\0');
    item.Read(0, value.size(), value.data());
    std::vector<std::string> out;
    for (const auto& p : lnapi::richtext::ListPictures(lnapi::richtext::Decode(value))) {
      char text[32];
      std::snprintf(text, sizeof text, "0%zX", p.nOffset);
      out.push_back(text);
    }
    return out;
  }

  fs::path PictureFolder() const { return m_tmp / "tmp" / "temp"; }
};

std::string Utf8(const std::u16string& text) { return TextToAnsi(text); }

}  // namespace

TEST_F(BodyTextTest, TextBodyIsItsEntriesJoined) {
  OpenDatabase(R"({"class":"document","noteId":100,"items":[
    {"name":"Body","type":"textlist","value":["first","zweite Zeile \u00e4"]}]})");
  EXPECT_EQ(Body(100), u"first;zweite Zeile \u00e4");
}

TEST_F(BodyTextTest, MissingOrOtherBodyGivesNothing) {
  OpenDatabase(R"({"class":"document","noteId":100,"items":[{"name":"Subject","type":"text","value":"s"}]},
    {"class":"document","noteId":104,"items":[{"name":"Body","type":"number","value":7}]})");
  EXPECT_EQ(Body(100), u"");
  EXPECT_EQ(Body(104), u"");
}

TEST_F(BodyTextTest, HtmlItemIsReadInBothEncodings) {
  OpenDatabase(R"({"class":"document","noteId":100,"items":[
      {"name":"Body","type":"html","value":"<p>Gr\u00fc\u00dfe \u4e2d</p>"}]},
    {"class":"document","noteId":104,"items":[
      {"name":"Body","type":"html","encoding":"8bit","value":"<p>Gr\u00fc\u00dfe \u4e2d</p>"}]})");
  EXPECT_EQ(Body(100), u"<p>Gr\u00fc\u00dfe \u4e2d</p>");
  EXPECT_EQ(Body(104), u"<p>Gr\u00fc\u00dfe \u4e2d</p>");
}

TEST_F(BodyTextTest, HtmlItemOfFourBytesOrLessGivesNothing) {
  // Two bytes of type word plus one UTF-16 unit (4 bytes) or two 8-bit ones.
  OpenDatabase(R"({"class":"document","noteId":100,"items":[{"name":"Body","type":"html","value":"a"}]},
    {"class":"document","noteId":104,"items":[{"name":"Body","type":"html","encoding":"8bit","value":"ab"}]},
    {"class":"document","noteId":108,"items":[{"name":"Body","type":"html","encoding":"8bit","value":"abc"}]})");
  EXPECT_EQ(Body(100), u"");
  EXPECT_EQ(Body(104), u"");
  EXPECT_EQ(Body(108), u"abc");
}

TEST_F(BodyTextTest, RichTextWithoutPicturesWritesNoFile) {
  OpenDatabase(RichNote(100, ""));
  const std::u16string html = Body(100);
  EXPECT_NE(html.find(u"<p>Hello</p>"), std::u16string::npos) << Utf8(html);
  EXPECT_NE(html.find(u"<html>"), std::u16string::npos);
  EXPECT_FALSE(fs::exists(PictureFolder()));
}

TEST_F(BodyTextTest, PicturesGoToPrivateFilesAndTheHtmlPointsAtThem) {
  OpenDatabase(RichNote(100, std::string(kPicture) + R"(,{"par":["between"]})" + kPicture));
  const auto addresses = PictureAddresses(100);
  ASSERT_EQ(addresses.size(), 2u);
  const std::u16string html = Body(100);
  for (const std::string& address : addresses) {
    const fs::path file = PictureFolder() / ("Body" + address + ".gif");
    ASSERT_TRUE(fs::is_regular_file(file)) << file;
    EXPECT_EQ(testsupport::ReadFile(file), kGif);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_NE(Utf8(html).find("<img src=\"" + file.string() + "\""), std::string::npos) << Utf8(html);
  }
  struct stat st {};
  ASSERT_EQ(::stat(PictureFolder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(Utf8(html).find("FieldElemFormat"), std::string::npos);
}

TEST_F(BodyTextTest, SamePictureAddressInTwoDocumentsSharesOneFile) {
  OpenDatabase(RichNote(100, kPicture) + "," + RichNote(104, kPicture));
  const std::u16string first = Body(100);
  const std::u16string second = Body(104);
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::distance(fs::directory_iterator(PictureFolder()), fs::directory_iterator()), 1);
}

TEST_F(BodyTextTest, HeldPicturesLeaveTheLastPictureOfEachNameWhenFlushed) {
  const std::string second = R"(,{"picture":"R0lGODlhAgACAAAAACw=","width":1,"height":1})";
  OpenDatabase(RichNote(100, kPicture) + "," + RichNote(104, second));
  const std::u16string html = HeldBody(100);
  (void)HeldBody(104);
  EXPECT_FALSE(fs::exists(PictureFolder()));
  FlushPictureFiles();
  const fs::path file = PictureFolder() / ("Body" + PictureAddresses(100)[0] + ".gif");
  EXPECT_NE(Utf8(html).find(file.string()), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile(file), std::string("GIF89a\x02\x00\x02\x00\x00\x00\x00,", 14));
}

TEST_F(BodyTextTest, DifferentPicturesAtTheSamePlaceGiveDifferentBodies) {
  OpenDatabase(RichNote(100, kPicture) + "," +
               RichNote(104, R"(,{"picture":"R0lGODlhAgACAAAAACw=","width":1,"height":1})"));
  // The HTML alone names each picture by its file, the same for both ...
  const auto html = [this](NOTEID id) {
    const LNMailMessage note = Doc(id);
    HtmlConversionContext ctx;
    ctx.hNote = note.GetNoteHandle(1);
    ctx.hDatabase = m_db.GetDatabaseHandle(1);
    ctx.dwNoteId = id;
    return GetBodyHtml(ctx);
  };
  EXPECT_EQ(html(100), html(104));
  // ... so the body part carries each picture's digest as well.
  const std::u16string first = Body(100);
  EXPECT_NE(first, Body(104));
  EXPECT_EQ(first.substr(first.size() - 33), u"\u001E" u"636B5BFEFE08D269BBC43E2523D28004");
}

TEST_F(BodyTextTest, AttachmentIconIsLeftAloneAndWritesNoFile) {
  OpenDatabase(RichNote(100, R"(,{"attachmentIcon":"report.pdf"})"));
  const std::u16string html = Body(100);
  EXPECT_NE(Utf8(html).find("$FILE/report.pdf?OpenElement&amp;FieldElemFormat=gif"), std::string::npos)
      << Utf8(html);
  EXPECT_FALSE(fs::exists(PictureFolder()));
}

TEST_F(BodyTextTest, PictureFileIsNeverWrittenThroughAPlantedLink) {
  OpenDatabase(RichNote(100, kPicture));
  const auto addresses = PictureAddresses(100);
  ASSERT_EQ(addresses.size(), 1u);
  fs::create_directories(PictureFolder());
  fs::permissions(PictureFolder(), fs::perms::owner_all, fs::perm_options::replace);
  const fs::path victim = m_tmp / "home" / "notes.txt";
  testsupport::WriteFile(victim, "mine");
  const fs::path file = PictureFolder() / ("Body" + addresses[0] + ".gif");
  fs::create_symlink(victim, file);

  const std::u16string html = Body(100);
  EXPECT_EQ(testsupport::ReadFile(victim), "mine");
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(testsupport::ReadFile(file), kGif);
  EXPECT_NE(Utf8(html).find(file.string()), std::string::npos);
}

TEST_F(BodyTextTest, UnwritablePictureStillRewritesTheReference) {
  OpenDatabase(RichNote(100, kPicture));
  // "temp" is a file: the folder cannot be made, the picture is not written.
  testsupport::WriteFile(PictureFolder(), "in the way");
  const std::u16string html = Body(100);
  EXPECT_NE(Utf8(html).find("<img src=\"" + PictureFolder().string() + "/Body"), std::string::npos)
      << Utf8(html);
  EXPECT_EQ(testsupport::ReadFile(PictureFolder()), "in the way");
}

TEST_F(BodyTextTest, ConversionReleasesEverythingItMade) {
  OpenDatabase(RichNote(100, kPicture));
  ASSERT_FALSE(Body(100).empty());
  // No converter or service start is left behind: the service is stopped, so
  // a converter cannot be made without starting it again.
  HTMLHANDLE h = 0;
  EXPECT_NE(HTMLCreateConverter(&h), 0);
}

TEST_F(BodyTextTest, FailingConversionGivesTheEmptyText) {
  OpenDatabase(RichNote(100, kPicture));
  HtmlConversionContext ctx;  // no note handle: the conversion cannot start
  ctx.hDatabase = m_db.GetDatabaseHandle(1);
  EXPECT_EQ(GetBodyHtml(ctx), u"");
  EXPECT_NE(ctx.wStatus, 0);
  EXPECT_EQ(ctx.hConverter, 0u);
  EXPECT_EQ(ctx.hReference, 0u);
}

// A key reads the body as UTF-8 bytes; the rendering takes a short way to
// them only where the way through UTF-16 gives the same bytes.
TEST_F(BodyTextTest, KeyBytesAreTheBodyTextAsUtf8) {
  OpenDatabase(RichNote(100, std::string(kPicture) + R"(,{"par":["Gr\u00fc\u00dfe \u4e2d \ud83d\ude00"]})") + "," +
               RichNote(104, R"(,{"par":["cut\u0000off"]})") +
               R"(,{"class":"document","noteId":112,"items":[{"name":"Body","type":"textlist","value":["a","\u00e4"]}]})");
  for (const NOTEID id : {100u, 104u, 112u}) {
    const LNMailMessage note = Doc(id);
    std::string expected;
    platform::AppendDistinctUtf8(expected, GetBodyText(note, m_db.GetDatabaseHandle(1)));
    EXPECT_FALSE(expected.empty()) << id;
    EXPECT_EQ(GetBodyKeyBytes(note, m_db.GetDatabaseHandle(1)), expected) << id;
  }
  FlushPictureFiles();
}
