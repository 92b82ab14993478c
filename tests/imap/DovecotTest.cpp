// The test server itself: it comes up on loopback from the maildir the test
// laid out and is gone when the fixture goes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

#include "tests/imap/Dovecot.h"
#include "tests/imap/TestCertificates.h"
#include "tests/support/TestSupport.h"

namespace {

// The first line the server sends on port, or nullopt when nothing listens.
std::optional<std::string> Greeting(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  std::optional<std::string> line;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    line = std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  }
  close(fd);
  return line;
}

TEST(DovecotFixture, ServesOnLoopbackUntilStopped) {
  testsupport::ScopedTempDir tmp;
  const imaptest::TestCertificate cert = imaptest::TestCertificate::Make({}, nullptr);
  cert.Write(tmp / "cert.pem", tmp / "key.pem");
  uint16_t port = 0;
  {
    imaptest::Dovecot server(tmp / "dovecot", tmp / "cert.pem", tmp / "key.pem");
    server.AddMessage("", "Subject: one\r\n\r\nbody\r\n", "S");
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    port = server.PlainPort();
    const std::optional<std::string> greeting = Greeting(port);
    ASSERT_TRUE(greeting);
    EXPECT_EQ(greeting->rfind("* OK", 0), 0u) << *greeting;
    EXPECT_NE(greeting->find("STARTTLS"), std::string::npos) << *greeting;
    EXPECT_NE(server.TlsPort(), 0);
  }
  EXPECT_FALSE(Greeting(port));
}

}  // namespace
