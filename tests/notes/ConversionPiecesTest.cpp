// The pieces of the body conversion: translation in chunks, picture
// reference reading, field offsets and picture file names.
#include <gtest/gtest.h>

#include "notes/BodyText.h"
#include "notes/NotesString.h"

using bodytext::FindPictureTarget;
using bodytext::ParseFieldOffset;
using bodytext::PictureFileName;
using bodytext::PlanTranslationChunks;

namespace {

std::vector<std::size_t> Plan(const std::string& text) {
  return PlanTranslationChunks(text.data(), text.size());
}

std::u16string Translate(const std::string& text) { return TranslateHtmlText(text.data(), text.size()); }

}  // namespace

TEST(TranslateHtmlText, TextUpTo32764BytesIsOneCall) {
  const std::string text(32764, 'a');
  EXPECT_EQ(Plan(text), std::vector<std::size_t>{32764});
  EXPECT_EQ(Translate(text), std::u16string(32764, u'a'));
  EXPECT_EQ(Plan(""), std::vector<std::size_t>{0});
  EXPECT_EQ(Translate(""), u"");
  EXPECT_EQ(Translate("Gr\xC3\xBC\xC3\x9F" "e"), u"Gr\u00fc\u00dfe");
}

TEST(TranslateHtmlText, OneByteMoreIsTwoCalls) {
  const std::string text(32765, 'a');
  EXPECT_EQ(Plan(text), (std::vector<std::size_t>{32764, 1}));
  EXPECT_EQ(Translate(text), std::u16string(32765, u'a'));
  const std::string longer(3 * 32764 + 7, 'b');
  EXPECT_EQ(Plan(longer), (std::vector<std::size_t>{32764, 32764, 32764, 7}));
  EXPECT_EQ(Translate(longer).size(), longer.size());
}

TEST(TranslateHtmlText, CharacterAcrossAChunkBoundaryStaysWhole) {
  // Characters of two, three and four bytes whose first byte is the last one
  // of a chunk, and one ending exactly on the boundary.
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xC3\xA4", u"\u00e4"}, {"\xE4\xB8\xAD", u"\u4e2d"}, {"\xF0\x9F\x98\x80", u"\U0001F600"}};
  for (const auto& [bytes, wide] : cases) {
    for (std::size_t before : std::vector<std::size_t>{32763, 32764 - bytes.size() + 1, 32764 - bytes.size()}) {
      const std::string text = std::string(before, 'a') + bytes + "tail";
      const auto plan = Plan(text);
      for (std::size_t n : plan) EXPECT_LE(n, 32764u);
      EXPECT_EQ(Translate(text), std::u16string(before, u'a') + wide + u"tail") << before;
    }
  }
  // The split character goes whole into the second call.
  const std::string text = std::string(32763, 'a') + "\xE4\xB8\xAD";
  EXPECT_EQ(Plan(text), (std::vector<std::size_t>{32763, 3}));
}

TEST(TranslateHtmlText, IllFormedBytesAtABoundaryDoNotStopTheWalk) {
  // Continuation bytes without a lead: nothing to carry, chunks stay full.
  const std::string text = std::string(32760, 'a') + std::string(8, '\x80');
  EXPECT_EQ(Plan(text), (std::vector<std::size_t>{32764, 4}));
  EXPECT_FALSE(Translate(text).empty());
}

TEST(PictureTarget, LastTwoComponentsNameFieldAndOffset) {
  const HTMLAPI_URLTARGETCOMPONENT parts[] = {{UAT_Document, "64"}, {UAT_Field, "Body"}, {UAT_FieldOffset, "0.2A"}};
  HTMLAPIReference ref{HTMLAPI_REF_IMG, "/x", 3, parts};
  auto target = FindPictureTarget(ref);
  EXPECT_TRUE(target.bIsPicture);
  EXPECT_EQ(target.strFieldName, "Body");
  EXPECT_EQ(target.strOffsetText, "0.2A");

  ref.RefType = HTMLAPI_REF_HREF;  // not a picture
  EXPECT_FALSE(FindPictureTarget(ref).bIsPicture);

  const HTMLAPI_URLTARGETCOMPONENT icon[] = {{UAT_Field, "$FILE"}, {UAT_Filename, "a.pdf"}};
  EXPECT_FALSE(FindPictureTarget(HTMLAPIReference{HTMLAPI_REF_IMG, "/x", 2, icon}).bIsPicture);
  EXPECT_FALSE(FindPictureTarget(HTMLAPIReference{HTMLAPI_REF_IMG, "/x", 0, nullptr}).bIsPicture);
}

