// Files and folders created new: planted names, modes whatever the umask,
// the run's folder in the cache and the leftovers of killed runs.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "platform/CacheFolder.h"
#include "platform/CreateNew.h"
#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;
using platform::Access;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

class ScopedUmask {
public:
  explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
  ~ScopedUmask() { ::umask(m_old); }

private:
  mode_t m_old;
};

class CreateNewTest : public testsupport::TempDirTest {
protected:
  // A victim file and folder that planted names point at.
  void SetUp() override {
    WriteFile(m_tmp / "victim", "precious");
    ::chmod((m_tmp / "victim").c_str(), 0644);
    fs::create_directory(m_tmp / "victimdir");
    ::chmod((m_tmp / "victimdir").c_str(), 0755);
  }
  void ExpectVictimsUntouched() {
    EXPECT_EQ(ReadFile(m_tmp / "victim"), "precious");
    EXPECT_EQ(ModeOf(m_tmp / "victim"), 0644u);
    EXPECT_EQ(ModeOf(m_tmp / "victimdir"), 0755u);
    EXPECT_TRUE(fs::is_empty(m_tmp / "victimdir"));
  }
};

}  // namespace

TEST_F(CreateNewTest, APlantedNameIsNeverFollowedTruncatedOrChanged) {
  const std::map<std::string, std::function<void(const fs::path&)>> planted = {
      {"link to a file", [&](const fs::path& p) { fs::create_symlink(m_tmp / "victim", p); }},
      {"link to a folder", [&](const fs::path& p) { fs::create_directory_symlink(m_tmp / "victimdir", p); }},
      {"dangling link", [&](const fs::path& p) { fs::create_symlink(m_tmp / "nowhere", p); }},
      {"hard link", [&](const fs::path& p) { fs::create_hard_link(m_tmp / "victim", p); }},
      {"fifo", [&](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
  };
  int n = 0;
  for (const auto& [kind, plant] : planted) {
    for (const Access access : {Access::ownerOnly, Access::likeSource}) {
      const fs::path name = m_tmp / ("planted-" + std::to_string(++n));
      plant(name);
      errno = 0;
      EXPECT_EQ(platform::CreateNewFile(name, access, 0666, O_RDWR | O_TRUNC), -1) << kind;
      EXPECT_EQ(errno, EEXIST) << kind;
      EXPECT_FALSE(platform::CreateNewDirectory(name, access)) << kind;
      EXPECT_EQ(errno, EEXIST) << kind;
      // An existing file is opened only when it is a regular file of ours,
      // never through a link, and a FIFO never blocks the open.
      if (kind != "hard link") {
        EXPECT_EQ(platform::OpenOwnRegularFile(name, O_WRONLY | O_TRUNC), -1) << kind;
      }
    }
  }
  ExpectVictimsUntouched();
}

TEST_F(CreateNewTest, AnotherUsersFileIsNeitherOpenedNorCut) {
  const fs::path theirs = m_tmp / "theirs";
  WriteFile(theirs, "their mail");
  if (::chown(theirs.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "needs the right to give files away";
  errno = 0;
  EXPECT_EQ(platform::OpenOwnRegularFile(theirs, O_WRONLY | O_TRUNC), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(ReadFile(theirs), "their mail");
}

TEST_F(CreateNewTest, ModesAreOwnerOnlyOrTheSourcesMaskedWhateverTheUmask) {
  struct Case {
    mode_t umask;
    Access access;
    mode_t sourceMode, file, folder;
  };
  const Case cases[] = {
      {000, Access::ownerOnly, 0666, 0600, 0700},  {022, Access::ownerOnly, 0666, 0600, 0700},
      {0777, Access::ownerOnly, 0666, 0600, 0700}, {022, Access::likeSource, 0644, 0644, 0644},
      {077, Access::likeSource, 0644, 0600, 0600}, {002, Access::likeSource, 0775, 0775, 0775},
      {022, Access::likeSource, 0600, 0600, 0600},
  };
  int n = 0;
  for (const Case& c : cases) {
    ScopedUmask mask(c.umask);
    const fs::path file = m_tmp / ("f" + std::to_string(++n));
    const int fd = platform::CreateNewFile(file, c.access, c.sourceMode);
    ASSERT_GE(fd, 0) << n;
    ::close(fd);
    EXPECT_EQ(ModeOf(file), c.file) << "case " << n;
    const fs::path dir = m_tmp / ("d" + std::to_string(n));
    ASSERT_TRUE(platform::CreateNewDirectory(dir, c.access, c.sourceMode)) << n;
    EXPECT_EQ(ModeOf(dir), c.folder) << "case " << n;
  }
}

TEST_F(CreateNewTest, UniqueNamesPassOverTakenOnesAndEveryCreationIsRecorded) {
  std::map<std::string, mode_t> recorded;
  platform::SetCreationObserver([&](const std::string& path, bool, mode_t mode) { recorded[path] = mode; });
  std::string file, dir;
  const int fd = platform::CreateUniqueFile((m_tmp / "r.json.part-").string(), Access::ownerOnly, &file);
  ASSERT_GE(fd, 0);
  ::close(fd);
  ASSERT_TRUE(platform::CreateUniqueDirectory((m_tmp / "run-").string(), Access::ownerOnly, &dir));
  ASSERT_TRUE(platform::CreateMissingDirectories((m_tmp / "a/b/c").string(), Access::likeSource, 0700));
  EXPECT_TRUE(platform::CreateMissingDirectories((m_tmp / "a/b").string(), Access::likeSource));
  EXPECT_FALSE(platform::CreateMissingDirectories((m_tmp / "victim/x").string(), Access::likeSource));
  platform::SetCreationObserver(nullptr);

  EXPECT_EQ(file.rfind((m_tmp / "r.json.part-").string(), 0), 0u);
  EXPECT_EQ(file.size(), (m_tmp / "r.json.part-").string().size() + 6);
  EXPECT_EQ(dir.rfind((m_tmp / "run-").string(), 0), 0u);
  const std::map<std::string, mode_t> expected = {
      {file, 0600}, {dir, 0700}, {(m_tmp / "a").string(), 0700},
      {(m_tmp / "a/b").string(), 0700}, {(m_tmp / "a/b/c").string(), 0700}};
  EXPECT_EQ(recorded, expected);
  ExpectVictimsUntouched();
}

// The cache: where it is, what is refused, what a later run clears away.
class RunCacheTest : public testsupport::TempDirTest {
protected:
  void SetUp() override {
    setenv("XDG_CACHE_HOME", (m_tmp / "cache").c_str(), 1);
    m_cache = m_tmp / "cache" / "tarnwick";
  }
  void TearDown() override { unsetenv("XDG_CACHE_HOME"); }
  fs::path m_cache;
};

TEST_F(RunCacheTest, EachRunHasAFolderOfItsOwnLockedWhileItLives) {
  platform::RunCacheFolder run;
  std::string error;
  ASSERT_TRUE(run.Create(&error)) << error;
  EXPECT_EQ(ModeOf(m_cache), 0700u);
  EXPECT_EQ(ModeOf(run.Path()), 0700u);
  EXPECT_EQ(fs::path(run.Path()).parent_path(), m_cache);
  const int fd = ::open(run.Path().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "held by the run";
  ::close(fd);
  WriteFile(fs::path(run.Path()) / "source-1.nsf", "db");
  const std::string path = run.Path();
  run.Remove();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(m_cache));
}

TEST_F(RunCacheTest, ALaterRunRemovesFoldersWhoseLockIsFreeAndOnlyThose) {
  fs::create_directories(m_cache);
  ::chmod(m_cache.c_str(), 0700);
  const auto folder = [&](const std::string& name, bool old) {
    fs::create_directories(m_cache / name);
    WriteFile(m_cache / name / "source-1.nsf", std::string(4096, 'x'));
    if (old) fs::last_write_time(m_cache / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
  };
  folder("run-killed", true);    // its process was killed: nobody holds it
  folder("run-alive", true);     // held below, as a living run holds its own
  folder("run-justmade", false); // its run may not have locked it yet
  folder("other", true);         // not a run folder
  const int held = ::open((m_cache / "run-alive").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  {
    platform::RunCacheFolder run;
    std::string error;
    ASSERT_TRUE(run.Create(&error)) << error;
    EXPECT_FALSE(fs::exists(m_cache / "run-killed"));
    EXPECT_TRUE(fs::exists(m_cache / "run-alive" / "source-1.nsf"));
    EXPECT_TRUE(fs::exists(m_cache / "run-justmade"));
    EXPECT_TRUE(fs::exists(m_cache / "other"));
  }
  ::close(held);
  EXPECT_EQ(platform::RemoveEndedRunFolders(m_cache.string()), 1) << "the lock went with its holder";
  EXPECT_FALSE(fs::exists(m_cache / "run-alive"));
}

TEST_F(RunCacheTest, ACacheFolderThatIsNotPrivateAndOursIsRefusedNamingItAndNeverChanged) {
  fs::create_directories(m_tmp / "cache");
  fs::create_directory(m_tmp / "elsewhere");
  ::chmod((m_tmp / "elsewhere").c_str(), 0755);
  const std::map<std::string, std::function<void()>> planted = {
      {"is a symbolic link", [&] { fs::create_directory_symlink(m_tmp / "elsewhere", m_cache); }},
      {"is open to other users", [&] { fs::create_directory(m_cache); ::chmod(m_cache.c_str(), 0777); }},
      {"is not a folder", [&] { WriteFile(m_cache, "x"); }},
      {"belongs to another user", [&] {
         fs::create_directory(m_cache);
         ::chmod(m_cache.c_str(), 0700);
         if (::chown(m_cache.c_str(), 65534, 65534) != 0) fs::remove(m_cache);
       }},
  };
  for (const auto& [why, plant] : planted) {
    plant();
    if (!fs::exists(fs::symlink_status(m_cache))) continue;  // could not give it away
    const mode_t before = ModeOf(m_cache);
    platform::RunCacheFolder run;
    std::string error;
    EXPECT_FALSE(run.Create(&error)) << why;
    EXPECT_EQ(error, "the cache folder " + m_cache.string() + " " + why);
    EXPECT_EQ(ModeOf(m_cache), before) << why;
    fs::remove(m_cache);
  }
  EXPECT_EQ(ModeOf(m_tmp / "elsewhere"), 0755u);
  EXPECT_TRUE(fs::is_empty(m_tmp / "elsewhere"));
}

TEST_F(RunCacheTest, WithoutCacheOrHomeTheCacheIsAFreshPrivateFolderUnderTmpdir) {
  unsetenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  unsetenv("HOME");
  fs::create_directories(m_tmp / "t");
  setenv("TMPDIR", (m_tmp / "t").c_str(), 1);
  std::string path;
  {
    platform::RunCacheFolder run;
    std::string error;
    ASSERT_TRUE(run.Create(&error)) << error;
    path = run.Path();
    const fs::path cache = fs::path(path).parent_path();
    EXPECT_EQ(cache.parent_path(), m_tmp / "t");
    EXPECT_EQ(cache.filename().string().rfind("tarnwick-cache-", 0), 0u);
    EXPECT_EQ(ModeOf(cache), 0700u);
    EXPECT_EQ(ModeOf(path), 0700u);
  }
  setenv("HOME", savedHome.c_str(), 1);
  EXPECT_TRUE(fs::is_empty(m_tmp / "t")) << "the fresh cache goes with its run";
}
