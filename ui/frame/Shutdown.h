// How the wizard ends the process, and the product's web addresses.
//
// The wizard never returns through the event loop: a confirmed Close or
// Cancel ends the process at once with exit status -1 (255), after closing
// what must be closed. Tests replace the final step with a hook so they can
// observe it without dying; child-process tests keep the real one.
#pragma once

#include <QString>
#include <functional>

struct RunSettings;

namespace frame {

// The maker's addresses (a reserved example domain stands for the maker's).
inline constexpr const char* kProductWebPage = "https://www.example.com/tarnwick/";
inline constexpr const char* kMakerWebSite = "https://www.example.com/";
inline constexpr const char* kSupportMail = "support@example.com";
inline constexpr const char* kSalesMail = "sales@example.com";

// The product manual, a local file: manual.html made from the README and
// the manual pages at build time (packaging/make-manual.py), installed in
// the package's documentation folder. Run from the build tree the program
// opens the build tree's copy. A file: URL, whether the file is there or
// not (the shell then opens nothing, and nothing is reported).
QString ProductManualUrl();

// Exit status of a Close or Cancel: -1, all bits set, as the process sees it.
inline constexpr int kExitStatusClosed = 255;

// Ends the process at once with exitCode (_exit: no destructor, no clean-up,
// workers end with it). When a hook is set the hook is called instead and
// the function returns; the caller must then simply return.
void TerminateProcess(int exitCode);

// Installs a hook for TerminateProcess; an empty function restores the real
// ending. Returns the previous hook. User-interface thread.
std::function<void(int)> SetTerminateHook(std::function<void(int)> hook);

// The common shutdown's process part: closes settings.m_logFile when open,
// opens the product web page, then TerminateProcess(255). The page ends its
// own dialog before the last step (see CWizardPage::CommonShutdown).
void CloseLogAndOpenWebPage(RunSettings& settings);

}  // namespace frame
