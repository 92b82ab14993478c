// The core API's HTML converter of the Notes stand-in.
#include <string>
#include <vector>

#include "lnapi/RichText.h"
#include "lnapi/html/HtmlApi.h"
#include "tests/notes/NoteDbFixture.h"

namespace {

const char kRichNote[] = R"({"class":"document","noteId":100,"items":[
  {"name":"Form","type":"text","value":"Memo"},
  {"name":"Subject","type":"text","value":"Rich"},
  {"name":"Body","type":"richtext","value":[
    {"par":["Plain & ", {"text":"bold","bold":true}, " ", {"text":"all","bold":true,"italic":true,"underline":true}]},
    {"break":true},
    {"picture":"R0lGODlhAQABAAAAACw=","width":1,"height":1},
    {"table":[["a","b"],["c","d"]]},
    {"section":"Details","body":[{"par":["hidden until expanded"]}]},
    {"link":"https://example.org/?a=1","text":"our site"},
    {"attachmentIcon":"report.pdf"}]}]})";

const std::string kGif("GIF89a\x01\x00\x01\x00\x00\x00\x00\x2c", 14);

class HtmlConverterTest : public testsupport::NoteDbTest {
protected:
  HtmlConverterTest() { EXPECT_EQ(HTMLProcessInitialize(), 0); }
  ~HtmlConverterTest() override { (void)HTMLProcessTerminate(); }

  // Converts note id with the given options; returns the converter.
  HTMLHANDLE Convert(NOTEID id, std::vector<const char*> options) {
    m_note = Doc(id);
    HTMLHANDLE h = 0;
    EXPECT_EQ(HTMLCreateConverter(&h), 0);
    options.push_back(nullptr);
    EXPECT_EQ(HTMLSetHTMLOptions(h, options.data()), 0);
    EXPECT_EQ(HTMLConvertNote(h, m_db.GetDatabaseHandle(1), m_note.GetNoteHandle(1), 0, nullptr), 0);
    return h;
  }

  static std::string Text(HTMLHANDLE h) {
    DWORD length = 0;
    EXPECT_EQ(HTMLGetProperty(h, HTMLAPI_PROP_TEXTLENGTH, &length), 0);
    std::string text(length, '\0');
    DWORD used = length;
    EXPECT_EQ(HTMLGetText(h, 0, &used, text.data()), 0);
    text.resize(used);
    return text;
  }

  // Offset of the first picture record of the note's first Body item.
  std::size_t PictureOffset() {
    LNItem item;
    EXPECT_EQ(m_note.GetItem("Body", &item), LNNOERROR);
    std::string value(item.GetValueSize(), '\0');
    item.Read(0, value.size(), value.data());
    const auto records = lnapi::richtext::Decode(value);
    const auto pictures = lnapi::richtext::ListPictures(records);
    return pictures.empty() ? 0 : pictures.front().nOffset;
  }

  LNMailMessage m_note;
};

}  // namespace

TEST_F(HtmlConverterTest, RendersTheRichTextRecords) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {"ForceSectionExpand=1", "RowAtATimeTableAlt=1"});
  const std::string html = Text(h);
  EXPECT_NE(html.find("<p>Plain &amp; <b>bold</b> <b><i><u>all</u></i></b></p>"), std::string::npos) << html;
  EXPECT_NE(html.find("<br>"), std::string::npos);
  EXPECT_NE(html.find("<td>a</td><td>b</td>"), std::string::npos);
  EXPECT_NE(html.find("<td>c</td><td>d</td>"), std::string::npos);
  EXPECT_NE(html.find("Details"), std::string::npos);
  EXPECT_NE(html.find("hidden until expanded"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"https://example.org/?a=1\">our site</a>"), std::string::npos);
  EXPECT_NE(html.find("alt=\"report.pdf\""), std::string::npos);
  EXPECT_EQ(HTMLDestroyConverter(h), 0);
}

