// CTarnwickApp: the application object. It refuses a second instance, runs
// the wizard's start page until the process ends, and owns the run settings
// that every page and the run share (handed to them by reference).
//
// One instance, made in main() after the QApplication; user-interface thread.
#pragma once

#include "engine/RunSettings.h"

class CTarnwickApp {
public:
  CTarnwickApp();
  // Closes the log file when it is open (the usual ways out end the process
  // directly and close it themselves).
  ~CTarnwickApp();
  CTarnwickApp(const CTarnwickApp&) = delete;
  CTarnwickApp& operator=(const CTarnwickApp&) = delete;

  // dwMutexError: the result of taking the single-instance lock at start
  // (platform::AcquireInstanceLock; 183 when another copy runs). A second
  // instance gets the notice "Another instance of application is already
  // running" (no owner window) and no page. Otherwise the start page runs
  // until it ends. Always returns false: the program never enters a message
  // loop of its own.
  bool InitInstance(unsigned long dwMutexError);

  RunSettings m_settings;  // the run settings, for the life of the process
};

// The text the second instance shows.
inline constexpr const char* kAlreadyRunningMessage = "Another instance of application is already running";
