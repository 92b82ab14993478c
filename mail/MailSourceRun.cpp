#include "mail/MailSourceRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

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
// The message's size in the source, in bytes: what the keep rules and the
// size guard read of a mail source's message.
constexpr const char* kSourceSizeItem = "$SourceSize";

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

// The maildir file name without its ":2,..." flags: the order of messages.
std::string SortName(const fs::path& file) {
  const std::string name = file.filename().string();
  return name.substr(0, name.find(':'));
}

struct MaildirFile {
  std::string folder;
  fs::path file;
};

// The folder's messages (new/ and cur/ together, in name order without flags).
void MaildirFolder(const fs::path& dir, const std::string& folder, std::vector<MaildirFile>& out) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const char* sub : {"new", "cur"})
    for (fs::directory_iterator it(dir / sub, ec), end; !ec && it != end; it.increment(ec))
      if (!it->path().filename().string().starts_with('.') && !IsDir(it->path())) files.push_back(it->path());
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    const std::string x = SortName(a), y = SortName(b);
    return x != y ? x < y : a.filename() < b.filename();
  });
  for (fs::path& f : files) out.push_back({folder, std::move(f)});
}

// The root's messages, then each Maildir++ sub folder's, in name order.
std::vector<MaildirFile> MaildirFiles(const fs::path& root) {
  std::vector<MaildirFile> out;
  MaildirFolder(root, root.filename().string(), out);
  std::vector<fs::path> subs;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 1 && name[0] == '.' && name != ".." && IsDir(it->path() / "cur")) subs.push_back(it->path());
  }
  std::sort(subs.begin(), subs.end());
  for (const fs::path& sub : subs) {
    std::vector<std::string> levels;
    std::stringstream parts(sub.filename().string().substr(1));
    for (std::string part; std::getline(parts, part, '.');) levels.push_back(part);
    MaildirFolder(sub, FolderNameFromLevels(levels), out);
  }
  return out;
}

std::string ReadFileBytes(const fs::path& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  *ok = static_cast<bool>(in) || in.eof();
  if (!in.is_open()) *ok = false;
  return std::move(bytes).str();
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
  return fs::is_regular_file(path, ec) && Head(path) == "From ";
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
  std::error_code ec;
  if (!m_tempFolder.empty()) fs::remove_all(m_tempFolder, ec);  // nothing to be done if it fails
}

bool MailSourceProvider::Handles(const std::u16string& source) {
  return IsMailSource(platform::ToUtf8(source));
}

bool MailSourceProvider::EnsureTempFolder(std::string* error) {
  if (!m_tempFolder.empty()) return true;
  // On disk, not the memory-backed runtime folder: a source can be large.
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  fs::path base = cache && *cache ? fs::path(cache) : fs::path(home && *home ? home : "/tmp") / ".cache";
  base /= "tarnwick";
  std::error_code ec;
  fs::create_directories(base, ec);
  if (ec || ::chmod(base.c_str(), 0700) != 0) {
    *error = "cannot make the folder " + base.string();
    return false;
  }
  std::string pattern = (base / "run-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    *error = "cannot make a folder in " + base.string();
    return false;
  }
  m_tempFolder = pattern;
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
    m_bAnyFailed = true;
    std::error_code ec;
    if (!source.workDb.empty()) fs::remove(source.workDb, ec);
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
  // One message into the database; the first failure refuses the source.
  auto add = [&](std::string_view bytes, const std::string& folder, const std::string& where,
                 std::optional<LocalTime> arrival, Message place) {
    if (!failure.empty()) return;
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
    r.doc->items.push_back(Item::MakeText(kSourceSizeItem, std::to_string(bytes.size())));
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
    for (const MaildirFile& m : MaildirFiles(source.path)) {
      bool ok = false;
      const std::string bytes = ReadFileBytes(m.file, &ok);
      if (!ok) failure = failure.empty() ? m.file.string() + " cannot be read" : failure;
      // A message without a Date is dated by its delivery, as the import
      // dates it: the time of this run would part copies read a second apart.
      add(bytes, m.folder, m.file.string(), FileArrival(m.file), {0, 0, m.file.string()});
    }
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
  }
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
  m_mapSources.erase(it);  // releases the lock; the work database goes with the folder
  if (failure.empty()) return {};
  m_bAnyFailed = true;
  return {u"Source not written back: " + sourceText + u" (" + platform::FromUtf8(failure) + u")"};
}

}  // namespace mailio
