// Mail sources in a run whose folders were chosen before it (the wizard):
// the run settings become the provider's settings, its write-backs are
// recorded in the run's journal, and in single-file mode the folders the
// user ticked are found again in the run's own read of the source.
//
// Why the folders are found again: the single-file page shows the folders
// of one read of the source, and the run reads it anew (under its locks, so
// that mail delivered in between is neither lost nor overwritten). A
// maildir that received mail meanwhile may number its folders differently
// in the second read, so each ticked folder is looked up by its full name.
//
// Plain functions; RunWorkerWithMailSources runs on the run's worker thread
// with the same rules as RunWorker (engine/Run.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/Run.h"
#include "mail/MailSourceRun.h"
#include "notes/FolderRecord.h"

namespace journal {
class RunJournal;
}

namespace mailio {

// The provider's settings for a run with these run settings.
MailSourceSettings MailSourceSettingsForRun(const RunSettings& settings, bool bDryRun);

// The records of selected with each note id taken from the read "shown" to
// the read "now", through the folder's full name. The database item (note
// id 0) stays as it is; a folder that "now" no longer has is left out.
std::vector<FolderRecord> MatchSelectedFolders(const std::vector<FolderRecord>& selected,
                                               const std::vector<FolderRecord>& shown,
                                               const std::vector<FolderRecord>& now);

// RunWorker with a MailSourceProvider for the run's settings in
// options.pSources, each write-back recorded in pJournal first (the run's
// journal, not owned; null for runs that change no original). In
// single-file mode on a mail source whose folders the single-file page
// listed (m_vecSourceFolders), the source is read first and
// m_vecSelectedFolders is matched to that read for the run, then given back
// as it was. Returns what RunWorker returns.
int RunWorkerWithMailSources(RunSettings& settings, RunPage& page, RunOptions options,
                             journal::RunJournal* pJournal);

// What a source holds in bytes: an mbox's length, or the total length of a
// maildir's message files (its own and its Maildir++ sub folders'). nullopt
// when path is no mail source.
std::optional<std::uint64_t> MailSourceSize(const std::filesystem::path& path);

}  // namespace mailio
