// Whole runs of a fixed seeded sample, compared with stored digests of what a
// user sees: the rows, the log file and the databases afterwards. Any change
// in what is kept, removed, printed or logged shows here, whatever part of
// the program caused it; speed work must leave every digest as it is.
//
// The expectations live in expected.txt beside this file, one "case digest"
// per line. After a deliberate change of behaviour, run the suite with
// TARNWICK_GOLDEN_RECORD=1 to write them anew, and say why in the commit.
// On a mismatch the normalised text of the case is left in the build folder
// (golden-actual/), so that it can be compared with a run of an older build.
#include <sys/wait.h>

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testsupport::RunTool;

namespace fs = std::filesystem;

const fs::path kExpected = fs::path(TARNWICK_SOURCE_DIR) / "tests/golden/expected.txt";

struct GoldenCase {
  const char* name;
  std::vector<std::string> args;  // before the databases
  bool bMultiple;                 // two databases of one file name, else one
};

const GoldenCase kCases[] = {
    {"dry-folder", {"--action", "delete", "--dry-run"}, false},
    {"dry-file", {"--action", "delete", "--dry-run", "--scope", "file"}, false},
    {"delete-folder", {"--action", "delete", "--yes"}, false},
    {"delete-file", {"--action", "delete", "--yes", "--scope", "file"}, false},
    {"trash-folder", {"--action", "trash", "--yes"}, false},
    {"move-folder", {"--action", "move", "--folder", "Dups", "--yes"}, false},
    {"copy-file", {"--action", "copy", "--folder", "Dups", "--yes", "--scope", "file"}, false},
    {"newfile-folder", {"--new-files", "@out"}, false},
    {"newfile-file-allview", {"--new-files", "@out", "--scope", "file", "--include-all-view"}, false},
    {"newfile-subset-hm",
     {"--new-files", "@out", "--mail", "subject,sender", "--contact", "email", "--time-hm"},
     false},
    {"newfile-range", {"--new-files", "@out", "--range", "2015-01-01,2019-12-31T23:59:59"}, false},
    {"multiple-newfile", {"--new-files", "@out"}, true},
    {"multiple-delete-file", {"--action", "delete", "--yes", "--scope", "file"}, true},
};

// The log file is UTF-16LE; its rows here are ASCII apart from the paths.
std::string Utf16ToUtf8(const std::string& bytes) {
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  std::string text;
  for (char16_t c : wide) {
    if (c < 0x80) {
      text.push_back(static_cast<char>(c));
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      text += buffer;
    }
  }
  return text;
}

std::string Sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  char buffer[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", digest[i]);
    hex += buffer;
  }
  return hex;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[16];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &local);
  return buffer;
}

std::map<std::string, std::string> ReadExpected() {
  std::map<std::string, std::string> expected;
  std::ifstream in(kExpected);
  for (std::string name, digest; in >> name >> digest;) expected[name] = digest;
  return expected;
}

