// Account URLs, folder names in modified UTF-7 and UID sets: the names and
// numbers every command to a server is built from.
#include <gtest/gtest.h>

#include "mail/imap/AccountFolders.h"
#include "mail/imap/AccountUrl.h"
#include "mail/imap/FolderName.h"
#include "mail/imap/UidSet.h"

using namespace mailio::imap;

namespace {

struct UrlCase {
  const char* text;
  bool bTls;
  const char* user;
  const char* host;
  int port;
  std::vector<std::string> folder;
  const char* display;
  const char* secretUrl;
};

TEST(AccountUrl, ParsesUserHostPortAndFolderLevels) {
  const UrlCase cases[] = {
      {"imaps://ada@mail.example", true, "ada", "mail.example", 993, {}, "imaps://ada@mail.example/",
       "imaps://ada@mail.example:993"},
      {"imap://ada@mail.example/", false, "ada", "mail.example", 143, {}, "imap://ada@mail.example/",
       "imap://ada@mail.example:143"},
      {"imaps://ada%40home@mail.example:1993/INBOX", true, "ada@home", "mail.example", 1993, {"INBOX"},
       "imaps://ada%40home@mail.example:1993/", "imaps://ada%40home@mail.example:1993"},
      {"imaps://ada@h/Archive/2019/", true, "ada", "h", 993, {"Archive", "2019"}, "imaps://ada@h/",
       "imaps://ada@h:993"},
      {"imaps://j%C3%BCrgen@h/Entw%C3%BCrfe/%5BA%5D%20%22q%22", true, "j\xc3\xbcrgen", "h", 993,
       {"Entw\xc3\xbcrfe", "[A] \"q\""}, "imaps://j%C3%BCrgen@h/", "imaps://j%C3%BCrgen@h:993"},
      {"imap://ada*master@[::1]:10143/a%2Fb", false, "ada*master", "[::1]", 10143, {"a/b"},
       "imap://ada*master@[::1]:10143/", "imap://ada*master@[::1]:10143"},
      {"IMAPS://ada@h/x", true, "ada", "h", 993, {"x"}, "IMAPS://ada@h/", "imaps://ada@h:993"},
  };
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const std::optional<AccountUrl> url = ParseAccountUrl(c.text, &error);
    ASSERT_TRUE(url) << error;
    EXPECT_EQ(url->bTls, c.bTls);
    EXPECT_EQ(url->strUser, c.user);
    EXPECT_EQ(url->strHost, c.host);
    EXPECT_EQ(url->nPort, c.port);
    EXPECT_EQ(url->folderLevels, c.folder);
    EXPECT_EQ(url->DisplayForm(), c.display);
    EXPECT_EQ(url->SecretStoreUrl(), c.secretUrl);
  }
}

