#include "mail/RunWithSources.h"

#include <map>

#include "engine/RunSettings.h"
#include "engine/journal/RunJournal.h"
#include "notes/FolderList.h"
#include "platform/Text.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

// The folders of the database at path, listed as the run lists them.
std::vector<FolderRecord> ListFolders(RunSettings& s, const std::u16string& path) {
  LNNotesSession threadSession;
  threadSession.InitThread();
  std::vector<FolderRecord> folders;
  if (OpenRunDatabase(s, path)) {
    std::u16string error;  // a short list only leaves the missing folders out
    BuildFolderList(s.m_db, folders, s.m_curFolder, nullptr, &error, &s.m_bRunning);
    try {
      s.m_db.Close();
    } catch (...) {
      // The run opens the database anew.
    }
  }
  threadSession.TermThread();
  return folders;
}

std::uint64_t MessageBytes(const fs::path& dir) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (const char* sub : {"cur", "new"})
    for (fs::directory_iterator it(dir / sub, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code sizeEc;
      if (!it->is_regular_file(sizeEc)) continue;
      const std::uintmax_t size = it->file_size(sizeEc);
      if (!sizeEc) total += size;
    }
  return total;
}

}  // namespace

MailSourceSettings MailSourceSettingsForRun(const RunSettings& s, bool bDryRun) {
  MailSourceSettings out;
  out.bModifyOriginal = s.m_bModifyOriginal == 1;
  out.nAction = s.m_nAction;
  out.strSubFolder = platform::ToUtf8(s.m_strSubFolderName);
  out.strNewFilesFolder = platform::ToUtf8(s.m_strNewNsfFolder);
  out.bDryRun = bDryRun;
  out.bReadBody = s.m_bMailCriteria == 1 && (s.m_bMailBody == 1 || s.m_bMailAttachments == 1);
  out.pRunning = &s.m_bRunning;
  return out;
}

std::vector<FolderRecord> MatchSelectedFolders(const std::vector<FolderRecord>& selected,
                                               const std::vector<FolderRecord>& shown,
                                               const std::vector<FolderRecord>& now) {
  std::map<std::uint32_t, std::u16string> nameOf;
  for (const FolderRecord& r : shown) nameOf.emplace(r.dwNoteId, r.strName);
  std::map<std::u16string, std::uint32_t> idNow;
  for (const FolderRecord& r : now) idNow.emplace(r.strName, r.dwNoteId);
  std::vector<FolderRecord> out;
  for (FolderRecord r : selected) {
    if (r.dwNoteId != 0) {
      const auto name = nameOf.find(r.dwNoteId);
      const auto id = name == nameOf.end() ? idNow.end() : idNow.find(name->second);
      if (id == idNow.end()) continue;
      r.dwNoteId = id->second;
    }
    out.push_back(std::move(r));
  }
  return out;
}

int RunWorkerWithMailSources(RunSettings& s, RunPage& page, RunOptions options, journal::RunJournal* pJournal) {
  MailSourceProvider sources(MailSourceSettingsForRun(s, options.bDryRun));
  // Each write-back is recorded in the run's journal before it changes its
  // source; without a journal no source is changed in place.
  sources.SetJournal(pJournal);
  options.pSources = &sources;
  const std::vector<FolderRecord> selected = s.m_vecSelectedFolders;
  const bool bMatch = s.m_bMultipleFiles == 0 && !s.m_vecSourceFolders.empty() &&
                      sources.Handles(s.m_strSingleFilePath);
  if (bMatch) {
    // A source that cannot be read is reported by the run, which asks again.
    std::u16string failure;
    const std::u16string work = sources.Prepare(s.m_strSingleFilePath, &failure);
    if (!work.empty())
      s.m_vecSelectedFolders = MatchSelectedFolders(selected, s.m_vecSourceFolders, ListFolders(s, work));
  }
  const int outcome = RunWorker(s, page, options);
  if (bMatch) s.m_vecSelectedFolders = selected;
  return outcome;
}

std::optional<std::uint64_t> MailSourceSize(const fs::path& path) {
  if (!IsMailSource(path)) return std::nullopt;
  std::error_code ec;
  if (!fs::is_directory(path, ec)) {
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? std::nullopt : std::optional<std::uint64_t>(size);
  }
  std::uint64_t total = MessageBytes(path);
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code dirEc;
    if (name.size() > 1 && name[0] == '.' && name != ".." && it->is_directory(dirEc)) total += MessageBytes(it->path());
  }
  return total;
}

}  // namespace mailio
