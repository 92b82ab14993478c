#include "app/CTarnwickApp.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "mail/SourceUndo.h"
#include "platform/InstanceLock.h"
#include "ui/pages/CTarnwickDlg.h"
#include "ui/win/MessageBox.h"

CTarnwickApp::CTarnwickApp() = default;

CTarnwickApp::~CTarnwickApp() {
  if (m_settings.m_logFile.IsOpen()) m_settings.m_logFile.Close();
}

bool CTarnwickApp::InitInstance(unsigned long dwMutexError) {
  // The Windows registry key of the application profile; nothing is stored
  // under it, it only names the program to Qt.
  QCoreApplication::setOrganizationName(QStringLiteral("Tarnwickv1.0"));
  QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
  if (dwMutexError == platform::kErrorAlreadyExists) {
    win::MessageBoxNotice(nullptr, QString::fromLatin1(kAlreadyRunningMessage));
    return false;
  }
  // Pages hide and show each other; the process ends only through Close
  // and Cancel, never because no page is visible for a moment.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    gui->setQuitOnLastWindowClosed(false);
  // The summary page's Undo reverses mail sources' write-backs too.
  mailio::RegisterMailRecordKinds();
  CTarnwickDlg dlg(m_settings);
  if (!dlg.Create()) return false;
  dlg.DoModal();
  return false;
}