class GoldenRun : public testsupport::TempDirTest {
protected:
  // The case's databases, the rows, the log and every database afterwards,
  // with the temporary folder and the time stamps taken out.
  std::string RunCase(const GoldenCase& c) {
    const fs::path dir = m_tmp / c.name;
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "logs");
    std::vector<fs::path> dbs;
    for (const char* sub : c.bMultiple ? std::vector<const char*>{"a", "b"}
                                       : std::vector<const char*>{"a"}) {
      fs::create_directories(dir / sub);
      dbs.push_back(dir / sub / "mail.nsf");
      fs::copy_file(m_tmp / "sample.nsf", dbs.back());
    }
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(arg == "@out" ? (dir / "out").string() : arg);
    args.insert(args.end(), {"--log-dir", (dir / "logs").string()});
    if (c.bMultiple) {
      args.insert(args.end(), {"--search", dir.string()});
    } else {
      args.push_back(dbs.front().string());
    }
    std::ostringstream text;
    text << "exit " << RunTool("tarnwick-cli", args, dir / "rows.txt", true) << "\n";
    text << testsupport::ReadFile(dir / "rows.txt");
    // The log files; the undo journal beside them holds copies of documents
    // with their modification times, which no two runs share.
    for (const auto& entry : fs::directory_iterator(dir / "logs"))
      if (entry.path().extension() == ".txt")
        text << "-- log\n" << Utf16ToUtf8(testsupport::ReadFile(entry.path()));
    std::vector<fs::path> results = dbs;
    for (const auto& entry : fs::directory_iterator(dir / "out")) results.push_back(entry.path());
    // Clean copies in the order they were made: by time stamp, then by the
    // -2, -3, ... of a second copy of one name made in the same second.
    const auto madeOrder = [](const fs::path& path) {
      static const std::regex kStamp(
          R"((\d{1,2})-(\d{1,2})-(\d{4})-(\d{1,2})-(\d{1,2})-(\d{1,2})(?:-(\d+))?\.nsf$)");
      const std::string name = path.filename().string();
      std::smatch m;
      if (!std::regex_search(name, m, kStamp)) return std::array<int, 7>{};
      return std::array<int, 7>{std::stoi(m[3]), std::stoi(m[2]), std::stoi(m[1]), std::stoi(m[4]),
                                std::stoi(m[5]), std::stoi(m[6]), m[7].matched ? std::stoi(m[7]) : 1};
    };
    std::sort(results.begin() + static_cast<std::ptrdiff_t>(dbs.size()), results.end(),
              [&](const fs::path& a, const fs::path& b) { return madeOrder(a) < madeOrder(b); });
    for (const fs::path& db : results) {
      const fs::path dump = dir / "dump.json";
      text << "-- dump " << db.filename().string() << " exit "
           << RunTool("nsftool", {"dump", db.string()}, dump, true) << "\n";
      text << testsupport::ReadFile(dump);
    }
    std::string normalised = std::regex_replace(text.str(), std::regex(m_tmp.Path().string()), "<tmp>");
    // A sub folder the run creates carries the time of the run.
    normalised = std::regex_replace(normalised, std::regex("\"created\": \"" + Today() + "T[0-9:]+\""),
                                    "\"created\": \"<now>\"");
    normalised = std::regex_replace(normalised, std::regex(R"(\d{1,2}-\d{1,2}-\d{4}-\d{1,2}-\d{1,2}-\d{1,2})"),
                                    "<stamp>");
    // Whether two copies of one name fell into the same second (and the
    // second got "-2") depends on the clock too.
    return std::regex_replace(normalised, std::regex(R"(<stamp>-\d+\.nsf)"), "<stamp>.nsf");
  }
};

TEST_F(GoldenRun, EveryActionAndScopeGivesTheRecordedRowsLogAndDatabases) {
  const fs::path seed = m_tmp / "seed.txt";
  ASSERT_EQ(RunTool("nsftool", {"sample", (m_tmp / "sample.nsf").string(), "--docs", "300", "--seed", "7"}, seed, true), 0)
      << testsupport::ReadFile(seed);
  const bool bRecord = std::getenv("TARNWICK_GOLDEN_RECORD") != nullptr;
  const fs::path actualDir = fs::path(TARNWICK_BINARY_DIR) / "golden-actual";
  const auto expected = ReadExpected();
  std::ostringstream recorded;
  for (const GoldenCase& c : kCases) {
    const std::string text = RunCase(c);
    const std::string digest = Sha256Hex(text);
    recorded << c.name << " " << digest << "\n";
    if (bRecord) continue;
    const auto it = expected.find(c.name);
    if (it != expected.end() && it->second == digest) continue;
    const fs::path actual = actualDir / (std::string(c.name) + ".txt");
    fs::create_directories(actualDir);
    testsupport::WriteFile(actual, text);
    ADD_FAILURE() << c.name << ": the run differs from its recorded outcome; see " << actual;
  }
  if (bRecord) testsupport::WriteFile(kExpected, recorded.str());
}

}  // namespace
