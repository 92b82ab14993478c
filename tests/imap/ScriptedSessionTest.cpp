// The session against a scripted server: what an old server or Gmail
// announces, only read-only commands and PEEK fetches going out, answers
// for other messages kept apart, and a connection that drops mid-fetch.
#include <gtest/gtest.h>

#include "mail/imap/AccountConnection.h"
#include "mail/imap/ImapSession.h"
#include "tests/imap/ScriptedServer.h"

using namespace mailio::imap;
using imaptest::ScriptedServer;
using imaptest::ScriptStep;

namespace {

std::vector<ScriptStep> LoginSteps(const std::string& capabilities) {
  return {
      {"CAPABILITY", {"* CAPABILITY IMAP4rev1", "TAG OK done"}},
      {"LOGIN", {"TAG OK logged in"}},
      {"CAPABILITY", {"* CAPABILITY " + capabilities, "TAG OK done"}},
  };
}

bool ConnectAndLogin(ImapSession& session, const ScriptedServer& server, std::string* error) {
  std::string parseError;
  const std::optional<AccountUrl> url =
      ParseAccountUrl("imap://ada@127.0.0.1:" + std::to_string(server.Port()) + "/", &parseError);
  ConnectOptions options;
  options.nTimeoutSeconds = 5;
  return url && session.Connect(*url, options, error) && session.Login("pa\"ss\\word", error);
}

TEST(ScriptedSession, GmailIsKnownByItsCapabilityAndGivesMessageIdsAndLabels) {
  std::vector<ScriptStep> steps = LoginSteps("IMAP4rev1 X-GM-EXT-1 IDLE");
  steps.push_back({"EXAMINE", {"* OK [UIDVALIDITY 11] ok", "TAG OK [READ-ONLY] done"}});
  steps.push_back({"UID FETCH 5 (UID X-GM-MSGID X-GM-LABELS)",
                   {"* 1 FETCH (UID 5 X-GM-MSGID 1278455344230334865 X-GM-LABELS (\"\\\\Inbox\" \"Work Stuff\"))",
                    "TAG OK done"}});
  ScriptedServer server("* OK ready", steps);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ImapSession session;
  ASSERT_TRUE(ConnectAndLogin(session, server, &error)) << error;
  EXPECT_FALSE(session.IsEncrypted());
  EXPECT_TRUE(session.HasCapability("X-GM-EXT-1"));
  EXPECT_FALSE(session.HasCapability("UIDPLUS"));
  EXPECT_FALSE(session.HasCapability("MOVE"));
  FolderStatus status;
  ASSERT_TRUE(session.Examine("[Gmail]/All Mail", &status, &error)) << error;
  FetchRequest request;
  request.bGmailId = request.bGmailLabels = true;
  std::vector<FetchedMessage> messages;
  ASSERT_TRUE(session.Fetch(UidSet{{{5, 5}}}, request, &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].nGmailMessageId, 1278455344230334865u);
  EXPECT_EQ(messages[0].gmailLabels, (std::vector<std::string>{"\\Inbox", "Work Stuff"}));
  session.Logout();
  server.Stop();
  const std::vector<std::string> received = server.Received();
  ASSERT_GE(received.size(), 2u);
  // The password's quote and backslash reach the server escaped, or as a
  // literal, never cutting the command short.
  const bool bQuoted = received[1].find("LOGIN ada \"pa\\\"ss\\\\word\"") != std::string::npos;
  const bool bLiteral = received[1].find("pa\"ss\\word") != std::string::npos;
  EXPECT_TRUE(bQuoted || bLiteral) << received[1];
}

TEST(ScriptedSession, FetchKeepsItsOwnUidsAndADroppedConnectionEndsTheSession) {
  std::vector<ScriptStep> steps = LoginSteps("IMAP4rev1 UIDPLUS");
  steps.push_back({"EXAMINE",
                   {"* 2 EXISTS", "* OK [UIDVALIDITY 42] ok", "* OK [UIDNEXT 9] ok", "TAG OK [READ-ONLY] done"}});
  steps.push_back({"UID FETCH",
                   {"* 1 FETCH (UID 5 FLAGS (\\Seen))",
                    "* 2 FETCH (UID 7 FLAGS (\\Flagged $Work) RFC822.SIZE 12 BODY[HEADER.FIELDS (SUBJECT)] {12}",
                    "Subject: x", ")", "TAG OK done"}});
  steps.push_back({"UID FETCH", {}, true});
  ScriptedServer server("* OK ready", steps);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ImapSession session;
  ASSERT_TRUE(ConnectAndLogin(session, server, &error)) << error;
  FolderStatus status;
  ASSERT_TRUE(session.Examine("Archive", &status, &error)) << error;
  EXPECT_EQ(status.nUidValidity, 42u);
  FetchRequest request;
  request.bFlags = request.bSize = true;
  request.headerFields = {"Subject"};
  std::vector<FetchedMessage> messages;
  ASSERT_TRUE(session.Fetch(UidSet{{{7, 8}}}, request, &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].nUid, 7u);
  EXPECT_EQ(messages[0].flags, (std::vector<std::string>{"\\Flagged", "$Work"}));
  EXPECT_EQ(messages[0].nSize, 12u);

  EXPECT_FALSE(session.Fetch(UidSet{{{7, 8}}}, request, &messages, &error));
  EXPECT_NE(error.find("connection was lost"), std::string::npos) << error;
  EXPECT_FALSE(session.IsConnected());
  server.Stop();
  const std::vector<std::string> received = server.Received();
  ASSERT_GE(received.size(), 5u);
  EXPECT_NE(received[3].find("EXAMINE Archive"), std::string::npos) << received[3];
  EXPECT_NE(received[4].find("UID FETCH 7:8 (UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (Subject)])"),
            std::string::npos)
      << received[4];
}

std::vector<ScriptStep> Examined(uint32_t uidValidity) {
  std::vector<ScriptStep> steps = LoginSteps("IMAP4rev1 UIDPLUS");
  steps.push_back({"EXAMINE", {"* 2 EXISTS", "* OK [UIDVALIDITY " + std::to_string(uidValidity) + "] ok",
                               "TAG OK [READ-ONLY] done"}});
  return steps;
}

TEST(AccountConnection, ADroppedConnectionIsOpenedAgainOnceAndTheReadGoesOn) {
  const ScriptStep drop{"UID FETCH", {}, true};
  const ScriptStep answer{"UID FETCH", {"* 1 FETCH (UID 3 RFC822.SIZE 10)", "* 2 FETCH (UID 4 RFC822.SIZE 20)", "TAG OK done"}};
  struct Case {
    const char* name;
    uint32_t secondUidValidity;
    ScriptStep second;
    ReadOutcome::Kind kind;
    const char* reason;
  };
  const Case cases[] = {
      {"goes on", 42, answer, ReadOutcome::Kind::done, ""},
      {"renumbered meanwhile", 43, answer, ReadOutcome::Kind::renumbered, "renumbered"},
      {"drops again", 42, drop, ReadOutcome::Kind::accountFailed, "connection was lost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<ScriptStep> steps = Examined(42);
    steps.push_back({"UID SEARCH", {"* SEARCH 4 3", "TAG OK done"}});
    steps.push_back(drop);
    for (const ScriptStep& step : Examined(c.secondUidValidity)) steps.push_back(step);
    steps.push_back(c.second);
    ScriptedServer server("* OK ready", steps);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    std::optional<AccountUrl> url =
        ParseAccountUrl("imap://ada@127.0.0.1:" + std::to_string(server.Port()) + "/", &error);
    ASSERT_TRUE(url) << error;
    Secret password;
    ASSERT_TRUE(password.Append("pw"));
    AccountConnection account(*url, ConnectOptions{}, std::move(password));
    ASSERT_TRUE(account.Open(&error)) << error;
    FolderInfo folder;
    folder.strServerName = "INBOX";
    FetchRequest request;
    request.bSize = true;
    std::vector<uint32_t> sizes;
    const ReadOutcome outcome = account.ReadFolder(folder, request, [&](const FolderStatus& status, auto&& batch) {
      EXPECT_EQ(status.nUidValidity, 42u);
      for (const FetchedMessage& m : batch) sizes.push_back(m.nSize);
      return true;
    });
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_NE(outcome.strReason.find(c.reason), std::string::npos) << outcome.strReason;
    EXPECT_EQ(account.Reconnects(), 1);
    EXPECT_EQ(sizes, c.kind == ReadOutcome::Kind::done ? (std::vector<uint32_t>{10, 20}) : std::vector<uint32_t>{});
  }
}

TEST(AccountConnection, AMessageTheServerCannotDeliverIsNamedByUid) {
  std::vector<ScriptStep> steps = Examined(42);
  steps.push_back({"UID SEARCH", {"* SEARCH 3 4 5", "TAG OK done"}});
  steps.push_back({"UID FETCH 3:5", {"TAG NO [UNAVAILABLE] cannot read"}});
  steps.push_back({"UID FETCH 3 ", {"* 1 FETCH (UID 3 RFC822.SIZE 10)", "TAG OK done"}});
  steps.push_back({"UID FETCH 4 ", {"TAG NO [UNAVAILABLE] broken message"}});
  ScriptedServer server("* OK ready", steps);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  std::optional<AccountUrl> url = ParseAccountUrl("imap://ada@127.0.0.1:" + std::to_string(server.Port()), &error);
  ASSERT_TRUE(url) << error;
  AccountConnection account(*url, ConnectOptions{}, Secret{});
  ASSERT_TRUE(account.Open(&error)) << error;
  FolderInfo folder;
  folder.strServerName = "INBOX";
  FetchRequest request;
  request.bSize = true;
  const ReadOutcome outcome = account.ReadFolder(folder, request, [](const FolderStatus&, auto&&) { return true; });
  EXPECT_EQ(outcome.kind, ReadOutcome::Kind::messageFailed);
  EXPECT_EQ(outcome.nUid, 4u);
  EXPECT_NE(outcome.strReason.find("broken message"), std::string::npos) << outcome.strReason;
}


TEST(ScriptedSession, WithoutUidplusOnlyAFolderWithNoOtherDeletedMessagesIsExpunged) {
  for (const bool bOthers : {true, false}) {
    SCOPED_TRACE(bOthers ? "another message marked deleted" : "only ours");
    std::vector<ScriptStep> steps = LoginSteps("IMAP4rev1 MOVE");
    steps.push_back({"SELECT", {"* OK [UIDVALIDITY 42] ok", "TAG OK [READ-WRITE] done"}});
    steps.push_back({"UID SEARCH DELETED", {bOthers ? "* SEARCH 3 9 4" : "* SEARCH 4 3", "TAG OK done"}});
    steps.push_back({"EXPUNGE", {"* 2 EXPUNGE", "* 1 EXPUNGE", "TAG OK done"}});
    ScriptedServer server("* OK ready", steps);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ImapSession session;
    ASSERT_TRUE(ConnectAndLogin(session, server, &error)) << error;
    FolderStatus status;
    ASSERT_TRUE(session.Select("INBOX", &status, &error)) << error;
    EXPECT_EQ(session.ExpungeOnly(UidSet{{{3, 4}}}, &error), !bOthers) << error;
    if (bOthers) {
      EXPECT_EQ(error, ImapSession::kOtherMessagesMarkedDeleted);
    }
    session.Logout();
    server.Stop();
    const std::vector<std::string> received = server.Received();
    const bool bExpunged = std::any_of(received.begin(), received.end(),
                                       [](const std::string& line) { return line.find(" EXPUNGE") != std::string::npos; });
    EXPECT_EQ(bExpunged, !bOthers);
  }
}

}  // namespace
