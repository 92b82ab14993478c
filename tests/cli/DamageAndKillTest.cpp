// tarnwick-cli and nsftool on damaged databases and killed runs: nothing dies
// by a signal or hangs, a refusing run changes no file, a partial run never
// passes in silence, and a run killed at any moment leaves a database that
// opens with every document whole and in exactly one state.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/NsfJson.h"
#include "tests/support/TestSupport.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/Sample.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

struct Ran {
  int nExit = -1;  // 124 and above: a hang or a signal
  std::string out, err;
};

// Runs a tool under a time limit; a hang ends as exit 137.
Ran RunTool(const fs::path& tmp, const std::string& tool, const std::string& args) {
  const std::string command = "timeout -s KILL 120 " + testsupport::ToolPath(tool).string() + " " + args +
                              " </dev/null >" + (tmp / "out.txt").string() + " 2>" + (tmp / "err.txt").string();
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 255, testsupport::ReadFile(tmp / "out.txt"),
          testsupport::ReadFile(tmp / "err.txt")};
}

// The rows that show how far a dry run got: its folders and what each found.
std::vector<std::string> ProgressRows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Processing Folder :", 0) == 0 || line.rfind("Total Items Found: ", 0) == 0)
      rows.push_back(line.substr(0, line.find(" , Items Save")));
  return rows;
}

// The bounded set of damages: cuts, flipped bytes, zeroed pages, page sizes.
std::vector<std::pair<std::string, std::string>> Damaged(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> out;
  const std::size_t page = 4096, pages = bytes.size() / page;
  for (std::size_t cut : {std::size_t{0}, std::size_t{100}, page, bytes.size() / 2, bytes.size() - page, bytes.size() - 1})
    out.emplace_back("cut at " + std::to_string(cut), bytes.substr(0, cut));
  std::mt19937 rng(12);
  for (int i = 0; i < 16; ++i) {
    std::string b = bytes;
    const std::size_t at = 100 + rng() % (b.size() - 100);
    b[at] = static_cast<char>(b[at] ^ (1 + rng() % 255));
    out.emplace_back("byte " + std::to_string(at) + " flipped", b);
  }
  for (std::size_t p : {std::size_t{1}, std::size_t{2}, pages / 2, pages - 1}) {
    std::string b = bytes;
    std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(p * page), page, '\0');
    out.emplace_back("page " + std::to_string(p) + " zeroed", b);
  }
  for (unsigned size : {512u, 1024u, 1u, 3u}) {  // 1 means 65536
    std::string b = bytes;
    b[16] = static_cast<char>(size >> 8);
    b[17] = static_cast<char>(size & 0xff);
    out.emplace_back("page size field " + std::to_string(size), b);
  }
  return out;
}

class DamageAndKill : public testsupport::TempDirTest {
protected:
  fs::path Sample(std::uint32_t docs) {
    nsftool::SampleOptions options;
    options.nDocs = docs;
    options.nSeed = 3;
    options.nFolders = 4;
    nsftool::MakeSample(m_tmp / "sample.nsf", options);
    return m_tmp / "sample.nsf";
  }
};

TEST_F(DamageAndKill, DamagedCopiesAreRefusedOrReportedNeverPartlyPassed) {
  const fs::path sample = Sample(300);
  const std::string dryRun = "--dry-run --action delete --log-dir " + (m_tmp / "logs").string() + " ";
  const Ran clean = RunTool(m_tmp.Path(), "tarnwick-cli", dryRun + sample.string());
  ASSERT_EQ(clean.nExit, 0) << clean.err;
  const std::vector<std::string> complete = ProgressRows(clean.out);
  ASSERT_GT(complete.size(), 10u);
  const fs::path db = m_tmp / "damaged.nsf";
  for (const auto& [how, bytes] : Damaged(testsupport::ReadFile(sample))) {
    SCOPED_TRACE(how);
    fs::remove(db);
    testsupport::WriteFile(db, bytes);
    const Ran dump = RunTool(m_tmp.Path(), "nsftool", "dump " + db.string());
    EXPECT_LE(dump.nExit, 1) << dump.err;
    EXPECT_TRUE(dump.nExit == 0 || !dump.err.empty());
    const Ran run = RunTool(m_tmp.Path(), "tarnwick-cli", dryRun + db.string());
    EXPECT_LE(run.nExit, 1) << run.err;
    if (run.nExit == 0) {
      EXPECT_EQ(ProgressRows(run.out), complete) << run.out;
    }
    EXPECT_TRUE(testsupport::ReadFile(db) == bytes);
    EXPECT_FALSE(fs::exists(db.string() + "-journal"));
  }
}

