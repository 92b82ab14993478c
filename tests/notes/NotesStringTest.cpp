// Text at the boundary with the Notes API.
#include <gtest/gtest.h>

#include "notes/NotesString.h"

TEST(NotesStringToText, CountsAreRoomEnoughForEveryCharacter) {
  const LNString text("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80!");
  EXPECT_EQ(NotesStringToText(text.GetBufLength(), text), u"Gr\u00fc\u00dfe \U0001F600!");
  // Seven characters, eight UTF-16 code units: nothing is cut off.
  EXPECT_EQ(NotesStringToText(text.GetLength(), text), u"Gr\u00fc\u00dfe \U0001F600!");
  EXPECT_EQ(NotesStringToText(0, LNString()), u"");
}

TEST(AnsiText, IllFormedBytesBecomeReplacementCharacters) {
  EXPECT_EQ(AnsiToText("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(AnsiToText("\x80z"), u"\uFFFDz");
  EXPECT_EQ(AnsiToText("\xE4\xB8"), u"\uFFFD\uFFFD");
  EXPECT_EQ(AnsiToText("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
  EXPECT_EQ(AnsiToText("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
  EXPECT_EQ(AnsiToText("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(AnsiText, RoundTripsAndReplacesLoneSurrogates) {
  const std::u16string text = u"\u4E2D\u0141 \U0001F600";
  EXPECT_EQ(AnsiToText(TextToAnsi(text)), text);
  EXPECT_EQ(TextToAnsi(std::u16string(1, u'\xDC00')), "\xEF\xBF\xBD");
  EXPECT_EQ(TextToAnsi(std::u16string{u'\xD83D', u'a'}), "\xEF\xBF\xBD" "a");
}
