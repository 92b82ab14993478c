// bench_stop: how long a run takes to end after Stop (the wizard's button,
// SIGINT for tarnwick-cli: both clear m_bRunning).
//
//   bench_stop [--docs N] [--dir DIR] [--kind NAME] [--at MS]
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
#include <ctime>
#include <pthread.h>
#include <vector>

#include "engine/Run.h"
#include "bench/NullPage.h"
#include "engine/RunPage.h"
#include "engine/RunSettings.h"
#include "platform/Paths.h"
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

struct Latency {
  double wallMs = -1;  // -1: the run had ended before Stop
  double cpuMs = 0;    // the worker's own CPU time in that span
};

double ThreadCpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Time from Stop to the end of the run. The worker's CPU time beside the
// wall time tells a slow Stop from a machine busy with other work.
Latency StopLatency(const fs::path& db, const fs::path& dir, const Kind& kind, int nStopAfterMs) {
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
  double cpuEnded = 0;
  std::thread worker([&] {
    RunWorker(s, page, options);
    ended = Clock::now();
    cpuEnded = ThreadCpuMs(CLOCK_THREAD_CPUTIME_ID);
  });
  clockid_t workerClock{};
  pthread_getcpuclockid(worker.native_handle(), &workerClock);
  std::this_thread::sleep_for(std::chrono::milliseconds(nStopAfterMs));
  const double cpuStop = ThreadCpuMs(workerClock);
  const Clock::time_point stop = Clock::now();
  s.m_bRunning = 0;
  worker.join();
  if (ended < stop) return {};
  return {std::chrono::duration<double, std::milli>(ended - stop).count(), cpuEnded - cpuStop};
}

}  // namespace

int main(int argc, char** argv) {
  nsftool::SampleOptions options;
  options.nDocs = 100000;
  options.nFolders = 20;
  options.bReplaceExisting = true;
  fs::path dir = fs::temp_directory_path() / "tarnwick-bench-stop";
  std::string onlyKind;
  int nOnlyAt = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--docs" && i + 1 < argc) options.nDocs = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else if (arg == "--kind" && i + 1 < argc) onlyKind = argv[++i];
    else if (arg == "--at" && i + 1 < argc) nOnlyAt = std::stoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: bench_stop [--docs N] [--dir DIR] [--kind NAME] [--at MS]\n");
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
    if (!onlyKind.empty() && onlyKind != kind.name) continue;
    std::printf("%-9s", kind.name);
    const std::vector<int> moments = nOnlyAt != 0 ? std::vector<int>{nOnlyAt} : std::vector<int>{300, 1000, 2500};
    for (int after : moments) {
      const fs::path work = dir / "work.nsf";
      // The copy goes to the disk first: a database at rest, as a user's is,
      // not one whose every page still waits in the page cache for writeback.
      fs::remove(work);
      if (!platform::CopyFileNew(sample.string(), work.string())) {
        std::fprintf(stderr, "could not copy %s\n", sample.c_str());
        return 1;
      }
      const Latency latency = StopLatency(work, dir, kind, after);
      if (latency.wallMs < 0) std::printf("  Stop at %4d ms: run had ended", after);
      else std::printf("  Stop at %4d ms: %6.1f ms (CPU %5.1f)", after, latency.wallMs, latency.cpuMs);
      worst = std::max(worst, latency.wallMs);
      std::fflush(stdout);
    }
    std::printf("\n");
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
  }
  std::printf("worst: %.1f ms (aim: at most 100 ms)\n", worst);
  return 0;
}
