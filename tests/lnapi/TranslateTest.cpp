// Character translation between the Notes character set (UTF-8) and UTF-16:
// whole characters only, never past the output size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lnapi/LNNotes.h"

namespace {

// Translates with OSTranslate into a guarded buffer; fails the test if any
// byte past outSize changed. Returns the UTF-16 code units written.
std::u16string Translate(const std::string& in, WORD outSize, WORD* written = nullptr) {
  std::string out(outSize + 16u, '\xAA');
  const WORD n = OSTranslate(OS_TRANSLATE_LMBCS_TO_UNICODE, in.data(), static_cast<WORD>(in.size()),
                             out.data(), outSize);
  EXPECT_LE(n, outSize);
  for (std::size_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], '\xAA') << "byte " << i;
  if (written) *written = n;
  std::u16string units;
  for (WORD i = 0; i + 1 < n; i += 2)
    units += static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                   (static_cast<unsigned char>(out[i + 1]) << 8));
  return units;
}

const std::string kMixed = "a\xc3\xa9\xe4\xb8\x80\xf0\x9f\x98\x80";  // a é 一 😀

}  // namespace

TEST(OSTranslate, TranslatesEveryCharacterWidth) {
  EXPECT_EQ(Translate(kMixed, 100), u"a\u00e9\u4e00\U0001F600");
  EXPECT_EQ(Translate("", 10), u"");
  EXPECT_EQ(OSTranslate(0x15, kMixed.data(), 3, nullptr, 0), 0);  // other modes: nothing
}

TEST(OSTranslate, StopsBeforeACharacterThatDoesNotFit) {
  WORD n = 0;
  // a é 一 need 6 bytes; the pair for 😀 needs 4 more.
  EXPECT_EQ(Translate(kMixed, 9, &n), u"a\u00e9\u4e00");
  EXPECT_EQ(n, 6);
  EXPECT_EQ(Translate(kMixed, 7, &n), u"a\u00e9\u4e00");  // an odd size never holds half a unit
  EXPECT_EQ(Translate(kMixed, 1, &n), u"");
  EXPECT_EQ(n, 0);
}

TEST(OSTranslate, CharacterCutByTheInputEndBecomesReplacement) {
  // A chunk boundary can split a character; each half is translated on its
  // own and neither is lost silently or read past.
  EXPECT_EQ(Translate("ab\xe4\xb8", 40), u"ab\ufffd");
  EXPECT_EQ(Translate("\x80z", 40), u"\ufffdz");
  EXPECT_EQ(Translate("\xed\xa0\x80", 40), u"\ufffd\ufffd\ufffd");  // an encoded surrogate
  EXPECT_EQ(Translate("\xc0\xaf", 40), u"\ufffd\ufffd");           // overlong
}

TEST(LNStringTranslate, WideTextBecomesUtf8) {
  LNString s;
  ASSERT_EQ(LNStringTranslate(u"a\u00e9\U0001F600", 0, &s), LNNOERROR);
  EXPECT_EQ(s.Bytes(), "a\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(s.GetLength(), 3u);
  EXPECT_EQ(s.GetBufLength(), 7u);
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  ASSERT_EQ(LNStringTranslate(std::u16string_view(lone, 3), 0, &s), LNNOERROR);
  EXPECT_EQ(s.Bytes(), "x\xef\xbf\xbdy");
}

TEST(LNStringTranslate, NamesComeOutZeroTerminatedInTheBuffer) {
  char buf[1024] = {};
  std::size_t length = 0;
  ASSERT_EQ(LNStringTranslate(LNString(kMixed), 0, sizeof buf, buf, &length), LNNOERROR);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf)), u"a\u00e9\u4e00\U0001F600");

  // Eight bytes: room for three units and the zero, so the pair is left out
  // whole and the zero still fits.
  char small[8 + 4];
  std::memset(small, '\xAA', sizeof small);
  ASSERT_EQ(LNStringTranslate(LNString(kMixed), 0, 8, small, &length), LNNOERROR);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(small[6], 0);
  EXPECT_EQ(small[7], 0);
  for (int i = 8; i < 12; ++i) EXPECT_EQ(small[i], '\xAA');
  ASSERT_EQ(LNStringTranslate(LNString(kMixed), 0, 1, small, &length), LNNOERROR);
  EXPECT_EQ(length, 0u);
}
