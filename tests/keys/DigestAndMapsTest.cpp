// Digests, the two maps of the judgement and the search scope.
#include <vector>

#include "tests/keys/KeysFixture.h"

using namespace keystest;

TEST(DigestKey, AsciiKeysGiveTheMd5OfTheirText) {
  EXPECT_EQ(DigestKey(u""), u"D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(DigestKey(u"abc"), u"900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(DigestKey(u"mail\u001E" u"Ada\u001F" u"Hello\u001F"), u"35947B6A87ABAE79AFE5D2CA1B0A05F6");
}

TEST(DigestKey, NonAsciiCharactersCountWithAllTheirBits) {
  EXPECT_EQ(DigestKey(u"\u00e4"), u"8419B71C87A225A2C70B50486FBEE545");  // MD5 of C3 A4
  EXPECT_NE(DigestKey(u"\u4E2D"), DigestKey(u"\u5E2D"));
  EXPECT_NE(DigestKey(u"\u0141"), DigestKey(u"A"));
  EXPECT_NE(DigestKey(u"x\u4E00y"), DigestKey(u"xy"));
  EXPECT_NE(DigestKey(std::u16string(u"a\0b", 3)), DigestKey(u"ab"));
  // Unpaired surrogates are distinct from each other and from U+FFFD.
  EXPECT_NE(DigestKey(std::u16string(1, u'\xD800')), DigestKey(std::u16string(1, u'\xD801')));
  EXPECT_NE(DigestKey(std::u16string(1, u'\xD800')), DigestKey(u"\uFFFD"));
  EXPECT_EQ(DigestKey(u"\U0001F600"), DigestKey(std::u16string{u'\xD83D', u'\xDE00'}));
}

TEST(KeyMaps, FirstDigestIsKeptAndLaterOnesAreDuplicates) {
  RunSettings s;
  const KeyDigest d = DigestKey(u"abc");
  EXPECT_TRUE(RegisterKey(s, d));
  EXPECT_EQ(s.m_keyInsertResult.bInserted, 1);
  EXPECT_EQ(s.m_keyInsertResult.position->first, d);
  EXPECT_FALSE(RegisterKey(s, d));
  EXPECT_EQ(s.m_keyInsertResult.bInserted, 0);
  EXPECT_EQ(s.m_keyInsertResult.position->first, d);
  EXPECT_EQ(s.m_mapDuplicateKeys.size(), 1u);
  EXPECT_TRUE(RegisterKey(s, DigestKey(u"abd")));
}

TEST(KeyMaps, NoteIdsAreJudgedOnce) {
  RunSettings s;
  EXPECT_TRUE(RegisterNote(s, 0xFFFFFFF0u));
  EXPECT_EQ(s.m_noteInsertResult.bInserted, 1);
  EXPECT_TRUE(RegisterNote(s, 8));
  EXPECT_FALSE(RegisterNote(s, 0xFFFFFFF0u));
  EXPECT_EQ(s.m_noteInsertResult.bInserted, 0);
  EXPECT_EQ(*s.m_noteInsertResult.position, 0xFFFFFFF0u);
  EXPECT_EQ(*s.m_mapProcessedNotes.begin(), 8u);  // ordered as unsigned numbers
}

TEST(KeyMaps, EmptyKeyIsKeptAndNeverRegistered) {
  RunSettings s;
  EXPECT_TRUE(IsFirstOfItsKind(s, u""));
  EXPECT_TRUE(IsFirstOfItsKind(s, u""));
  EXPECT_TRUE(s.m_mapDuplicateKeys.empty());
  EXPECT_TRUE(IsFirstOfItsKind(s, u"k"));
  EXPECT_FALSE(IsFirstOfItsKind(s, u"k"));
}

namespace {

struct Entry {
  std::uint32_t noteId;
  std::u16string key;
};

// What a folder pass does with the maps: key, then note id; the key map is
// emptied after the folder with same-folder scope. Returns the note ids kept
// (judged first of their kind) in each folder.
std::vector<std::vector<std::uint32_t>> Judge(RunSettings& s, const std::vector<std::vector<Entry>>& folders) {
  std::vector<std::vector<std::uint32_t>> kept;
  for (const auto& folder : folders) {
    kept.emplace_back();
    for (const Entry& e : folder) {
      const bool bKeep = IsFirstOfItsKind(s, e.key);
      if (RegisterNote(s, e.noteId) && bKeep) kept.back().push_back(e.noteId);
    }
    if (s.m_bSameFolderScope == 1) s.m_mapDuplicateKeys.clear();
  }
  return kept;
}

}  // namespace

TEST(KeyMaps, SameFolderScopeKeepsEqualItemsOfDifferentFolders) {
  RunSettings s;
  s.m_bSameFolderScope = 1;
  const auto kept = Judge(s, {{{10, u"a"}, {14, u"a"}}, {{18, u"a"}, {10, u"a"}}});
  EXPECT_EQ(kept[0], std::vector<std::uint32_t>{10});
  EXPECT_EQ(kept[1], std::vector<std::uint32_t>{18});  // 10 was judged in the first folder
  EXPECT_EQ(s.m_mapProcessedNotes.size(), 3u);          // not emptied per folder
}

TEST(KeyMaps, WholeFileScopeFindsDuplicatesAcrossFolders) {
  RunSettings s;
  s.m_bSameFolderScope = 0;
  const auto kept = Judge(s, {{{10, u"a"}, {14, u"b"}}, {{18, u"a"}, {22, u"c"}, {14, u"b"}}});
  EXPECT_EQ(kept[0], (std::vector<std::uint32_t>{10, 14}));
  EXPECT_EQ(kept[1], std::vector<std::uint32_t>{22});
  EXPECT_EQ(s.m_mapDuplicateKeys.size(), 3u);
}
