// What `cmake --install` puts on a machine (the tree the Debian package is
// made of), and the programs' --help against the manual pages and the README.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/DatePeriods.h"
#include "platform/Text.h"
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

// What one document says about a program's options: their names, and the
// default of each that states one.
struct OptionDoc {
  std::set<std::string> names;
  std::map<std::string, std::string> defaults;
};

const std::regex kOptionToken(R"((?:^|[\s\[|,`(])(--[a-z][a-z0-9-]*|-[a-z])(?=[^a-z0-9-]|$))");

std::vector<std::string> OptionTokens(const std::string& text) {
  std::vector<std::string> tokens;
  for (std::sregex_iterator it(text.begin(), text.end(), kOptionToken), end; it != end; ++it)
    tokens.push_back((*it)[1].str());
  return tokens;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Trimmed(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  const std::size_t end = text.find_last_not_of(" \t");
  return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

// --help: a line that starts with an option describes it, and the lines
// indented under it continue it; "(default: X)" gives its default.
OptionDoc FromHelp(const std::string& help) {
  OptionDoc doc;
  std::string current;
  const std::regex kDefault(R"(\(default: ([^)]*)\))");
  for (const std::string& line : Lines(help)) {
    for (const std::string& token : OptionTokens(line)) doc.names.insert(token);
    const std::string trimmed = Trimmed(line);
    if (trimmed.rfind("-", 0) == 0) current = OptionTokens(trimmed).at(0);
    else if (line.rfind("usage:", 0) == 0 || trimmed.rfind("nsftool", 0) == 0 || trimmed.rfind("tarnwick-cli", 0) == 0)
      current.clear();
    std::smatch match;
    if (std::regex_search(line, match, kDefault)) doc.defaults[current] = match[1];
  }
  return doc;
}

// The page as text: roff's escaped hyphens, backslashes and font changes
// taken out, each macro line's words kept after its macro.
std::string ManText(const std::string& program) {
  std::string page = testsupport::ReadFile(fs::path(TARNWICK_SOURCE_DIR) / "man" / (program + ".1"));
  page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
  page = std::regex_replace(page, std::regex(R"(\\e)"), "\\");
  page = std::regex_replace(page, std::regex(R"(\\f[BIRP]|\\\(lq|\\\(rq|\\&)"), "");
  return page;
}

// The OPTIONS section: each .TP's tag line names options; "Default: X." in
// its paragraph gives the first one's default.
OptionDoc FromManPage(const std::string& page) {
  OptionDoc doc;
  const std::size_t start = page.find("\n.SH OPTIONS");
  const std::size_t end = page.find("\n.SH ", start + 1);
  std::string current;
  bool bTag = false;
  const std::regex kDefault(R"(Default: (.*?)\.$)");
  for (const std::string& line : Lines(page.substr(start, end - start))) {
    if (line.rfind(".TP", 0) == 0) {
      bTag = true;
      continue;
    }
    if (bTag) {
      const std::vector<std::string> tokens = OptionTokens(line);
      doc.names.insert(tokens.begin(), tokens.end());
      current = tokens.empty() ? "" : tokens[0];
      bTag = false;
      continue;
    }
    std::smatch match;
    if (std::regex_search(line, match, kDefault)) doc.defaults[current] = match[1];
  }
  return doc;
}

// The README section headed by heading: its option table's rows ("| `--x
// ARG` | what | default |", "—" for none).
OptionDoc FromReadme(const std::string& readme, const std::string& heading) {
  OptionDoc doc;
  const std::size_t start = readme.find("\n## " + heading);
  const std::size_t end = readme.find("\n## ", start + 1);
  for (const std::string& line : Lines(readme.substr(start, end - start))) {
    if (line.rfind("| `-", 0) != 0) continue;
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (line[i] == '|' && line[i - 1] != '\\') {
        cells.push_back(Trimmed(cell));
        cell.clear();
      } else {
        cell += line[i];
      }
    }
    if (cells.size() != 3) continue;
    const std::vector<std::string> tokens = OptionTokens(cells[0]);
    doc.names.insert(tokens.begin(), tokens.end());
    if (cells[2] != "—") doc.defaults[tokens.at(0)] = cells[2];
  }
  return doc;
}

// --help, the manual page and the README name the same options with the
// same defaults, both ways: a new option, or a changed default, must reach
// every one of them.
TEST(Documents, HelpManualPagesAndReadmeAgreeOnEveryOptionAndDefault) {
  const std::string readme = testsupport::ReadFile(fs::path(TARNWICK_SOURCE_DIR) / "README.md");
  const struct {
    const char* program;
    const char* readmeHeading;
  } cases[] = {{"tarnwick-cli", "Cleaning from a script"}, {"nsftool", "Making databases with nsftool"}};
  for (const auto& c : cases) {
    for (const char* flag : {"--help", "-h"}) {
      const auto [ok, help] = Output("'" + testsupport::ToolPath(c.program).string() + "' " + flag);
      ASSERT_TRUE(ok) << c.program << " " << flag;
      const OptionDoc fromHelp = FromHelp(help);
      const OptionDoc fromPage = FromManPage(ManText(c.program));
      const OptionDoc fromReadme = FromReadme(readme, c.readmeHeading);
      EXPECT_GT(fromHelp.names.size(), 8u) << help;
      EXPECT_EQ(fromPage.names, fromHelp.names) << c.program << "(1) against --help";
      EXPECT_EQ(fromReadme.names, fromHelp.names) << "README against " << c.program << " --help";
      EXPECT_GE(fromHelp.defaults.size(), 4u) << help;
      EXPECT_EQ(fromPage.defaults, fromHelp.defaults) << c.program << "(1) against --help";
      EXPECT_EQ(fromReadme.defaults, fromHelp.defaults) << "README against " << c.program << " --help";
    }
  }
}

// Each command's synopsis: --help, the manual page's and the README's
// command lines give it the same options.
TEST(Documents, NsftoolCommandsTakeTheSameOptionsEverywhere) {
  const auto [ok, help] = Output("'" + testsupport::ToolPath("nsftool").string() + "' --help");
  ASSERT_TRUE(ok);
  const std::regex kCommand(R"((?:^|\s)(?:build/tools/)?nsftool ([a-z][a-z-]*)\b(.*))");
  const auto synopses = [&](const std::string& text, const char* linePrefix) {
    std::map<std::string, std::set<std::string>> options;
    for (const std::string& line : Lines(text)) {
      std::smatch match;
      if (line.rfind(linePrefix, 0) != 0 || !std::regex_search(line, match, kCommand)) continue;
      const std::vector<std::string> tokens = OptionTokens(match[2].str().substr(0, match[2].str().find("   ")));
      options[match[1]].insert(tokens.begin(), tokens.end());
    }
    return options;
  };
  // The page's synopsis is one macro per word: its lines joined at each .br.
  std::string page = ManText("nsftool");
  page = page.substr(page.find(".SH SYNOPSIS"), page.find(".SH DESCRIPTION") - page.find(".SH SYNOPSIS"));
  page = std::regex_replace(page, std::regex(R"(\n\.br\n)"), "\n\x01");
  page = std::regex_replace(page, std::regex(R"(\n\.[A-Z]+ ?)"), " ");
  page = std::regex_replace(page, std::regex("\x01"), "\n");
  const auto fromHelp = synopses(help, "");
  EXPECT_GE(fromHelp.size(), 8u) << help;
  EXPECT_EQ(synopses(page, ""), fromHelp) << "nsftool(1)";
  EXPECT_EQ(synopses(testsupport::ReadFile(fs::path(TARNWICK_SOURCE_DIR) / "README.md"), "    build/tools/nsftool"),
            fromHelp)
      << "README";
}

// --period's numbers are the date page's predefined periods, named in
// --help and on the manual page as the page names them.
TEST(Documents, PeriodNamesAreListedInHelpAndManualPage) {
  const auto [ok, help] = Output("'" + testsupport::ToolPath("tarnwick-cli").string() + "' --help");
  ASSERT_TRUE(ok);
  const std::string page = std::regex_replace(ManText("tarnwick-cli"), std::regex(R"(\s+)"), " ");
  for (int i = 0; i < dateperiods::kPeriodCount; ++i) {
    const std::string named = std::to_string(i) + " " + platform::ToUtf8(dateperiods::PeriodText(i));
    EXPECT_NE(help.find(named), std::string::npos) << named;
    EXPECT_NE(page.find(named), std::string::npos) << named;
  }
}

}  // namespace
