// tarnwick-cli's command line: parsing it into the wizard's run settings.
//
// Pure functions except for --search, which walks the named folder, and the
// --folder check, which looks at what each source is. Paths are made
// absolute, as the wizard's file dialogs give them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/RunSettings.h"

namespace cli {

struct CliOptions {
  std::vector<std::u16string> vecDatabases;  // in command-line order, searches expanded
  bool bSearched = false;                    // --search was given
  std::u16string strLogDir;                  // empty: the desktop folder
  bool bDryRun = false;
  bool bYes = false;
  bool bQuiet = false;
  bool bHelp = false;
  std::u16string strUndoJournal;  // --undo: reverse that journal instead of running
  bool bVersion = false;
  std::u16string strReportPath;  // --report: where the duplicate report goes (absolute)
  std::u16string strSparePath;   // --spare: the report that says what may go (absolute)
  int nJobs = 1;                 // --jobs: databases judged side by side in multiple-file mode
};

struct ParseResult {
  CliOptions options;
  // Set on a usage error: one line naming the problem (exit status 2).
  std::optional<std::string> usageError;
  // Set when a --search folder cannot be walked to its end (exit status 1).
  std::optional<std::string> startError;
};

// Parses argv (argv[0] is the program) and fills settings from the wizard's
// defaults. now is the local date and time that --period counts back from.
ParseResult ParseCommandLine(const std::vector<std::string>& args, RunSettings& settings,
                             const platform::SystemTime& now);

// The one-screen help text.
std::string UsageText();

}  // namespace cli
