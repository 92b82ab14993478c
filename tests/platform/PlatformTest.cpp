#include <csignal>
#include <filesystem>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "platform/InstanceLock.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDirTest;
using testsupport::WriteFile;

// Runs fn in a forked child and returns its exit status (or -signal).
template <typename Fn>
int InChild(Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class InstanceLockTest : public TempDirTest {
protected:
  ~InstanceLockTest() override { platform::ReleaseInstanceLock(); }
};

TEST_F(InstanceLockTest, SecondProcessSeesAlreadyRunning) {
  ASSERT_EQ(platform::AcquireInstanceLock(), 0u);
  // The child drops its inherited copy of the descriptor, so it asks for the
  // lock afresh, as a separately started program would.
  EXPECT_EQ(InChild([] {
              platform::ReleaseInstanceLock();
              return static_cast<int>(platform::AcquireInstanceLock());
            }),
            183);
  // The holder is undisturbed and may ask again.
  EXPECT_EQ(platform::AcquireInstanceLock(), 0u);
}

TEST_F(InstanceLockTest, KilledHolderDoesNotBlockTheNextStart) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    const char ok = platform::AcquireInstanceLock() == 0 ? '1' : '0';
    (void)!write(ready[1], &ok, 1);
    pause();
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  EXPECT_EQ(platform::AcquireInstanceLock(), 183u);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(platform::AcquireInstanceLock(), 0u);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(InstanceLockTest, LockLivesInTheRuntimeFolder) {
  EXPECT_EQ(platform::InstanceLockPath().rfind((m_tmp / "runtime").string(), 0), 0u);
}

using FileTest = TempDirTest;

TEST_F(FileTest, WritesUtf16LittleEndianAndAppendsOnReopen) {
  const std::string path = (m_tmp / "log.txt").string();
  {
    platform::CFile file;
    ASSERT_TRUE(file.Open(path, platform::CFile::Mode::createNew));
    EXPECT_TRUE(file.Write(u"A\u00e9"));
  }
  {
    platform::CFile file;
    ASSERT_TRUE(file.Open(path, platform::CFile::Mode::openExisting));
    EXPECT_TRUE(file.Write(u"\r\n"));
  }
  EXPECT_EQ(ReadFile(path), std::string("A\0\xe9\0\r\0\n\0", 8));
}

TEST_F(FileTest, HeldFileCannotBeOpenedByAnotherHolderOrProcess) {
  const std::string path = (m_tmp / "log.txt").string();
  platform::CFile first;
  ASSERT_TRUE(first.Open(path, platform::CFile::Mode::createNew));
  ASSERT_TRUE(first.Write(u"kept"));
  platform::CFile second;
  EXPECT_FALSE(second.Open(path, platform::CFile::Mode::openExisting));
  EXPECT_FALSE(second.Open(path, platform::CFile::Mode::createNew));
  EXPECT_EQ(InChild([&] {
              platform::CFile other;
              return other.Open(path, platform::CFile::Mode::openExisting) ? 1 : 0;
            }),
            0);
  // The refused createNew must not have truncated the holder's file.
  EXPECT_EQ(ReadFile(path).size(), 8u);
  first.Close();
  EXPECT_TRUE(second.Open(path, platform::CFile::Mode::openExisting));
}

TEST_F(FileTest, OpenExistingDoesNotCreate) {
  platform::CFile file;
  EXPECT_FALSE(file.Open((m_tmp / "missing.txt").string(), platform::CFile::Mode::openExisting));
  EXPECT_FALSE(std::filesystem::exists(m_tmp / "missing.txt"));
}

using PathsTest = TempDirTest;

TEST_F(PathsTest, DesktopFolderComesFromTheEnvironmentAndIsCreated) {
  const auto desk = m_tmp / "elsewhere" / "Desk";
  setenv("XDG_DESKTOP_DIR", desk.c_str(), 1);
  EXPECT_EQ(platform::DesktopFolder(), desk.string());
  EXPECT_TRUE(std::filesystem::is_directory(desk));
}

TEST_F(PathsTest, DesktopFolderReadsUserDirs) {
  unsetenv("XDG_DESKTOP_DIR");
  WriteFile(m_tmp / "config" / "user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
  EXPECT_EQ(platform::DesktopFolder(), (m_tmp / "home" / "Schreibtisch").string());
}

TEST_F(PathsTest, TimeStampHasNoLeadingZeros) {
  const std::string stamp = platform::ToUtf8(platform::TimeStamp());
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(([1-9]\d?)-([1-9]\d?)-\d{4}-(0|[1-9]\d?)-(0|[1-9]\d?)-(0|[1-9]\d?))")))
      << stamp;
}

TEST_F(PathsTest, CopyMakesANewFileAndNeverReplacesOne) {
  WriteFile(m_tmp / "a.nsf", "new content");
  WriteFile(m_tmp / "b.nsf", "old content that is longer");
  EXPECT_FALSE(platform::CopyFileNew((m_tmp / "a.nsf").string(), (m_tmp / "b.nsf").string()));
  EXPECT_EQ(ReadFile(m_tmp / "b.nsf"), "old content that is longer");
  EXPECT_TRUE(platform::CopyFileNew((m_tmp / "a.nsf").string(), (m_tmp / "c.nsf").string()));
  EXPECT_EQ(ReadFile(m_tmp / "c.nsf"), "new content");
  EXPECT_FALSE(platform::CopyFileNew((m_tmp / "none.nsf").string(), (m_tmp / "d.nsf").string()));
  EXPECT_FALSE(platform::CopyFileNew((m_tmp / "a.nsf").string(), (m_tmp / "no/dir/c.nsf").string()));
  // A stopped copy leaves nothing behind, not even its bytes under another name.
  const auto files = [this] { return std::distance(std::filesystem::directory_iterator(m_tmp.Path()), {}); };
  const auto before = files();
  const std::atomic<std::uint8_t> stopped{0};
  EXPECT_FALSE(platform::CopyFileNew((m_tmp / "a.nsf").string(), (m_tmp / "e.nsf").string(), &stopped));
  EXPECT_EQ(files(), before);
}

TEST_F(PathsTest, CopyGetsNoMoreAccessThanItsSourceAndStaysWritableByItsOwner) {
  const mode_t old = ::umask(022);
  const std::pair<mode_t, mode_t> cases[] = {{0640, 0640}, {0666, 0644}, {0440, 0640}, {0600, 0600}};
  int n = 0;
  for (const auto& [source, copy] : cases) {
    const auto src = m_tmp / ("s" + std::to_string(++n));
    WriteFile(src, "db");
    ::chmod(src.c_str(), source);
    const auto dst = m_tmp / ("c" + std::to_string(n));
    ASSERT_TRUE(platform::CopyFileNew(src.string(), dst.string()));
    struct stat st {};
    ASSERT_EQ(::stat(dst.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, copy) << std::oct << source;
  }
  ::umask(old);
}

TEST_F(PathsTest, FileSizeOfSparseFileOver4GiB) {
  const auto path = m_tmp / "big.nsf";
  WriteFile(path, "");
  std::filesystem::resize_file(path, 5ull * 1024 * 1024 * 1024);
  EXPECT_EQ(platform::FileSize(path.string()), 5ull * 1024 * 1024 * 1024);
  EXPECT_FALSE(platform::FileSize((m_tmp / "none").string()).has_value());
  EXPECT_FALSE(platform::FileSize(m_tmp.Path().string()).has_value());
}

TEST(Text, Utf8RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600z";
  EXPECT_EQ(platform::FromUtf8(platform::ToUtf8(text)), text);
  EXPECT_EQ(platform::ToUtf8(text), "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80z");
}

TEST(Text, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(platform::FromUtf8("a\xff" "b"), u"a\ufffdb");
  EXPECT_EQ(platform::FromUtf8("\xe4\xb8"), u"\ufffd\ufffd");
  EXPECT_EQ(platform::FromUtf8("\xc0\xaf"), u"\ufffd\ufffd");  // overlong '/'
  EXPECT_EQ(platform::ToUtf8(u"\xd800x"), "\xef\xbf\xbdx");
}

}  // namespace

TEST(Text, DistinctUtf8KeepsEveryTextApartAndReadsBack) {
  const std::u16string texts[] = {u"",           u"abc",        u"\u00e4\u4e2d", u"\U0001F600",
                                  u"\xD800",     u"\xDC00" u"a", u"\uFFFD",       std::u16string(u"a\0b", 3)};
  std::set<std::string> seen;
  for (const std::u16string& text : texts) {
    std::string bytes;
    platform::AppendDistinctUtf8(bytes, text);
    EXPECT_EQ(platform::FromDistinctUtf8(bytes), text);
    EXPECT_TRUE(seen.insert(bytes).second) << bytes;  // a lone surrogate is not U+FFFD
  }
}

TEST(Text, PlainUtf8IsWellFormedWithoutZeroBytes) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},          {"abc", true},           {"Gr\xc3\xbc\xe4\xb8\xad\xf0\x9f\x98\x80", true},
      {"\xef\xbf\xbd", true}, {std::string("a\0b", 3), false}, {"\xff", false},
      {"\xc0\xaf", false},   {"\xed\xa0\x80", false},  {"\xe4\xb8", false},
      {"\xf4\x90\x80\x80", false}};
  for (const auto& [bytes, bPlain] : cases) EXPECT_EQ(platform::IsPlainUtf8(bytes), bPlain) << bytes;
}
