// tarnwick: the wizard. `tarnwick --render-pages DIR` writes a picture of
// every page to DIR instead (no display needed, see PageRenderer.h).
#include <QApplication>
#include <cstring>

#include "app/CTarnwickApp.h"
#include "app/PageRenderer.h"
#include "app/RegisterPages.h"
#include "platform/InstanceLock.h"

int main(int argc, char** argv) {
  const bool bRender = argc == 3 && std::strcmp(argv[1], "--render-pages") == 0;
  if (bRender && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Taken before anything else, as a static initialiser would; the renderer
  // is not the wizard and may run beside it.
  const unsigned long dwMutexError = bRender ? 0 : platform::AcquireInstanceLock();
  QApplication app(argc, argv);
  RegisterWizardPages();
  if (bRender) return RenderPages(QString::fromLocal8Bit(argv[2]));
  CTarnwickApp theApp;
  theApp.InitInstance(dwMutexError);
  return 0;
}
