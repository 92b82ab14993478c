// The private temporary directory that receives pictures from people's mail.
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TempPath.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

class UserTempPathTest : public testsupport::TempDirTest {};

}  // namespace

TEST_F(UserTempPathTest, TmpdirComesFirstThenTheRuntimeDirectory) {
  setenv("TMPDIR", (m_tmp / "tmp").c_str(), 1);
  EXPECT_EQ(platform::UserTempPath(), (m_tmp / "tmp").string() + "/");
  setenv("TMPDIR", "", 1);  // set but empty counts as not set
  EXPECT_EQ(platform::UserTempPath(), (m_tmp / "runtime").string() + "/");
  unsetenv("TMPDIR");
  EXPECT_EQ(platform::UserTempPath(), (m_tmp / "runtime").string() + "/");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::UserTempPath(), "/tmp/tarnwick-" + std::to_string(::geteuid()) + "/");
}

TEST_F(UserTempPathTest, FallbackFolderIsMadePrivate) {
  const std::string base = m_tmp.Path().string();
  const uid_t uid = ::geteuid();
  const fs::path dir = m_tmp / ("tarnwick-" + std::to_string(uid));
  EXPECT_EQ(platform::detail::FallbackTempPath(base, uid), dir.string() + "/");
  ASSERT_TRUE(platform::detail::PrepareFallbackTempPath(base, uid));
  EXPECT_EQ(ModeOf(dir), 0700u);
  ASSERT_TRUE(platform::detail::PrepareFallbackTempPath(base, uid));  // reused as it is
  // A folder of ours that others could enter may hold names they planted:
  // refused, and its mode is not changed.
  fs::permissions(dir, fs::perms::all);
  EXPECT_FALSE(platform::detail::PrepareFallbackTempPath(base, uid));
  EXPECT_FALSE(platform::CreatePrivateDirectory(dir.string()));
  EXPECT_EQ(ModeOf(dir), 0777u);
}

TEST_F(UserTempPathTest, FallbackFolderPlantedByOthersIsRefused) {
  const std::string base = m_tmp.Path().string();
  const uid_t uid = ::geteuid();
  const fs::path dir = m_tmp / ("tarnwick-" + std::to_string(uid));

  // A symbolic link to a directory elsewhere.
  fs::create_directories(m_tmp / "elsewhere");
  fs::create_directory_symlink(m_tmp / "elsewhere", dir);
  EXPECT_FALSE(platform::detail::PrepareFallbackTempPath(base, uid));
  fs::remove(dir);

  // A plain file.
  testsupport::WriteFile(dir, "x");
  EXPECT_FALSE(platform::detail::PrepareFallbackTempPath(base, uid));
  fs::remove(dir);

  // A directory of another user (needs the right to give files away).
  fs::create_directory(dir);
  if (::chown(dir.c_str(), uid + 1, static_cast<gid_t>(-1)) == 0) {
    EXPECT_FALSE(platform::detail::PrepareFallbackTempPath(base, uid));
  }
}

TEST_F(UserTempPathTest, PrivateDirectoryIsMade0700AndLinksAreRefused) {
  const fs::path dir = m_tmp / "tmp" / "temp";
  ASSERT_TRUE(platform::CreatePrivateDirectory(dir.string() + "/"));
  EXPECT_EQ(ModeOf(dir), 0700u);
  EXPECT_TRUE(platform::CreatePrivateDirectory(dir.string()));  // existing is fine

  const fs::path link = m_tmp / "tmp" / "linked";
  fs::create_directory_symlink(m_tmp / "home", link);
  EXPECT_FALSE(platform::CreatePrivateDirectory(link.string()));
}

TEST_F(UserTempPathTest, PrivateFileIsWritten0600AndReplaced) {
  const fs::path file = m_tmp / "tmp" / "Body02A.gif";
  ASSERT_TRUE(platform::WritePrivateFile(file.string(), "GIF89a-one"));
  EXPECT_EQ(testsupport::ReadFile(file), "GIF89a-one");
  EXPECT_EQ(ModeOf(file), 0600u);

  fs::permissions(file, fs::perms::all);
  ASSERT_TRUE(platform::WritePrivateFile(file.string(), "two"));
  EXPECT_EQ(testsupport::ReadFile(file), "two");
  EXPECT_EQ(ModeOf(file), 0600u);
  // No scratch file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_tmp / "tmp"), fs::directory_iterator()), 1);
}

TEST_F(UserTempPathTest, PrivateFileNeverWritesThroughAPlantedLink) {
  const fs::path victim = m_tmp / "home" / "victim.txt";
  testsupport::WriteFile(victim, "precious");
  const fs::path file = m_tmp / "tmp" / "Body02A.gif";
  fs::create_symlink(victim, file);

  ASSERT_TRUE(platform::WritePrivateFile(file.string(), "GIF"));
  EXPECT_EQ(testsupport::ReadFile(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(testsupport::ReadFile(file), "GIF");
  EXPECT_EQ(ModeOf(file), 0600u);
}

TEST_F(UserTempPathTest, PrivateFileNeverWritesThroughAHardLinkOrIntoAPipe) {
  const fs::path victim = m_tmp / "tmp" / "victim.txt";
  testsupport::WriteFile(victim, "precious");
  const fs::path file = m_tmp / "tmp" / "Body02A.gif";
  fs::create_hard_link(victim, file);
  ASSERT_TRUE(platform::WritePrivateFile(file.string(), "GIF"));
  EXPECT_EQ(testsupport::ReadFile(victim), "precious");
  EXPECT_EQ(testsupport::ReadFile(file), "GIF");

  // A pipe at the name must neither block the run nor receive the bytes.
  const fs::path pipe = m_tmp / "tmp" / "Body02B.gif";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_TRUE(platform::WritePrivateFile(pipe.string(), "GIF89a"));
  EXPECT_TRUE(fs::is_regular_file(pipe));
  EXPECT_EQ(testsupport::ReadFile(pipe), "GIF89a");
}

TEST_F(UserTempPathTest, PrivateFileRefusesALinkedFolder) {
  const fs::path link = m_tmp / "tmp" / "temp";
  fs::create_directory_symlink(m_tmp / "home", link);
  EXPECT_FALSE(platform::WritePrivateFile((link / "Body02A.gif").string(), "GIF"));
  EXPECT_FALSE(fs::exists(m_tmp / "home" / "Body02A.gif"));
  EXPECT_FALSE(platform::WritePrivateFile((m_tmp / "tmp" / "missing" / "a.gif").string(), "GIF"));
}