// Note ids of a dump's live documents with their items, and its folders.
struct State {
  std::map<int, std::string> docs;  // note id -> items as text
  std::set<int> trash;
  std::map<std::string, std::set<int>> folders;
};

State Read(const fs::path& db) {
  const json dump = json::parse(nsftool::DumpJson(db));
  State s;
  for (const auto& id : dump["trash"]) s.trash.insert(id.get<int>());
  for (const auto& note : dump["notes"]) {
    if (note["class"] == "document" && !s.trash.count(note["noteId"].get<int>()))
      s.docs[note["noteId"]] = note["items"].dump();
    if (note["class"] == "folder") s.folders[note["name"]] = note["entries"].get<std::set<int>>();
  }
  return s;
}

// Each document of before, after a killed run of action: whole, and in one
// state (there or gone; live or in the trash; in place or moved; ...).
void ExpectOneStateEach(const State& before, const State& after, const std::string& action) {
  std::map<std::string, int> left;  // content -> documents of before holding it, less those there now
  for (const auto& [id, items] : before.docs) ++left[items];
  for (const auto& [id, items] : after.docs) {
    const auto was = before.docs.find(id);
    if (was != before.docs.end()) {
      EXPECT_EQ(items, was->second) << "document " << id << " is not whole";
      --left[items];
      continue;
    }
    // A new document: a copy filed in the sub folder, of some document of before.
    EXPECT_TRUE(action == "move" || action == "copy") << "new document " << id;
    EXPECT_TRUE(left.count(items)) << "copy " << id << " is not whole";
    EXPECT_TRUE(after.folders.count("Dups") && after.folders.at("Dups").count(id)) << id;
    if (action == "move") --left[items];
  }
  for (int id : after.trash) {
    EXPECT_EQ(action, "trash");
    EXPECT_TRUE(before.docs.count(id));
    --left[before.docs.at(id)];
  }
  for (const auto& [items, n] : left) {
    if (action == "move" || action == "trash" || action == "copy")
      EXPECT_EQ(n, 0) << "a document is gone, or in two places: " << items.substr(0, 200);
    else
      EXPECT_GE(n, 0) << items.substr(0, 200);
  }
}

TEST_F(DamageAndKill, RunsKilledAtAnyMomentLeaveEveryDocumentWholeInOneState) {
  const fs::path sample = Sample(1500);
  const std::string sampleBytes = testsupport::ReadFile(sample);
  const State before = Read(sample);
  std::mt19937 rng(7);
  for (const std::string action : {"delete", "trash", "move", "copy", "new-file"}) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(action + " round " + std::to_string(round));
      const fs::path db = m_tmp / "work.nsf", out = m_tmp / "new";
      fs::remove_all(out);
      fs::create_directories(out);
      fs::remove(db);
      testsupport::WriteFile(db, sampleBytes);
      std::vector<std::string> args = {testsupport::ToolPath("tarnwick-cli").string(), "--yes", "--quiet",
                                       "--log-dir", (m_tmp / "logs").string()};
      if (action == "new-file") {
        args.insert(args.end(), {"--new-files", out.string()});
      } else {
        args.insert(args.end(), {"--action", action});
        if (action == "move" || action == "copy") args.insert(args.end(), {"--folder", "Dups"});
      }
      args.push_back(db.string());
      const pid_t pid = fork();
      if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20 + rng() % 600));
      kill(pid, SIGKILL);
      int status = 0;
      waitpid(pid, &status, 0);
      if (action == "new-file") {
        EXPECT_TRUE(testsupport::ReadFile(db) == sampleBytes);
        for (const auto& entry : fs::directory_iterator(out))
          if (entry.path().extension() == ".nsf") ExpectOneStateEach(before, Read(entry.path()), "delete");
      } else {
        ExpectOneStateEach(before, Read(db), action);
      }
    }
  }
}

}  // namespace
