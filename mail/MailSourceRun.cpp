#include "mail/MailSourceRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "engine/report/DocumentFields.h"
#include "lnapi/store/Store.h"
#include "mail/MailDatabase.h"
#include "mail/MailSources.h"
#include "mail/Mbox.h"
#include "mail/MimeImport.h"
#include "platform/Text.h"

namespace mailio {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSourceIndexItem = "$SourceMessage";

fs::path WithoutTrailingSlash(const fs::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

std::string Head(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(5, '\0');
  in.read(head.data(), 5);
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

// A free name in folder for base: base, then base-2, base-3 ... before the
// last extension (at the end when there is none).
fs::path FreeName(const fs::path& folder, const fs::path& base, bool directory) {
  const std::string name = base.filename().string();
  const std::size_t dot = directory ? std::string::npos : name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  std::error_code ec;
  fs::path candidate = folder / name;
  for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n)
    candidate = folder / (stem + "-" + std::to_string(n) + ext);
  return candidate;
}

}  // namespace

bool IsMailSource(const fs::path& given) {
  const fs::path path = WithoutTrailingSlash(given);
  if (IsDir(path)) return IsDir(path / "cur") && IsDir(path / "new");
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  // An emptied mailbox is an mbox with no messages; an empty .nsf is no mail.
  if (fs::file_size(path, ec) == 0 && !ec) return !path.extension().string().ends_with(".nsf");
  return Head(path) == "From ";
}

MailSourceProvider::MailSourceProvider(MailSourceSettings settings) : m_settings(std::move(settings)) {}

void MailSourceProvider::SetJournal(journal::RunJournal* pJournal) {
  m_pJournal = pJournal;
  m_journalFolder = pJournal ? fs::path(platform::ToUtf8(pJournal->Path()) + ".d") : fs::path();
}

MailSourceProvider::~MailSourceProvider() {
  m_mapSources.clear();  // releases the locks
  // A working database kept open after the run would hold its space once
  // deleted.
  lnapi::store::Store::CloseParked();
  m_cache.Remove();
}

bool MailSourceProvider::Handles(const std::u16string& source) {
  return IsMailSource(platform::ToUtf8(source));
}

bool MailSourceProvider::EnsureTempFolder(std::string* error) {
  if (!m_tempFolder.empty()) return true;
  // On disk, not the memory-backed runtime folder: a source can be large.
  if (!m_cache.Create(error)) return false;
  m_tempFolder = m_cache.Path();
  return true;
}

std::u16string MailSourceProvider::Prepare(const std::u16string& sourceText, std::u16string* failureRow) {
  if (auto it = m_mapSources.find(sourceText); it != m_mapSources.end()) return platform::FromUtf8(it->second.workDb.string());
  Source source;
  source.path = WithoutTrailingSlash(platform::ToUtf8(sourceText));
  source.bMaildir = IsDir(source.path);
  std::string error;
  const bool changes = m_settings.bModifyOriginal && !m_settings.bDryRun;
  if (!source.bMaildir && changes) {
    source.pLock = std::make_unique<MboxLock>();
    if (!source.pLock->Acquire(source.path, &error)) {
      m_bAnyFailed = true;
      *failureRow = u"Source not written back: " + sourceText + u" (" + platform::FromUtf8(error) + u")";
      return {};
    }
  }
  if (!EnsureTempFolder(&error) || !ReadSource(source, &error)) {
    std::error_code ec;
    if (!source.workDb.empty()) fs::remove(source.workDb, ec);
    if (error.empty()) return {};  // stopped: no failure
    m_bAnyFailed = true;
    *failureRow = u"Source not read: " + sourceText + u" (" + platform::FromUtf8(error) + u")";
    return {};
  }
  const std::u16string work = platform::FromUtf8(source.workDb.string());
  m_mapSources.emplace(sourceText, std::move(source));
  return work;
}

bool MailSourceProvider::ReadSource(Source& source, std::string* error) {
  source.workDb = m_tempFolder / ("source-" + std::to_string(++m_nSources) + ".nsf");
  std::unique_ptr<MailDatabase> db = MailDatabase::OpenForImport(source.workDb.string(), Design::Source, error);
  if (!db) return false;
  TuneAllocatorForImport();
  ImportOptions options;
  options.bKeepOriginal = false;
  options.bContent = m_settings.bReadBody;
  options.bAttachmentData = false;
  std::string failure;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const LocalTime readStart{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  // Stop ends the read before the next message; what was read is dropped.
  bool bStopped = false;
  const auto stopped = [&] {
    bStopped = bStopped || (m_settings.pRunning && m_settings.pRunning->load() == 0);
    return bStopped;
  };
  // One message into the database; the first failure refuses the source.
  auto add = [&](std::string_view bytes, const std::string& folder, const std::string& where,
                 std::optional<LocalTime> arrival, Message place) {
    if (!failure.empty() || stopped()) return;
    if (!HasHeaderLines(bytes)) {
      failure = where + " has no header lines";
      return;
    }
    MessageResult r = ImportMessage(bytes, options);
    if (!r.doc) {
      failure = where + " " + r.error;
      return;
    }
    // Undated and without an arrival: the time the read began, the same for
    // every copy (the clock would part copies read a second apart).
    if (!r.doc->created) r.doc->created = arrival ? arrival : readStart;
    r.doc->items.push_back(Item::MakeText(kSourceIndexItem, std::to_string(source.vecMessages.size())));
    r.doc->items.push_back(Item::MakeText(report::kSourceBytesItem, std::to_string(bytes.size())));
    NOTEID id = 0;
    std::string storeError;
    if (!db->Add(std::move(*r.doc), folder, &storeError, &id)) {
      failure = where + " " + storeError;
      return;
    }
    source.mapIdToMessage.emplace(id, static_cast<std::uint32_t>(source.vecMessages.size()));
    source.vecMessages.push_back(std::move(place));
  };
  if (source.bMaildir) {
    const MaildirListing listing = ListMaildir(source.path);
    if (!listing.strNotRegular.empty()) failure = "not a regular file: " + listing.strNotRegular;
    for (const std::string& folder : listing.vecLinkedFolders)
      source.vecRows.push_back(u"Folder not fully processed: " + platform::FromUtf8(folder) + u" (a link)");
    for (const MaildirListing::File& m : listing.vecFiles) {
      if (!failure.empty() || stopped()) break;
      fs::path file = m.file;
      std::string bytes;
      if (!ReadMaildirMessage(&file, &bytes, &failure)) break;
      // A message without a Date is dated by its delivery, as the import
      // dates it: the time of this run would part copies read a second apart.
      add(bytes, m.folder, file.string(), FileArrival(file), {0, 0, file.string()});
    }
    if (listing.vecFiles.empty() && !db->AddFolder(source.path.filename().string()) && failure.empty())
      failure = "cannot be stored";
  } else {
    const std::string folder = source.path.filename().string();
    std::string readError;
    const bool read = ReadMbox(
        source.path,
        [&](MboxMessage&& m) {
          if (!m.endsWithLineEnd && failure.empty()) failure = "truncated: message " + std::to_string(m.number) + " ends inside a line";
          add(m.bytes, folder, "message " + std::to_string(m.number), FromLineTime(m.fromLine),
              {m.offset, m.length, {}});
        },
        &readError);
    if (!read && failure.empty()) failure = "cannot be read: " + readError;
    if (source.vecMessages.empty() && !db->AddFolder(folder) && failure.empty()) failure = "cannot be stored";
  }
  if (bStopped && failure.empty()) return false;  // *error stays empty
  if (!db->Finish() && failure.empty()) failure = "cannot be stored: " + db->BrokenReason();
  if (!failure.empty()) *error = failure;
  return failure.empty();
}

std::u16string MailSourceProvider::NewFilePath(const std::u16string& sourceText) {
  auto it = m_mapSources.find(sourceText);
  if (it == m_mapSources.end()) return sourceText;
  Source& source = it->second;
  if (source.newFile.empty())
    source.newFile = FreeName(m_settings.strNewFilesFolder, source.path.filename(), source.bMaildir);
  return platform::FromUtf8(source.newFile.string());
}

std::u16string MailSourceProvider::WorkCopyPath(const std::u16string& sourceText) {
  auto it = m_mapSources.find(sourceText);
  if (it == m_mapSources.end()) return sourceText + u".copy.nsf";
  return platform::FromUtf8(it->second.workDb.string() + ".copy.nsf");
}

std::vector<std::u16string> MailSourceProvider::Finish(const std::u16string& sourceText, const std::u16string& workPath) {
  auto it = m_mapSources.find(sourceText);
  if (it == m_mapSources.end()) return {};
  std::string failure;
  if (!m_settings.bDryRun) failure = WriteBack(it->second, platform::ToUtf8(workPath));
  std::vector<std::u16string> rows = std::move(it->second.vecRows);
  m_mapSources.erase(it);  // releases the lock; the work database goes with the folder
  if (!failure.empty())
    rows.push_back(u"Source not written back: " + sourceText + u" (" + platform::FromUtf8(failure) + u")");
  if (!rows.empty()) m_bAnyFailed = true;
  return rows;
}

}  // namespace mailio
