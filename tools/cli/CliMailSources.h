// tarnwick-cli's side of mail sources (mail/MailSourceRun.h): the provider's
// settings from the run's, and single-file mode on a source, whose folders
// come from the temporary database it is read into.
#pragma once

#include <string>

#include "engine/RunSettings.h"
#include "mail/MailSourceRun.h"

namespace cli {

// A maildir named with a trailing "/" is the maildir: the slash goes, so
// that rows and new files name it as it is.
void NormalizeMailSourcePaths(RunSettings& settings);

mailio::MailSourceSettings MailSourceSettingsFor(const RunSettings& settings, bool bDryRun);

// SelectEveryFolder for m_strSingleFilePath, reading a mail source first.
// False when the database or the source cannot be opened or read; a
// source's reason is then printed as its "Source not read: " (or, locked,
// "Source not written back: ") row: on standard output, or with bQuiet on
// standard error, as every failure row. True with nothing selected when a
// signal stopped the read (the run then ends at once).
[[nodiscard]] bool SelectEveryFolderOfSource(RunSettings& settings, mailio::MailSourceProvider& sources, bool bQuiet);

}  // namespace cli
