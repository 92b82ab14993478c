// The IMAP session against a real Dovecot of the test's own: the connection
// is private and its certificate checked before any password goes out, the
// login works or is refused, and judging (LIST, EXAMINE, UID FETCH) reads
// what the folders hold without changing a flag.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "mail/imap/ImapSession.h"
#include "mail/imap/Socket.h"
#include "tests/imap/Dovecot.h"
#include "tests/imap/TestCertificates.h"
#include "tests/support/TestSupport.h"

using namespace mailio::imap;
using imaptest::CertificateShape;
using imaptest::Dovecot;
using imaptest::TestCertificate;

namespace {

AccountUrl Url(const std::string& text) {
  std::string error;
  std::optional<AccountUrl> url = ParseAccountUrl(text, &error);
  EXPECT_TRUE(url) << text << ": " << error;
  return url.value_or(AccountUrl{});
}

std::string PlainUrl(const Dovecot& server, const std::string& host = "127.0.0.1") {
  return "imap://" + std::string(Dovecot::kUser) + "@" + host + ":" + std::to_string(server.PlainPort()) + "/";
}

// Dovecot logs a connection's end a moment after the client goes.
std::string LogOnceDisconnected(const Dovecot& server) {
  for (int i = 0; i < 200; ++i) {
    const std::string log = server.Log();
    if (log.find("Disconnected") != std::string::npos) return log;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return server.Log();
}

std::string Message(const std::string& subject, const std::string& extra = "") {
  return "From: Ada <ada@example.org>\r\nTo: bob@example.org\r\nSubject: " + subject +
         "\r\nDate: Mon, 4 Jan 2021 10:00:00 +0000\r\nMessage-ID: <" + subject + "@example.org>\r\n" + extra +
         "\r\nbody of " + subject + "\r\n";
}

class SessionTest : public testsupport::TempDirTest {
protected:
  ConnectOptions Options() const {
    ConnectOptions options;
    options.trust.bSystemStore = false;
    options.trust.fingerprintsFile = m_tmp / "trusted-certificates";
    options.nTimeoutSeconds = 5;
    return options;
  }
};

TEST_F(SessionTest, LoginWorksWithTheRightPasswordOnly) {
  Dovecot server(m_tmp / "dovecot");
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  for (const auto& [password, bOk] : {std::pair<std::string, bool>{Dovecot::kPassword, true}, {"wrong", false}}) {
    ImapSession session;
    ASSERT_TRUE(session.Connect(Url(PlainUrl(server)), Options(), &error)) << error;
    EXPECT_FALSE(session.IsEncrypted());
    EXPECT_EQ(session.Login(password, &error), bOk) << error;
    if (bOk) {
      EXPECT_TRUE(session.HasCapability("UIDPLUS"));
      EXPECT_TRUE(session.HasCapability("move"));
      EXPECT_FALSE(session.HasCapability("X-GM-EXT-1"));
    } else {
      EXPECT_NE(error.find("Authentication failed"), std::string::npos) << error;
    }
  }
}

struct TrustCase {
  const char* name;
  CertificateShape shape;
  bool bSignedByCa;
  bool bCaFile;
  bool bFingerprintListed;
  bool bStartTls;
  const char* expectedError;  // nullptr: accepted
};

TEST_F(SessionTest, CertificatesAreCheckedBeforeAnyPassword) {
  const TestCertificate ca = TestCertificate::Make({"Test CA", {}, {}, -3600, 86400, true}, nullptr);
  testsupport::WriteFile(m_tmp / "ca.pem", ca.CertificatePem());
  CertificateShape expired;
  expired.nNotBeforeSecs = -7200;
  expired.nNotAfterSecs = -3600;
  CertificateShape otherHost{"mail.example", {"mail.example"}, {}, -3600, 86400, false};
  const TrustCase cases[] = {
      {"self-signed", {}, false, false, false, false, "certificate not trusted"},
      {"self-signed by STARTTLS", {}, false, false, false, true, "certificate not trusted"},
      {"signed by the CA file", {}, true, true, false, false, nullptr},
      {"signed by the CA file, STARTTLS", {}, true, true, false, true, nullptr},
      {"signed by a CA not given", {}, true, false, false, false, "certificate not trusted"},
      {"expired", expired, true, true, false, false, "certificate expired"},
      {"for another host", otherHost, true, true, false, false, "certificate not valid for 127.0.0.1"},
      {"self-signed, fingerprint trusted", otherHost, false, false, true, false, nullptr},
  };
  for (const TrustCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path dir = m_tmp / (std::string("case-") + std::to_string(&c - cases));
    std::filesystem::create_directories(dir);
    const TestCertificate cert = TestCertificate::Make(c.shape, c.bSignedByCa ? &ca : nullptr);
    cert.Write(dir / "cert.pem", dir / "key.pem");
    Dovecot server(dir, dir / "cert.pem", dir / "key.pem");
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ConnectOptions options = Options();
    if (c.bCaFile) options.trust.caFile = m_tmp / "ca.pem";
    const uint16_t port = c.bStartTls ? server.PlainPort() : server.TlsPort();
    testsupport::WriteFile(options.trust.fingerprintsFile,
                           c.bFingerprintListed
                               ? "127.0.0.1:" + std::to_string(port) + " " + CertificateFingerprint(cert.Der()) + "\n"
                               : "127.0.0.1:1 " + CertificateFingerprint(cert.Der()) + "\n");
    const std::string url = std::string(c.bStartTls ? "imap" : "imaps") + "://ada@127.0.0.1:" + std::to_string(port);
    ImapSession session;
    const bool bConnected = session.Connect(Url(url), options, &error);
    if (!c.expectedError) {
      ASSERT_TRUE(bConnected) << error;
      EXPECT_TRUE(session.IsEncrypted());
      EXPECT_TRUE(session.Login(Dovecot::kPassword, &error)) << error;
      continue;
    }
    EXPECT_FALSE(bConnected);
    EXPECT_NE(error.find(c.expectedError), std::string::npos) << error;
    const std::string log = LogOnceDisconnected(server);
    // Dovecot names the user of every attempt, failed ones too.
    EXPECT_NE(log.find("user=<>"), std::string::npos) << log;
    EXPECT_EQ(log.find("user=<ada>"), std::string::npos) << log;
  }
}

TEST_F(SessionTest, ConnectionsAreBoundedAndPlainOnesStayOnThisMachine) {
  // A server that takes the connection and never greets.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length), 0);
  ConnectOptions options = Options();
  options.nTimeoutSeconds = 1;
  ImapSession session;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(session.Connect(Url("imap://ada@127.0.0.1:" + std::to_string(ntohs(addr.sin_port))), options, &error));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(error, "the connection was lost or timed out during the greeting");
  close(listener);

  EXPECT_EQ(ConnectTcp("192.0.2.1", 143, 1000, true, &error), -1);
  EXPECT_NE(error.find("not on this machine"), std::string::npos) << error;
}

TEST_F(SessionTest, JudgingReadsFoldersAndChangesNoFlag) {
  Dovecot server(m_tmp / "dovecot");
  const std::string withAttachment =
      "From: Ada <ada@example.org>\r\nSubject: report\r\nMessage-ID: <report@example.org>\r\n"
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
      "--b\r\nContent-Type: application/pdf; name=\"q3.pdf\"\r\n"
      "Content-Disposition: attachment; filename=\"report q3.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--b--\r\n";
  server.AddMessage("", Message("one"), "");
  server.AddMessage("", Message("two"), "F");
  server.AddMessage("", withAttachment, "");
  server.AddMessage("Archive.2019", Message("old"), "S");
  server.AddMessage("Entw&APw-rfe", Message("draft"), "");
  server.AddMessage("[A] \"q\"", Message("odd"), "");
  server.AddFolder("Trash");
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  const std::vector<std::string> flagsBefore = server.MaildirFlags("");

  ImapSession session;
  ASSERT_TRUE(session.Connect(Url(PlainUrl(server, "localhost")), Options(), &error)) << error;
  ASSERT_TRUE(session.Login(Dovecot::kPassword, &error)) << error;
  std::vector<FolderInfo> folders;
  ASSERT_TRUE(session.ListFolders(&folders, &error)) << error;
  std::vector<std::vector<std::string>> levels;
  for (const FolderInfo& f : folders) levels.push_back(f.levels);
  for (const std::vector<std::string>& want : std::vector<std::vector<std::string>>{
           {"INBOX"}, {"Archive", "2019"}, {"Entw\xc3\xbcrfe"}, {"[A] \"q\""}, {"Trash"}}) {
    EXPECT_NE(std::find(levels.begin(), levels.end(), want), levels.end()) << want.back();
  }
  for (const FolderInfo& f : folders) {
    if (f.levels == std::vector<std::string>{"Trash"}) {
      EXPECT_EQ(f.specialUse, std::vector<std::string>{"\\Trash"});
    }
    EXPECT_EQ(f.bSelectable, f.strServerName != "Archive") << f.strServerName;
    FolderStatus status;
    if (f.bSelectable) {
      EXPECT_TRUE(session.Examine(f.strServerName, &status, &error)) << f.strServerName << ": " << error;
    }
  }

  FolderStatus status;
  ASSERT_TRUE(session.Examine("INBOX", &status, &error)) << error;
  EXPECT_NE(status.nUidValidity, 0u);
  EXPECT_EQ(status.nExists, 3u);
  std::vector<uint32_t> uids;
  ASSERT_TRUE(session.AllUids(&uids, &error)) << error;
  ASSERT_EQ(uids.size(), 3u);
  FetchRequest request;
  request.headerFields = {"Subject", "Message-ID"};
  request.bFlags = request.bSize = request.bInternalDate = request.bStructure = request.bWholeMessage = true;
  std::vector<FetchedMessage> messages;
  for (const UidSet& set : SplitUidSets(uids, 2)) ASSERT_TRUE(session.Fetch(set, request, &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].strHeaderFields, "Subject: one\r\nMessage-ID: <one@example.org>\r\n\r\n");
  EXPECT_EQ(messages[0].bytes, Message("one"));
  EXPECT_EQ(messages[0].nSize, Message("one").size());
  EXPECT_TRUE(messages[0].flags.empty());
  EXPECT_EQ(messages[1].flags, std::vector<std::string>{"\\Flagged"});
  EXPECT_EQ(messages[2].attachmentNames, (std::vector<std::string>{"report q3.pdf"}));
  EXPECT_EQ(messages[2].bytes, withAttachment);
  EXPECT_FALSE(messages[2].strInternalDate.empty());
  session.Logout();

  // Another look from a new connection: nothing became \Seen.
  ImapSession again;
  ASSERT_TRUE(again.Connect(Url(PlainUrl(server)), Options(), &error)) << error;
  ASSERT_TRUE(again.Login(Dovecot::kPassword, &error)) << error;
  ASSERT_TRUE(again.Examine("INBOX", &status, &error)) << error;
  FetchRequest flagsOnly;
  flagsOnly.bFlags = true;
  std::vector<FetchedMessage> after;
  ASSERT_TRUE(again.Fetch(SplitUidSets(uids).front(), flagsOnly, &after, &error)) << error;
  ASSERT_EQ(after.size(), 3u);
  for (const FetchedMessage& m : after) {
    EXPECT_EQ(std::count(m.flags.begin(), m.flags.end(), "\\Seen"), 0) << m.nUid;
  }
  again.Logout();
  EXPECT_EQ(server.MaildirFlags(""), flagsBefore);
}

TEST_F(SessionTest, ChangesTouchExactlyTheMessagesNamedByUid) {
  Dovecot server(m_tmp / "dovecot");
  server.AddMessage("", Message("dup"), "");
  server.AddMessage("", Message("mine"), "T");  // the user's own \Deleted message
  server.AddMessage("", Message("keep"), "S");
  server.AddFolder("Trash");
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ImapSession session;
  ASSERT_TRUE(session.Connect(Url(PlainUrl(server)), Options(), &error)) << error;
  ASSERT_TRUE(session.Login(Dovecot::kPassword, &error)) << error;
  FolderStatus status;
  ASSERT_TRUE(session.Select("INBOX", &status, &error)) << error;
  std::vector<uint32_t> uids;
  ASSERT_TRUE(session.AllUids(&uids, &error)) << error;
  ASSERT_EQ(uids.size(), 3u);

  ASSERT_TRUE(session.AddFlags(UidSet{{{uids[0], uids[0]}}}, {"\\Deleted"}, &error)) << error;
  ASSERT_TRUE(session.UidExpunge(UidSet{{{uids[0], uids[0]}}}, &error)) << error;
  std::vector<std::pair<uint32_t, uint32_t>> moved;
  ASSERT_TRUE(session.UidMove(UidSet{{{uids[2], uids[2]}}}, "Trash", &moved, &error)) << error;
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_EQ(moved[0].first, uids[2]);
  ASSERT_TRUE(session.Create("Restored", &error)) << error;
  uint32_t newUid = 0;
  ASSERT_TRUE(session.Append("Restored", Message("dup"), {"\\Seen", "$Work"}, "04-Jan-2021 10:00:00 +0100", &newUid,
                             &error))
      << error;
  EXPECT_NE(newUid, 0u);
  EXPECT_FALSE(session.AddFlags(UidSet{{{uids[1], uids[1]}}}, {"bad flag"}, &error));

  // What is left: the user's own \Deleted message in INBOX, the moved one in
  // Trash, the appended one as it was given.
  EXPECT_EQ(server.MaildirFlags(""), std::vector<std::string>{"T"});
  EXPECT_EQ(server.MaildirFlags("Trash"), std::vector<std::string>{"S"});
  ASSERT_TRUE(session.Examine("Restored", &status, &error)) << error;
  FetchRequest request;
  request.bFlags = request.bInternalDate = request.bWholeMessage = true;
  std::vector<FetchedMessage> restored;
  ASSERT_TRUE(session.Fetch(UidSet{{{newUid, newUid}}}, request, &restored, &error)) << error;
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0].bytes, Message("dup"));
  EXPECT_EQ(restored[0].flags, (std::vector<std::string>{"\\Seen", "$Work"}));
  // Maildir keeps the instant, not the zone it was given in.
  EXPECT_EQ(restored[0].strInternalDate, "04-Jan-2021 09:00:00 +0000");
}

}  // namespace
