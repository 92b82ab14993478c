#include "ui/frame/Shutdown.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
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

QString ProductManualUrl() {
  // A program in the build tree has no installed manual of its own version.
  const QString build = QDir::cleanPath(QStringLiteral(TARNWICK_BUILD_DIR));
  const QString program = QDir::cleanPath(QCoreApplication::applicationDirPath());
  const bool bFromBuild = !build.isEmpty() && (program == build || program.startsWith(build + QLatin1Char('/')));
  const QString manual = bFromBuild ? QStringLiteral(TARNWICK_BUILD_DIR "/packaging/manual.html")
                                    : QStringLiteral(TARNWICK_INSTALLED_MANUAL);
  return QUrl::fromLocalFile(QFileInfo(manual).absoluteFilePath()).toString();
}

void CloseLogAndOpenWebPage(RunSettings& settings) {
  if (settings.m_logFile.IsOpen()) settings.m_logFile.Close();
  win::ShellOpen(QString::fromLatin1(kProductWebPage));
}

}  // namespace frame
