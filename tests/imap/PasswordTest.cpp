// Passwords from a command: the first line of what it prints, refused when
// the command fails or prints nothing usable.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "mail/imap/Password.h"

using namespace mailio::imap;

namespace {

TEST(PasswordCommand, TakesTheFirstLineWithoutItsEnd) {
  const std::pair<const char*, const char*> cases[] = {
      {"printf 'pw\\nsecond\\n'", "pw"},
      {"printf 'p w\\r\\n'", "p w"},
      {"printf 'no line end'", "no line end"},
      // Output past the first line is drained, so a chatty command ends.
      {"printf 'pw\\n'; head -c 300000 /dev/zero", "pw"},
  };
  for (const auto& [command, password] : cases) {
    std::string error;
    const std::optional<Secret> secret = PasswordFromCommand(command, &error);
    ASSERT_TRUE(secret) << command << ": " << error;
    EXPECT_EQ(secret->View(), password) << command;
  }
}

TEST(PasswordCommand, RefusesFailureAndEmptyOrOverlongOutput) {
  const std::pair<const char*, const char*> cases[] = {
      {"exit 3", "failed"},
      {"printf 'pw\\n'; exit 1", "failed"},
      {"kill -9 $$", "failed"},
      {"true", "no password"},
      {"printf '\\nlater\\n'", "no password"},
      {"head -c 5000 /dev/zero | tr '\\0' a", "too long"},
  };
  for (const auto& [command, reason] : cases) {
    std::string error;
    EXPECT_FALSE(PasswordFromCommand(command, &error)) << command;
    EXPECT_NE(error.find(reason), std::string::npos) << command << ": " << error;
  }
}

TEST(PasswordSecret, ClearsWhatItHeld) {
  Secret secret;
  ASSERT_TRUE(secret.Append("hunter2"));
  const char* bytes = secret.View().data();
  secret.Truncate(3);
  EXPECT_EQ(secret.View(), "hun");
  EXPECT_EQ(std::string(bytes + 3, 4), std::string(4, '\0'));
  EXPECT_FALSE(secret.Append(std::string(Secret::kCapacity, 'x')));
  EXPECT_EQ(secret.View(), "hun");
}

TEST(PasswordTerminal, ReadsALineWithoutEchoingIt) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const int savedStdin = dup(STDIN_FILENO);
  dup2(slave, STDIN_FILENO);
  // Types only once echo is off, as a person would at the prompt.
  std::thread typist([master] {
    for (int i = 0; i < 500; ++i) {
      termios t{};
      if (tcgetattr(master, &t) == 0 && !(t.c_lflag & ECHO)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(write(master, "hunter2\n", 8), 8);
  });
  std::string error;
  const std::optional<Secret> secret = PasswordFromTerminal("Password: ", &error);
  typist.join();
  dup2(savedStdin, STDIN_FILENO);
  close(savedStdin);
  ASSERT_TRUE(secret) << error;
  EXPECT_EQ(secret->View(), "hunter2");
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_TRUE(after.c_lflag & ECHO);  // the terminal is as it was
  fcntl(master, F_SETFL, O_NONBLOCK);
  char echoed[256];
  const ssize_t n = read(master, echoed, sizeof echoed);
  EXPECT_EQ(std::string(echoed, n > 0 ? static_cast<size_t>(n) : 0).find("hunter2"), std::string::npos);
  close(slave);
  close(master);

  std::string reason;
  EXPECT_FALSE(AccountPassword(AccountUrl{}, "", false, &reason));
  EXPECT_EQ(reason, "no password");
}

}  // namespace
