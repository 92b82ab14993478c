#include "engine/RunLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "engine/RunPage.h"
#include "engine/journal/RunJournal.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kFlushUnits = 32 * 1024;
// Runs of one second that overlap: more than this many is a runaway.
constexpr int kMaxLogNumber = 1000;

void Report(RunPage& page, std::u16string_view row, const std::u16string& path) {
  page.AddLogRow(std::u16string(row) + path);
}

}  // namespace

std::u16string LogFilePath(const std::u16string& folder, const std::u16string& stamp) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path + u"Tarnwick_log_" + stamp + u".txt";
}

std::u16string NumberedLogPath(const std::u16string& path, int n) {
  if (n <= 1) return path;
  constexpr std::u16string_view kTxt = u".txt";
  const std::u16string number = u"-" + platform::DecimalText(n);
  if (path.size() >= kTxt.size() && path.compare(path.size() - kTxt.size(), kTxt.size(), kTxt) == 0)
    return path.substr(0, path.size() - kTxt.size()) + number + std::u16string(kTxt);
  return path + number;
}

namespace {

// A run that let its log go (a write failed) still holds its journal.
bool JournalHeld(const std::u16string& logPath) {
  const std::string path = platform::ToUtf8(journal::JournalPathForLog(logPath));
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool bHeld = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return bHeld;
}

// Takes the log file at path for this run: appends to it when it is there,
// creates it otherwise. Held: another run still going has this name.
enum class Taken { yes, held, refused };

Taken TakeLogFile(platform::CFile& file, const std::u16string& path) {
  const std::string bytesPath = platform::ToUtf8(path);
  // Between a name found taken and its opening it may go again (and the
  // other way round): a few tries settle it.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (file.Open(bytesPath, platform::CFile::Mode::openExisting)) break;
    if (file.OpenError() == EWOULDBLOCK) return Taken::held;
    if (file.OpenError() != ENOENT) return Taken::refused;  // a link, another's file, no folder, ...
    if (file.Open(bytesPath, platform::CFile::Mode::createNew)) break;
    if (file.OpenError() == EWOULDBLOCK) return Taken::held;
    if (file.OpenError() != EEXIST) return Taken::refused;
  }
  if (!file.IsOpen()) return Taken::refused;
  if (JournalHeld(path)) {
    file.Close();
    return Taken::held;
  }
  return Taken::yes;
}

}  // namespace

std::u16string OpenRunLog(platform::CFile& file, RunPage& page, const std::u16string& path,
                          const std::vector<std::u16string>& rows, bool bCreate) {
  file.Close();
  if (!bCreate) {
    Report(page, kLogNotCreatedRow, path);
    return path;
  }
  std::u16string taken = path;
  Taken outcome = Taken::held;
  for (int n = 1; outcome == Taken::held && n <= kMaxLogNumber; ++n) {
    taken = NumberedLogPath(path, n);
    outcome = TakeLogFile(file, taken);
  }
  if (outcome != Taken::yes) {
    Report(page, kLogNotCreatedRow, taken);
    return taken;
  }
  bool bOk = true;
  // Empty: new, also when another run made the name and then took the next.
  if (file.Size() == 0) {
    static constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
    bOk = file.Write(kByteOrderMark, sizeof kByteOrderMark);
  }
  if (bOk) {
    std::u16string head(149, u'*');
    head += u"\r\n";
    for (const std::u16string& row : rows) head += row + u"\r\n";
    bOk = file.Write(head);
  }
  if (!bOk) {
    file.Close();
    Report(page, kLogNotWrittenRow, taken);
  }
  return taken;
}

void RunLog::WriteLogText(std::u16string_view text) {
  if (m_pRecord) {
    auto& events = m_pRecord->vecEvents;
    if (events.empty() || events.back().kind != RunLogRecord::Kind::text)
      events.push_back({RunLogRecord::Kind::text, {}});
    events.back().strText += text;
    return;
  }
  m_page.LogTextWritten(text);
  if (!m_file.IsOpen()) return;
  m_strPending += text;
  if (m_strPending.size() >= kFlushUnits) Flush();
}

void RunLog::Flush() {
  if (m_pRecord) {
    // Flushes decide where a failed write is reported; kept so that a
    // replay reports it at the same row.
    auto& events = m_pRecord->vecEvents;
    if (!events.empty() && events.back().kind != RunLogRecord::Kind::flush)
      events.push_back({RunLogRecord::Kind::flush, {}});
    return;
  }
  if (m_strPending.empty()) return;
  const bool bOk = m_file.IsOpen() && m_file.Write(m_strPending);
  m_strPending.clear();
  if (!bOk && m_file.IsOpen()) {
    m_file.Close();
    Report(m_page, kLogNotWrittenRow, m_strPath);
  }
}

void RunLog::AddLogRow(const std::u16string& text) {
  if (m_pRecord) m_pRecord->vecEvents.push_back({RunLogRecord::Kind::row, text});
  else m_page.AddLogRow(text);
}

void RunLog::Replay(const RunLogRecord& record) {
  for (const RunLogRecord::Event& event : record.vecEvents) {
    switch (event.kind) {
      case RunLogRecord::Kind::row: AddLogRow(event.strText); break;
      case RunLogRecord::Kind::text: WriteLogText(event.strText); break;
      case RunLogRecord::Kind::flush: Flush(); break;
    }
  }
}
