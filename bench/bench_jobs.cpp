// bench_jobs: several databases judged side by side (--jobs) against one at
// a time.
//
//   bench_jobs [--databases N] [--docs N] [--jobs N] [--dir DIR] [--keep]
//
// Makes N sample databases (default four of 25,000 memos each, different
// seeds), then times a dry run and a new-file run over all of them with one
// job and with --jobs (default 2), each in a child process: wall time,
// processor time (user + system) and peak memory. On a machine that others
// share, the wall times say what the second core gave only when it was idle.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/ChildRun.h"
#include "bench/NullPage.h"
#include "engine/Run.h"
#include "engine/RunSettings.h"
#include "platform/Text.h"
#include "tools/nsftool/Sample.h"

namespace {

namespace fs = std::filesystem;

void RunAll(const std::vector<fs::path>& dbs, const fs::path& dir, bool bDryRun, int nJobs) {
  RunSettings s;
  TickEverything(s);
  s.m_bMultipleFiles = 1;
  for (const fs::path& db : dbs) s.m_vecFilePaths.push_back(platform::FromUtf8(db.string()));
  s.m_bModifyOriginal = bDryRun ? 1 : 0;
  s.m_strNewNsfFolder = platform::FromUtf8((dir / "out").string());
  NullPage page;
  RunOptions options;
  options.strLogPath = StartRun(s, page, platform::FromUtf8((dir / "logs").string()));
  options.bDryRun = bDryRun;
  options.nJobs = nJobs;
  RunWorker(s, page, options);
}

void Print(const char* what, int nJobs, const Measure& m) {
  std::printf("%-14s --jobs %d  wall %7.2f s  cpu %7.2f s  peak %6.1f MB\n", what, nJobs, m.dSeconds,
              m.dCpuSeconds, static_cast<double>(m.nPeakKb) / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  int nDatabases = 4;
  int nJobs = 2;
  nsftool::SampleOptions options;
  options.nDocs = 25000;
  options.bReplaceExisting = true;
  fs::path dir = fs::temp_directory_path() / "tarnwick-bench-jobs";
  bool bKeep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--databases" && i + 1 < argc) nDatabases = std::stoi(argv[++i]);
    else if (arg == "--docs" && i + 1 < argc) options.nDocs = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--jobs" && i + 1 < argc) nJobs = std::stoi(argv[++i]);
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (arg == "--keep") bKeep = true;
    else {
      std::fprintf(stderr, "usage: bench_jobs [--databases N] [--docs N] [--jobs N] [--dir DIR] [--keep]\n");
      return 2;
    }
  }
  std::vector<fs::path> dbs;
  for (int i = 0; i < nDatabases; ++i) {
    fs::create_directories(dir / std::to_string(i));
    dbs.push_back(dir / std::to_string(i) / "mail.nsf");
    options.nSeed = static_cast<std::uint32_t>(7 + i);
    nsftool::MakeSample(dbs.back(), options);
  }
  ::sync();  // measured at rest, not while the fresh samples are written out
  std::printf("%d databases of %u memos\n", nDatabases, options.nDocs);
  for (const bool bDryRun : {true, false}) {
    const char* what = bDryRun ? "dry run" : "new-file run";
    for (const int n : {1, nJobs}) {
      fs::remove_all(dir / "out");
      fs::create_directories(dir / "out");
      Print(what, n, InChild([&] { RunAll(dbs, dir, bDryRun, n); }));
    }
  }
  if (!bKeep) fs::remove_all(dir);
  return 0;
}
