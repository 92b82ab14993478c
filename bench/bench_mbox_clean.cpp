// Cleaning an mbox directly against formail -D (procmail), and the import
// rate of nsftool import-mail, on real mail.
//
//   bench_mbox_clean [MBOX]
//
// Without MBOX, one is built from the real messages the mail tests fetch
// (build/test-cache, from Debian packages): 20,000 entries, each a real
// message under a header block of its own (Subject, Date, Message-ID), a
// tenth of them repeats, so both tools find the same duplicates.
// tarnwick-cli runs a dry run with four fields (subject, sender, receiver,
// date and time) over the whole file; formail -D keeps a Message-ID cache.
// formail is timed only when it is installed; nothing here needs it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "mail/MailCommands.h"
#include "tools/cli/CliMain.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU seconds of this process (self) or of its finished children: on a
// shared machine wall time shows the others' load, CPU time the work.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<std::string> RealMessages(const fs::path& cache) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    if (!it->is_regular_file() || (p.extension() != ".txt" && p.extension() != ".raw")) continue;
    if (p.string().find("test_email/data") == std::string::npos && p.string().find("enmime/testdata") == std::string::npos) continue;
    std::ifstream in(p, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string m = bytes.str();
    if (m.starts_with("From ") || m.find(':') == std::string::npos || !m.ends_with('\n')) continue;
    out.push_back(std::move(m));
  }
  return out;
}

std::string QuoteFrom(const std::string& message) {
  std::string out;
  std::size_t i = 0;
  while (i < message.size()) {
    std::size_t end = message.find('\n', i);
    end = end == std::string::npos ? message.size() : end + 1;
    std::size_t q = i;
    while (q < end && message[q] == '>') ++q;
    if (message.compare(q, 5, "From ") == 0) out += '>';
    out.append(message, i, end - i);
    i = end;
  }
  return out;
}

bool BuildMbox(const fs::path& mbox, int count) {
  const std::vector<std::string> real = RealMessages(fs::path(TARNWICK_BINARY_DIR) / "test-cache");
  if (real.empty()) return false;
  std::ofstream out(mbox, std::ios::binary);
  for (int i = 0; i < count; ++i) {
    const int n = i % 10 == 9 ? i - 1 : i;
    out << "From bench@example.org Mon Jan  4 10:00:00 2021\n"
        << "Subject: bench message " << n << "\nDate: Mon, 4 Jan 2021 10:" << (n / 60) % 60 << ":" << n % 60
        << " +0100\nMessage-ID: <bench-" << n << "@example.org>\n"
        << QuoteFrom(real[static_cast<std::size_t>(n) % real.size()]) << "\n";
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / "bench-mbox-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  fs::path mbox = dir / "corpus.mbox";
  if (argc > 1) {
    mbox = argv[1];
  } else if (!BuildMbox(mbox, 20000)) {
    std::cerr << "no real messages in build/test-cache: run the mail tests once, or give an mbox\n";
    return 1;
  }
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  std::size_t messages = 0;
  {
    std::ifstream in(mbox, std::ios::binary);
    for (std::string line; std::getline(in, line);) messages += line.starts_with("From ");
  }
  std::printf("mbox: %zu messages, %.1f MiB\n", messages, static_cast<double>(fs::file_size(mbox)) / 1048576.0);

  auto start = std::chrono::steady_clock::now();
  double cpu = CpuSeconds(RUSAGE_SELF);
  const int cleanStatus = cli::Main({"tarnwick-cli", "--quiet", "--dry-run", "--action", "delete", "--mail",
                                     "subject,sender,receiver,datetime", "--log-dir", (dir / "logs").string(),
                                     mbox.string()});
  const double cleanSeconds = Seconds(std::chrono::steady_clock::now() - start);
  const double cleanCpu = CpuSeconds(RUSAGE_SELF) - cpu;
  std::printf("tarnwick-cli dry run, four fields: %.2f s wall, %.2f s CPU, %.0f messages/s of CPU (exit %d)\n",
              cleanSeconds, cleanCpu, static_cast<double>(messages) / cleanCpu, cleanStatus);

  if (std::system("command -v formail >/dev/null 2>&1") == 0) {
    const std::string command = "formail -D 100000000 '" + (dir / "idcache").string() + "' -s < '" + mbox.string() +
                                "' > /dev/null";
    start = std::chrono::steady_clock::now();
    cpu = CpuSeconds(RUSAGE_CHILDREN);
    const int formailStatus = std::system(command.c_str());
    const double formailSeconds = Seconds(std::chrono::steady_clock::now() - start);
    const double formailCpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
    std::printf("formail -D (Message-ID): %.2f s wall, %.2f s CPU, %.0f messages/s of CPU (exit %d)\n"
                "tarnwick-cli takes %.2fx formail's wall time, %.2fx its CPU time\n",
                formailSeconds, formailCpu, static_cast<double>(messages) / formailCpu, formailStatus,
                cleanSeconds / formailSeconds, cleanCpu / formailCpu);
  } else {
    std::printf("formail is not installed (procmail): no comparison\n");
  }

  std::ostringstream log, errors;
  start = std::chrono::steady_clock::now();
  cpu = CpuSeconds(RUSAGE_SELF);
  const int importStatus = mailio::ImportMail((dir / "import.nsf").string(), {mbox.string()}, log, errors);
  const double importSeconds = Seconds(std::chrono::steady_clock::now() - start);
  const double importCpu = CpuSeconds(RUSAGE_SELF) - cpu;
  std::printf("nsftool import-mail (bytes kept): %.2f s wall, %.2f s CPU, %.0f messages/s of CPU (exit %d)\n",
              importSeconds, importCpu, static_cast<double>(messages) / importCpu, importStatus);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return cleanStatus == 0 && importStatus == 0 ? 0 : 1;
}