TEST_F(HtmlConverterTest, OptionsExpandSectionsAndShowEveryTableRow) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {});
  const std::string html = Text(h);
  EXPECT_NE(html.find("Details"), std::string::npos);
  EXPECT_EQ(html.find("hidden until expanded"), std::string::npos);
  EXPECT_NE(html.find("<td>a</td>"), std::string::npos);
  EXPECT_EQ(html.find("<td>c</td>"), std::string::npos);
  (void)HTMLDestroyConverter(h);
}

TEST_F(HtmlConverterTest, PictureReferencesNameFieldAndOffset) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {"ForceSectionExpand=1"});
  DWORD count = 0;
  ASSERT_EQ(HTMLGetProperty(h, HTMLAPI_PROP_NUMREFS, &count), 0);
  ASSERT_EQ(count, 3u);  // the picture, the link, the attachment icon

  MEMHANDLE hRef = 0;
  HTMLAPIReference* ref = nullptr;
  ASSERT_EQ(HTMLGetReference(h, 0, &hRef), 0);
  ASSERT_EQ(HTMLLockAndFixupReference(hRef, &ref), 0);
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->RefType, HTMLAPI_REF_IMG);
  ASSERT_GE(ref->NumTargets, 2u);
  const auto& field = ref->pTargets[ref->NumTargets - 2];
  const auto& offset = ref->pTargets[ref->NumTargets - 1];
  EXPECT_EQ(field.AddressableType, UAT_Field);
  EXPECT_STREQ(field.pszValue, "Body");
  EXPECT_EQ(offset.AddressableType, UAT_FieldOffset);
  char expected[32];
  std::snprintf(expected, sizeof expected, "0.%zX", PictureOffset());
  EXPECT_STREQ(offset.pszValue, expected);
  EXPECT_EQ(OSUnlock(hRef), 0);
  EXPECT_EQ(OSMemFree(hRef), 0);
  // A freed handle is gone for good.
  EXPECT_NE(HTMLLockAndFixupReference(hRef, &ref), 0);
  EXPECT_NE(OSMemFree(hRef), 0);

  ASSERT_EQ(HTMLGetReference(h, 1, &hRef), 0);
  ASSERT_EQ(HTMLLockAndFixupReference(hRef, &ref), 0);
  EXPECT_EQ(ref->RefType, HTMLAPI_REF_HREF);
  (void)OSUnlock(hRef);
  (void)OSMemFree(hRef);
  EXPECT_NE(HTMLGetReference(h, 3, &hRef), 0);
  (void)HTMLDestroyConverter(h);
}

TEST_F(HtmlConverterTest, SettingReferenceTextRewritesTheHtml) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {});
  ASSERT_EQ(HTMLSetReferenceText(h, 0, "/home/me/temp/Body010.gif"), 0);
  const std::string html = Text(h);
  EXPECT_NE(html.find("<img src=\"/home/me/temp/Body010.gif\""), std::string::npos) << html;
  EXPECT_EQ(html.find("FieldElemFormat"), html.rfind("FieldElemFormat"));  // only the icon's is left
  EXPECT_NE(HTMLSetReferenceText(h, 9, "x"), 0);
  (void)HTMLDestroyConverter(h);
}

TEST_F(HtmlConverterTest, PictureConvertsToItsGifBytesAndAWrongOffsetFails) {
  OpenDatabase(kRichNote);
  m_note = Doc(100);
  const DHANDLE hDb = m_db.GetDatabaseHandle(1);
  const DHANDLE hNote = m_note.GetNoteHandle(1);
  HTMLHANDLE h = 0;
  ASSERT_EQ(HTMLCreateConverter(&h), 0);
  const auto offset = static_cast<DWORD>(PictureOffset());
  ASSERT_EQ(HTMLConvertImage(h, hDb, hNote, "Body", 0, offset), 0);
  EXPECT_EQ(Text(h), kGif);
  EXPECT_NE(HTMLConvertImage(h, hDb, hNote, "Body", 0, offset + 1), 0);
  EXPECT_NE(HTMLConvertImage(h, hDb, hNote, "Body", 1, offset), 0);
  EXPECT_NE(HTMLConvertImage(h, hDb, hNote, "Subject", 0, 0), 0);
  EXPECT_NE(HTMLConvertImage(h, hDb, hNote, "", 0, offset), 0);
  EXPECT_NE(HTMLConvertImage(h, hDb, 0, "Body", 0, offset), 0);
  (void)HTMLDestroyConverter(h);
}

