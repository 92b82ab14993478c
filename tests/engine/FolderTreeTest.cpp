#include <gtest/gtest.h>

#include "notes/FolderList.h"
#include "notes/FolderTree.h"

namespace {

std::vector<std::u16string> Tokens(const std::u16string& text) {
  CToken token(text);
  token.SetDelimiter(u"\\");
  std::vector<std::u16string> parts;
  while (token.HasMoreTokens(0)) parts.push_back(token.NextToken());
  return parts;
}

TEST(CToken, SplitsAtTheDelimiterKeepingEmptyParts) {
  EXPECT_EQ(Tokens(u"A\\B"), (std::vector<std::u16string>{u"A", u"B"}));
  EXPECT_EQ(Tokens(u"A\\\\B"), (std::vector<std::u16string>{u"A", u"", u"B"}));
  EXPECT_EQ(Tokens(u"A\\"), (std::vector<std::u16string>{u"A", u""}));
  EXPECT_EQ(Tokens(u"\\A\\B\\C"), (std::vector<std::u16string>{u"", u"A", u"B", u"C"}));
  EXPECT_TRUE(Tokens(u"AB").empty());
}

TEST(CToken, DefaultDelimiterIsABlank) {
  CToken token(u"a b");
  EXPECT_EQ(token.HasMoreTokens(0), 1);
  EXPECT_EQ(token.NextToken(), u"a");
  EXPECT_EQ(token.HasMoreTokens(0), 1);
  EXPECT_EQ(token.HasMoreTokens(1), 0);
  EXPECT_EQ(token.NextToken(), u"b");
  EXPECT_EQ(token.HasMoreTokens(0), 0);
}

TEST(FolderKind, FirstContainedTextDecides) {
  EXPECT_EQ(FolderKindOfName(u"($Inbox)"), 3);
  EXPECT_EQ(FolderKindOfName(u"($Drafts)"), 2);
  EXPECT_EQ(FolderKindOfName(u"My Contacts"), 11);
  EXPECT_EQ(FolderKindOfName(u"($Sent)"), 10);
  EXPECT_EQ(FolderKindOfName(u"($All)"), 10);
  EXPECT_EQ(FolderKindOfName(u"Junk E-mail Inbox"), 14);
  EXPECT_EQ(FolderKindOfName(u"Search Folders"), 15);
  EXPECT_EQ(FolderKindOfName(u"inbox"), 10);  // letter case counts
  EXPECT_EQ(FolderKindOfName(u"Calendar"), 1);
  EXPECT_EQ(FolderKindOfName(u"My Notes"), 5);
}

TEST(FolderTree, NestedFoldersShareTheirFirstLevel) {
  const std::vector<FolderRecord> records = {{u"($Inbox)", 8, 1},
                                             {u"($Drafts)", 12, 0},
                                             {u"Projects", 16, 0},
                                             {u"Projects\\2019", 20, 1},
                                             {u"($All)", 24, 1}};
  const auto items = BuildFolderTree(u"/m/mail.nsf", records);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0].strText, u"/m/mail.nsf");
  EXPECT_EQ(items[0].nParent, -1);
  EXPECT_TRUE(items[0].bExpanded);
  EXPECT_EQ(items[1].nImage, 3);
  EXPECT_TRUE(items[1].bBold);
  EXPECT_EQ(items[2].nImage, 2);
  EXPECT_FALSE(items[2].bBold);
  EXPECT_EQ(items[4].strText, u"2019");
  EXPECT_EQ(items[4].nParent, 3);
  EXPECT_EQ(items[4].dwNoteId, 20u);
  EXPECT_TRUE(items[3].bExpanded);
  EXPECT_EQ(items[5].strText, u"($All)");
  EXPECT_EQ(items[5].nParent, 0);

  const auto checked = CheckedFoldersPreOrder(items);
  std::vector<std::u16string> names;
  for (const auto& r : checked) names.push_back(r.strName);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"/m/mail.nsf", u"($Inbox)", u"($Drafts)",
                                                u"Projects", u"2019", u"($All)"}));
  EXPECT_EQ(checked[0].dwNoteId, 0u);
  EXPECT_EQ(checked[4].dwNoteId, 20u);
}

TEST(FolderTree, LevelMadeOnTheWayCarriesTheNestedRecord) {
  const auto items = BuildFolderTree(u"db", {{u"Projects\\2019", 20, 1}, {u"Projects", 16, 0}});
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[1].strText, u"Projects");
  EXPECT_EQ(items[1].dwNoteId, 20u);
  EXPECT_TRUE(items[1].bBold);
  EXPECT_EQ(items[2].strText, u"2019");
  EXPECT_EQ(items[2].nParent, 1);
  // A name without "\" is always inserted anew: two items named Projects.
  EXPECT_EQ(items[3].strText, u"Projects");
  EXPECT_EQ(items[3].dwNoteId, 16u);
  EXPECT_EQ(items[3].nParent, 0);
}

TEST(FolderTree, EmptyLevelsAreSkipped) {
  const auto items = BuildFolderTree(u"db", {{u"\\A\\\\B\\", 4, 0}});
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[1].strText, u"A");
  EXPECT_EQ(items[2].strText, u"B");
  EXPECT_EQ(items[2].nParent, 1);
}

}  // namespace
