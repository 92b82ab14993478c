// The mbox lock's draft, made in the mbox's folder that other users may
// write: names planted there are never written through.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mail/SourceLock.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

TEST(SourceLockDraft, APlantedDraftNameIsPassedOverAndItsTargetLeftWhole) {
  testsupport::ScopedTempDir scratch;
  const fs::path tmp = scratch / "spool";
  fs::create_directory(tmp);
  testsupport::WriteFile(tmp / "victim", "root-owned important content");
  testsupport::WriteFile(tmp / "mailbox", "From a@b Mon Jan  1 00:00:00 2024\nSubject: x\n\nbody\n");
  const fs::path planted = tmp / (".tarnwick-lock-" + std::to_string(::getpid()));
  fs::create_symlink(tmp / "victim", planted);
  {
    mailio::MboxLock lock;
    std::string error;
    ASSERT_TRUE(lock.Acquire(tmp / "mailbox", &error)) << error;
    EXPECT_EQ(testsupport::ReadFile(tmp / "mailbox.lock"), std::to_string(::getpid()) + "\n");
    struct stat st {};
    ASSERT_EQ(::lstat((tmp / "mailbox.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
  EXPECT_EQ(testsupport::ReadFile(tmp / "victim"), "root-owned important content");
  EXPECT_TRUE(fs::is_symlink(planted));
  // No draft of ours stays behind, nor the dotlock.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(tmp)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{planted.filename().string(), "mailbox", "victim"}));
}
