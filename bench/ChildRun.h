// What the run benchmarks share: ticking every criterion, and measuring a
// piece of work in a child process of its own, so that its peak memory and
// processor time are its own.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "engine/RunSettings.h"

struct Measure {
  double dSeconds = 0;
  double dCpuSeconds = 0;  // user and system time: what a busy machine disturbs least
  long nPeakKb = 0;
};

inline void TickEverything(RunSettings& s) {
  s.m_bMailSubject = s.m_bMailSender = s.m_bMailReceiver = 1;
  s.m_bMailDateTime = s.m_bMailBody = s.m_bMailAttachments = 1;
  s.m_bContactFirstName = s.m_bContactLastName = s.m_bContactMiddleName = 1;
  s.m_bContactFullName = s.m_bContactEmail = s.m_bContactPhone = s.m_bContactCompany = 1;
}

// Runs body in a child process; its wall time, processor time and peak
// resident memory.
template <typename Body>
Measure InChild(Body body) {
  std::fflush(nullptr);  // the child must not print the parent's buffered lines again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Measure m;
  m.dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.nPeakKb = usage.ru_maxrss;
  m.dCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "run failed\n");
  return m;
}
