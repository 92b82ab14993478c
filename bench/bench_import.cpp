// Import speed of nsftool import-mail: an mbox of plain messages is generated
// in a private temporary directory, imported into a new database, exported
// again, and the rates are printed.
//
//   bench_import [MESSAGES]     (default 20000)
//
// The target is at least 2,000 plain messages per second for the import.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "mail/MailCommands.h"

namespace fs = std::filesystem;

namespace {

// Plain messages of a few hundred bytes, a tenth of them repeated, as in a
// mailbox that needs cleaning.
void WriteMbox(const fs::path& path, int count) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 0; i < count; ++i) {
    const int n = i % 10 == 9 ? i - 1 : i;
    out << "From sender" << n % 50 << "@example.org Mon Jan  4 10:00:00 2021\n"
        << "From: Sender " << n % 50 << " <sender" << n % 50 << "@example.org>\n"
        << "To: Ada Example <ada@example.org>, bob@example.org\n"
        << "Subject: Weekly report number " << n << "\n"
        << "Date: Mon, 4 Jan 2021 10:" << (n / 60) % 60 << ":" << n % 60 << " +0100\n"
        << "Message-ID: <msg-" << n << "@example.org>\n"
        << "\n"
        << "Hello Ada,\n\nhere are the figures for week " << n << ".\n"
        << "Sales went up by " << n % 17 << " per cent; costs stayed where they were.\n\nRegards\n\n";
  }
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  if (count <= 0) {
    std::cerr << "usage: bench_import [MESSAGES]\n";
    return 2;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / "bench-import-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  const fs::path mbox = dir / "Inbox", db = dir / "mail.nsf", out = dir / "out.mbox";
  WriteMbox(mbox, count);

  // Wall time and this process's CPU time: on a shared machine the first
  // shows the load of others, the second what the import itself costs.
  std::ostringstream log, errors;
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  const int importStatus = mailio::ImportMail(db.string(), {mbox.string()}, log, errors);
  const double importSeconds = Seconds(std::chrono::steady_clock::now() - start);
  const double importCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  start = std::chrono::steady_clock::now();
  cpu = std::clock();
  const int exportStatus = mailio::ExportMail(db.string(), out.string(), std::nullopt, log, errors);
  const double exportSeconds = Seconds(std::chrono::steady_clock::now() - start);
  const double exportCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;

  std::printf("messages: %d (mbox %.1f MiB, database %.1f MiB)\n", count,
              static_cast<double>(fs::file_size(mbox)) / 1048576.0,
              importStatus == 0 ? static_cast<double>(fs::file_size(db)) / 1048576.0 : 0.0);
  std::printf("import: %.2f s wall, %.0f messages/s; %.2f s CPU, %.0f messages/s (exit %d)\n", importSeconds,
              count / importSeconds, importCpu, count / importCpu, importStatus);
  std::printf("export: %.2f s wall, %.0f messages/s; %.2f s CPU, %.0f messages/s (exit %d)\n", exportSeconds,
              count / exportSeconds, exportCpu, count / exportCpu, exportStatus);
  if (!errors.str().empty()) std::cerr << errors.str();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return importStatus == 0 && exportStatus == 0 ? 0 : 1;
}
