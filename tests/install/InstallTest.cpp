// What `cmake --install` puts on a machine (the tree the Debian package is
// made of), and the manual pages against the programs' --help.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Standard output of a command, and whether it exited 0.
std::pair<bool, std::string> Output(const std::string& command) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {false, ""};
  std::string out;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  return {pclose(pipe) == 0, out};
}

// Width and height from a PNG's header chunk.
std::pair<int, int> PngSize(const fs::path& path) {
  const std::string bytes = testsupport::ReadFile(path);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  const auto be32 = [&](std::size_t at) {
    int v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  return {be32(16), be32(20)};
}

class InstallTree : public testsupport::TempDirTest {};

TEST_F(InstallTree, HoldsProgramsMenuEntryIconsManualPagesAndDocumentation) {
  const fs::path stage = m_tmp / "stage";
  const std::string command = std::string("'") + TARNWICK_CMAKE_COMMAND + "' --install '" + TARNWICK_BINARY_DIR +
                              "' --prefix '" + stage.string() + "' > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  for (const char* program : {"tarnwick", "tarnwick-cli", "nsftool"}) {
    struct stat info {};
    ASSERT_EQ(stat((stage / "bin" / program).c_str(), &info), 0) << program;
    EXPECT_TRUE(info.st_mode & S_IXOTH) << program;
  }
  for (const char* page : {"tarnwick", "tarnwick-cli", "nsftool"}) {
    const std::string gz = testsupport::ReadFile(stage / "share/man/man1" / (std::string(page) + ".1.gz"));
    EXPECT_EQ(gz.substr(0, 2), "\x1f\x8b") << page;
  }
  for (const int size : {16, 24, 32, 48}) {
    const std::string dir = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(PngSize(stage / "share/icons/hicolor" / dir / "apps/tarnwick.png"), std::make_pair(size, size));
  }
  for (const char* doc : {"README.md", "artwork-licences.md", "copyright", "changelog.gz", "manual.html"})
    EXPECT_TRUE(fs::is_regular_file(stage / "share/doc/tarnwick" / doc)) << doc;

  const fs::path desktop = stage / "share/applications/tarnwick.desktop";
  const std::string entry = testsupport::ReadFile(desktop);
  EXPECT_NE(entry.find("\nExec=tarnwick\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=tarnwick\n"), std::string::npos);
  EXPECT_TRUE(std::regex_search(entry, std::regex("\nCategories=([^\n]*;)?(Office|Utility);")));
  const auto [valid, problems] = Output("desktop-file-validate '" + desktop.string() + "' 2>&1");
  EXPECT_TRUE(valid) << problems;
}

// An option or sub-command that --help names must be on its manual page.
TEST(ManualPages, NameEveryOptionAndCommandThatHelpPrints) {
  const struct {
    const char* program;
    std::regex named;  // what --help names that the page must hold
  } cases[] = {
      {"tarnwick-cli", std::regex("--[a-z][a-z0-9-]*")},
      {"nsftool", std::regex("--[a-z][a-z0-9-]*|nsftool [a-z][a-z-]*")},
  };
  for (const auto& c : cases) {
    const auto [ok, help] = Output("'" + testsupport::ToolPath(c.program).string() + "' --help");
    ASSERT_TRUE(ok) << c.program;
    // The page as text: roff's escaped hyphens and font changes taken out.
    std::string page = testsupport::ReadFile(fs::path(TARNWICK_SOURCE_DIR) / "man" / (std::string(c.program) + ".1"));
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    page = std::regex_replace(page, std::regex(R"(\\f[BIRP])"), "");
    page = std::regex_replace(page, std::regex(R"(\n\.[A-Z]+ )"), "\n");
    std::set<std::string> named;
    for (std::sregex_iterator it(help.begin(), help.end(), c.named), end; it != end; ++it) named.insert(it->str());
    EXPECT_GT(named.size(), 5u) << help;
    for (const std::string& name : named) {
      const std::string word = name.rfind("nsftool ", 0) == 0 ? name.substr(8) : name;
      EXPECT_TRUE(std::regex_search(page, std::regex("(^|[^a-z-])" + word + "([^a-z-]|$)")))
          << c.program << "(1) does not name " << word;
    }
  }
}

}  // namespace