TEST_F(HtmlConverterTest, DestroyedConverterFailsWithAStatus) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {});
  ASSERT_EQ(HTMLDestroyConverter(h), 0);
  DWORD value = 0;
  char buffer[8];
  DWORD length = sizeof buffer;
  MEMHANDLE hRef = 0;
  const char* const noOptions[] = {nullptr};
  EXPECT_NE(HTMLGetProperty(h, HTMLAPI_PROP_TEXTLENGTH, &value), 0);
  EXPECT_NE(HTMLGetText(h, 0, &length, buffer), 0);
  EXPECT_NE(HTMLGetReference(h, 0, &hRef), 0);
  EXPECT_NE(HTMLSetReferenceText(h, 0, "x"), 0);
  EXPECT_NE(HTMLSetHTMLOptions(h, noOptions), 0);
  EXPECT_NE(HTMLConvertNote(h, m_db.GetDatabaseHandle(1), m_note.GetNoteHandle(1), 0, nullptr), 0);
  EXPECT_NE(HTMLDestroyConverter(h), 0);
}

TEST_F(HtmlConverterTest, TextIsReadFromAnOffsetWithinItsLength) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {});
  const std::string html = Text(h);
  char buffer[16] = {};
  DWORD length = 5;
  ASSERT_EQ(HTMLGetText(h, 2, &length, buffer), 0);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(std::string(buffer, 5), html.substr(2, 5));
  length = sizeof buffer;
  ASSERT_EQ(HTMLGetText(h, static_cast<DWORD>(html.size()) - 3, &length, buffer), 0);
  EXPECT_EQ(length, 3u);
  length = 1;
  EXPECT_NE(HTMLGetText(h, static_cast<DWORD>(html.size()) + 1, &length, buffer), 0);
  (void)HTMLDestroyConverter(h);
}

TEST_F(HtmlConverterTest, ConvertersNeedTheServiceAndItsLastEndFreesThem) {
  OpenDatabase(kRichNote);
  const HTMLHANDLE h = Convert(100, {});
  MEMHANDLE hRef = 0;
  ASSERT_EQ(HTMLGetReference(h, 0, &hRef), 0);
  ASSERT_EQ(HTMLProcessTerminate(), 0);  // the fixture's start
  DWORD value = 0;
  EXPECT_NE(HTMLGetProperty(h, HTMLAPI_PROP_TEXTLENGTH, &value), 0);
  EXPECT_NE(OSMemFree(hRef), 0);
  HTMLHANDLE other = 0;
  EXPECT_NE(HTMLCreateConverter(&other), 0);
  EXPECT_EQ(other, 0u);
  ASSERT_EQ(HTMLProcessInitialize(), 0);  // for the fixture's end
}

TEST_F(HtmlConverterTest, MalformedRichTextFailsTheConversion) {
  OpenDatabase(R"({"class":"document","noteId":100,"items":[
    {"name":"Body","type":"raw","code":1,"base64":"AwAAAP8="}]})");
  m_note = Doc(100);
  HTMLHANDLE h = 0;
  ASSERT_EQ(HTMLCreateConverter(&h), 0);
  EXPECT_NE(HTMLConvertNote(h, m_db.GetDatabaseHandle(1), m_note.GetNoteHandle(1), 0, nullptr), 0);
  DWORD value = 0;
  EXPECT_NE(HTMLGetProperty(h, HTMLAPI_PROP_TEXTLENGTH, &value), 0);
  (void)HTMLDestroyConverter(h);
}