TEST(PictureTarget, OffsetWithoutFieldNameHasAnEmptyFieldName) {
  const HTMLAPI_URLTARGETCOMPONENT alone[] = {{UAT_FieldOffset, "0.10"}};
  auto target = FindPictureTarget(HTMLAPIReference{HTMLAPI_REF_IMG, "/x", 1, alone});
  EXPECT_TRUE(target.bIsPicture);
  EXPECT_EQ(target.strFieldName, "");
  // The field name of an earlier reference does not carry over either.
  const HTMLAPI_URLTARGETCOMPONENT other[] = {{UAT_Document, "64"}, {UAT_FieldOffset, "0.10"}};
  target = FindPictureTarget(HTMLAPIReference{HTMLAPI_REF_IMG, "/x", 2, other});
  EXPECT_TRUE(target.bIsPicture);
  EXPECT_EQ(target.strFieldName, "");
}

TEST(FieldOffset, IndexIsDecimalAndOffsetHexadecimal) {
  auto f = ParseFieldOffset("0.2A4");
  EXPECT_EQ(f.strIndexText, "0");
  EXPECT_EQ(f.strOffsetText, "2A4");
  EXPECT_EQ(f.dwIndex, 0u);
  EXPECT_EQ(f.dwOffset, 0x2A4u);
  f = ParseFieldOffset("12.1f");
  EXPECT_EQ(f.dwIndex, 12u);
  EXPECT_EQ(f.dwOffset, 0x1Fu);
  f = ParseFieldOffset("3x.1z2");  // other characters count 0 but keep their place
  EXPECT_EQ(f.dwIndex, 3u);
  EXPECT_EQ(f.dwOffset, 0x102u);
  f = ParseFieldOffset("7");
  EXPECT_EQ(f.strIndexText, "7");
  EXPECT_EQ(f.strOffsetText, "");
  EXPECT_EQ(f.dwOffset, 0u);
}

TEST(PictureFileName, FieldIndexAndOffsetJoined) {
  EXPECT_EQ(PictureFileName("Body", "0", "2A"), "Body02A.gif");
  EXPECT_EQ(PictureFileName("Body", "0", "2A4"), "Body02A4.gif");
  EXPECT_EQ(PictureFileName("Body", "0", "1F"), "Body01F.gif");
  EXPECT_EQ(PictureFileName("", "0", "10"), "010.gif");
}

TEST(PictureFileName, LongNamesAreCutToTheLimits) {
  const std::string name = PictureFileName(std::string(40, 'F'), "123456789012345", "ABCDEF0123456789");
  EXPECT_EQ(name.size(), 31u);
  EXPECT_EQ(name, "FFFFF" "12345678901" "ABCDEF01234" ".gif");
  // A field name is never cut inside a character.
  const std::string wide = PictureFileName("\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"
                                           "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
                                           "0", "2A");
  EXPECT_LE(wide.size(), 31u);
  EXPECT_EQ(AnsiToText(wide).find(u'\uFFFD'), std::u16string::npos);
  EXPECT_EQ(wide.substr(wide.size() - 7), "02A.gif");
}

TEST(PictureFileName, SlashesNeverLeaveThePictureFolder) {
  EXPECT_EQ(PictureFileName("../../etc/x", "0", "2A"), ".._.._etc_x02A.gif");
  EXPECT_EQ(PictureFileName("Body", "0/..", "2A"), "Body0_..2A.gif");
}
