// Passwords from a command: the first line of what it prints, refused when
// the command fails or prints nothing usable.
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

}  // namespace
