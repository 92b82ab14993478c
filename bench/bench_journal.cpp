// bench_journal: what the undo journal costs a run that deletes.
//
//   bench_journal [--docs N] [--dup-percent P] [--rounds R] [--dir DIR]
//
// Makes a sample database (by default 20,000 memos, half of them repeats:
// about 10,000 deletions), then times delete runs in the original file on
// fresh copies, each in a child process, alternately without and with a
// journal, and reports the median of each and the journal's share.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Run.h"
#include "bench/NullPage.h"
#include "engine/RunPage.h"
#include "engine/RunSettings.h"
#include "engine/journal/RunJournal.h"
#include "platform/Text.h"
#include "tools/nsftool/Sample.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One delete run on db in a child process; its wall time in seconds.
double DeleteRun(const fs::path& db, const fs::path& logs, bool bJournal) {
  std::fflush(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    RunSettings s;
    s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = 1;
    s.m_bMailDateTime = s.m_bMailBody = s.m_bMailAttachments = 1;
    s.m_bContactFirstName = s.m_bContactLastName = s.m_bContactFullName = s.m_bContactEmail = 1;
    s.m_bMultipleFiles = 1;
    s.m_vecFilePaths = {platform::FromUtf8(db.string())};
    s.m_bModifyOriginal = 1;
    s.m_nAction = 0;
    NullPage page;
    RunOptions options;
    options.strLogPath = StartRun(s, page, platform::FromUtf8(logs.string()));
    std::unique_ptr<journal::RunJournal> journal;
    if (bJournal) {
      journal = journal::StartRunJournal(s, page, options.strLogPath);
      if (!journal) _exit(1);
      options.pJournal = journal.get();
    }
    RunWorker(s, page, options);
    _exit(journal && journal->Failed() ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run failed\n");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  nsftool::SampleOptions options;
  options.nDocs = 20000;
  options.nFolders = 10;
  options.nDupPercent = 50;
  options.bReplaceExisting = true;
  int nRounds = 3;
  fs::path dir = fs::temp_directory_path() / "tarnwick-bench-journal";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--docs" && i + 1 < argc) options.nDocs = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--dup-percent" && i + 1 < argc) options.nDupPercent = static_cast<std::uint32_t>(std::stoul(argv[++i]));
    else if (arg == "--rounds" && i + 1 < argc) nRounds = std::max(1, std::stoi(argv[++i]));
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_journal [--docs N] [--dup-percent P] [--rounds R] [--dir DIR]\n");
      return 2;
    }
  }
  fs::create_directories(dir);
  const fs::path sample = dir / "sample.nsf";
  const nsftool::SampleCounts counts = nsftool::MakeSample(sample, options);
  std::printf("sample: %llu memos, %llu repeats, %.1f MB\n", static_cast<unsigned long long>(counts.nMemos),
              static_cast<unsigned long long>(counts.nDuplicates),
              static_cast<double>(fs::file_size(sample)) / 1e6);
  std::vector<double> plain, journaled;
  for (int round = 0; round < nRounds; ++round) {
    for (const bool bJournal : {false, true}) {
      const fs::path work = dir / "work.nsf";
      fs::copy_file(sample, work, fs::copy_options::overwrite_existing);
      fs::remove_all(dir / "logs");
      (bJournal ? journaled : plain).push_back(DeleteRun(work, dir / "logs", bJournal));
    }
  }
  const double a = Median(plain), b = Median(journaled);
  std::printf("delete run without journal: %.2f s (median of %d)\n", a, nRounds);
  std::printf("delete run with journal:    %.2f s (median of %d)\n", b, nRounds);
  std::printf("journaling adds %.1f%%\n", 100.0 * (b - a) / a);
  fs::remove_all(dir);
  return 0;
}
