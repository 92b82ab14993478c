#include "ui/frame/Shutdown.h"

#include <cstdio>
#include <unistd.h>

#include "engine/RunSettings.h"
#include "ui/win/Shell.h"

namespace frame {

namespace {
std::function<void(int)>& Hook() {
  static std::function<void(int)> hook;
  return hook;
}
}  // namespace

std::function<void(int)> SetTerminateHook(std::function<void(int)> hook) {
  std::function<void(int)> old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

void TerminateProcess(int exitCode) {
  if (Hook()) return Hook()(exitCode);
  std::fflush(nullptr);
  ::_exit(exitCode);
}

void CloseLogAndOpenWebPage(RunSettings& settings) {
  if (settings.m_logFile.IsOpen()) settings.m_logFile.Close();
  win::ShellOpen(QString::fromLatin1(kProductWebPage));
}

}  // namespace frame