TEST(AccountUrl, RefusesWhatCannotNameAnAccountSafely) {
  const char* cases[] = {
      "https://ada@h/",        "imaps://h/",           "imaps://@h/",         "imaps://ada@/",
      "imaps://ada:secret@h/", "imaps://ada@b@h/",     "imaps://ada@h:0/",    "imaps://ada@h:65536/",
      "imaps://ada@h:/",       "imaps://ada@h:99x/",   "imaps://ada@h/a//b",  "imaps://ada@h/a%2",
      "imaps://ada@h/a%zz",    "imaps://ada@h/a%0D%0Ab", "imaps://ada%00@h/", "imaps://ada@h/%FF",
      "imaps://ada@h/a?b",     "imaps://ada@h/a#b",    "imaps://ada@ho st/",  "imaps://ada@[::1/",
  };
  for (const char* text : cases) {
    std::string error;
    EXPECT_FALSE(ParseAccountUrl(text, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(AccountUrl, LoopbackIsOnlyThisMachine) {
  for (const char* host : {"localhost", "LocalHost.", "127.0.0.1", "127.255.3.4", "::1", "[::1]", "::ffff:127.0.0.2"}) {
    EXPECT_TRUE(IsLoopbackHost(host)) << host;
  }
  for (const char* host : {"128.0.0.1", "10.0.0.1", "localhost.example", "127.0.0.1.example", "::2", "[::ffff:10.0.0.1]",
                           "mail.example", ""}) {
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
  }
}

TEST(AccountUrl, FolderNamesShowLevelsWithBackslashes) {
  EXPECT_EQ(FolderDisplayName({"Archive", "2019"}), "Archive\\2019");
  EXPECT_EQ(FolderDisplayName({"INBOX"}), "INBOX");
  std::string error;
  EXPECT_EQ(ParseAccountUrl("imaps://ada%2Fx@h/", &error)->FileName(), "ada%2Fx@h");
}

TEST(ModifiedUtf7, EncodesAndDecodesBothWays) {
  const std::pair<const char*, const char*> cases[] = {
      {"INBOX", "INBOX"},
      {"Tom & Jerry", "Tom &- Jerry"},
      {"Entw\xc3\xbcrfe", "Entw&APw-rfe"},
      {"~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
       "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
      {"\xc3\xa4\xc3\xb6\xc3\xbc", "&AOQA9gD8-"},
      {"\xf0\x9f\x98\x80 x", "&2D3eAA- x"},
      {"[Gmail]/Sent \"Mail\"", "[Gmail]/Sent \"Mail\""},
      {"", ""},
  };
  for (const auto& [utf8, utf7] : cases) {
    EXPECT_EQ(EncodeModifiedUtf7(utf8), std::optional<std::string>(utf7)) << utf8;
    EXPECT_EQ(DecodeModifiedUtf7(utf7), std::optional<std::string>(utf8)) << utf7;
  }
}

TEST(ModifiedUtf7, RefusesWhatNoEncoderWrites) {
  for (const char* name : {"&AOQ", "&-&", "&AGE-", "&AOQA9gD8A-", "&2D0-", "&3gA-", "&AO?-", "\xc3\xa4", "a\tb", "&-&&-",
                           "&AOR-"}) {
    EXPECT_FALSE(DecodeModifiedUtf7(name)) << name;
  }
  EXPECT_FALSE(EncodeModifiedUtf7("\xff"));
}

TEST(UidSet, SplitsIntoRangesOfAtMostTheLimit) {
  EXPECT_TRUE(SplitUidSets({}).empty());
  const std::vector<UidSet> small = SplitUidSets({9, 3, 4, 5, 0, 12, 4, 13, 7});
  ASSERT_EQ(small.size(), 1u);
  EXPECT_EQ(small[0].Text(), "3:5,7,9,12:13");
  EXPECT_EQ(small[0].Count(), 7u);

  std::vector<uint32_t> uids;
  for (uint32_t uid = 1; uid <= 2500; ++uid) uids.push_back(uid);
  uids.push_back(4294967295u);
  const std::vector<UidSet> big = SplitUidSets(uids);
  ASSERT_EQ(big.size(), 3u);
  EXPECT_EQ(big[0].Text(), "1:1000");
  EXPECT_EQ(big[1].Text(), "1001:2000");
  EXPECT_EQ(big[2].Text(), "2001:2500,4294967295");
  EXPECT_EQ(big[2].Count(), 501u);
}

FolderInfo Folder(std::vector<std::string> levels, bool bSelectable = true, std::vector<std::string> uses = {}) {
  FolderInfo f;
  f.levels = std::move(levels);
  f.strServerName = f.levels.front();
  f.bSelectable = bSelectable;
  f.specialUse = std::move(uses);
  return f;
}

std::vector<std::vector<std::string>> Levels(const std::vector<FolderInfo>& folders) {
  std::vector<std::vector<std::string>> out;
  for (const FolderInfo& f : folders) out.push_back(f.levels);
  return out;
}

TEST(AccountFolders, InboxFirstThenTreeOrderWithoutWhatCannotBeJudged) {
  const std::vector<FolderInfo> listed = {
      Folder({"Trash"}, true, {"\\Trash"}), Folder({"Archive"}, false), Folder({"Archive", "2019"}),
      Folder({"[Gmail]", "All Mail"}, true, {"\\All"}), Folder({"Archive", "2018"}), Folder({"inbox", "Sub"}),
      Folder({"Archive", "2018", "Q1"}), Folder({"INBOX"}), Folder({"Archiv"}),
  };
  using L = std::vector<std::vector<std::string>>;
  EXPECT_EQ(Levels(AccountFolders(listed, false)),
            (L{{"INBOX"}, {"inbox", "Sub"}, {"Archiv"}, {"Archive", "2018"}, {"Archive", "2018", "Q1"},
               {"Archive", "2019"}, {"Trash"}}));
  EXPECT_EQ(AccountFolders(listed, true).size(), 8u);
  ASSERT_TRUE(FindFolder(listed, {"Inbox"}));
  EXPECT_EQ(FindFolder(listed, {"Inbox"})->levels, std::vector<std::string>{"INBOX"});
  EXPECT_EQ(FindFolder(listed, {"Archive", "2018", "Q1"}), &listed[6]);
  EXPECT_FALSE(FindFolder(listed, {"archive"}));
}

TEST(AccountFolders, NamesGoToTheServerInItsForm) {
  struct Case {
    std::vector<std::string> levels;
    char delimiter;
    bool bUtf8;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {{"Archive", "2019"}, '.', false, "Archive.2019"},
      {{"inbox", "Entw\xc3\xbcrfe"}, '/', false, "INBOX/Entw&APw-rfe"},
      {{"Entw\xc3\xbcrfe"}, '/', true, "Entw\xc3\xbcrfe"},
      {{"Tom & Jerry"}, '.', false, "Tom &- Jerry"},
      {{"v1.2"}, '.', false, std::nullopt},
      {{"a", "b"}, 0, false, std::nullopt},
      {{"a/b"}, '.', false, "a/b"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ServerFolderName(c.levels, c.delimiter, c.bUtf8, &error), c.name) << c.levels.back();
  }
}

}  // namespace
