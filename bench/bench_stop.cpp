// bench_stop: how long a run takes to end after Stop (the wizard's button,
// SIGINT for tarnwick-cli: both clear m_bRunning).
//
//   bench_stop [--docs N] [--dir DIR]
//
// Makes a sample database (default 100,000 memos), then for each kind of run
// (dry run, delete, trash, move, copy, new file) starts it on a fresh copy,
// presses Stop after 0.3, 1 and 2.5 seconds, and prints the time from Stop to
// the end of the run (the worker's return). The aim is at most 100 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/Run.h"
#include "bench/NullPage.h"
#include "engine/RunPage.h"
#include "engine/RunSettings.h"
#include "platform/Text.h"
#include "tools/nsftool/Sample.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Kind {
  const char* name;
  bool bOriginal, bDryRun;
  int nAction;
};

// Milliseconds from Stop to the end of the run, or -1 when it ended first.
double StopLatencyMs(const fs::path& db, const fs::path& dir, const Kind& kind, int nStopAfterMs) {
  RunSettings s;
  s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = s.m_bMailDateTime = s.m_bMailBody = 1;
  s.m_bMailAttachments = 1;
  s.m_bMultipleFiles = 1;
  s.m_vecFilePaths = {platform::FromUtf8(db.string())};
  s.m_bModifyOriginal = kind.bOriginal ? 1 : 0;
  s.m_nAction = kind.nAction;
  s.m_strSubFolderName = u"Dups";
  s.m_strNewNsfFolder = platform::FromUtf8((dir / "out").string());
  NullPage page;
  RunOptions options;
  options.strLogPath = StartRun(s, page, platform::FromUtf8((dir / "logs").string()));
  options.bDryRun = kind.bDryRun;
  Clock::time_point ended;
  std::thread worker([&] {
    RunWorker(s, page, options);
    ended = Clock::now();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(nStopAfterMs));
  const Clock::time_point stop = Clock::now();
  s.m_bRunning = 0;
  worker.join();
  return ended < stop ? -1 : std::chrono::duration<double, std::milli>(ended - stop).count();
}

}  // namespace

int main(int argc, char** argv) {
  nsftool::SampleOptions options;
  options.nDocs = 100000;
  options.nFolders = 20;
  options.bReplaceExisting = true;
  fs::path dir = fs::temp_directory_path() / "tarnwick-bench-stop";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--docs" && i + 1 < argc) options.nDocs = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_stop [--docs N] [--dir DIR]\n");
      return 2;
    }
  }
  fs::create_directories(dir / "out");
  const fs::path sample = dir / "sample.nsf";
  nsftool::MakeSample(sample, options);
  std::printf("sample: %u memos, %.1f MB\n", options.nDocs, static_cast<double>(fs::file_size(sample)) / 1e6);
  const Kind kinds[] = {{"dry run", true, true, 0}, {"delete", true, false, 0}, {"trash", true, false, 1},
                        {"move", true, false, 2},   {"copy", true, false, 3},   {"new file", false, false, 0}};
  double worst = 0;
  for (const Kind& kind : kinds) {
    std::printf("%-9s", kind.name);
    for (int after : {300, 1000, 2500}) {
      const fs::path work = dir / "work.nsf";
      fs::copy_file(sample, work, fs::copy_options::overwrite_existing);
      const double ms = StopLatencyMs(work, dir, kind, after);
      if (ms < 0) std::printf("  Stop at %4d ms: run had ended", after);
      else std::printf("  Stop at %4d ms: %7.1f ms", after, ms);
      worst = std::max(worst, ms);
      std::fflush(stdout);
    }
    std::printf("\n");
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
  }
  std::printf("worst: %.1f ms (aim: at most 100 ms)\n", worst);
  return 0;
}
