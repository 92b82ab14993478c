#include "engine/RunLog.h"

#include "engine/RunPage.h"
#include "platform/File.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kFlushUnits = 32 * 1024;

void Report(RunPage& page, std::u16string_view row, const std::u16string& path) {
  page.AddLogRow(std::u16string(row) + path);
}

}  // namespace

std::u16string LogFilePath(const std::u16string& folder, const std::u16string& stamp) {
  std::u16string path = folder;
  if (!path.empty() && path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path + u"Tarnwick_log_" + stamp + u".txt";
}

void OpenRunLog(platform::CFile& file, RunPage& page, const std::u16string& path,
                const std::vector<std::u16string>& rows, bool bCreate) {
  file.Close();
  if (!bCreate) {
    Report(page, kLogNotCreatedRow, path);
    return;
  }
  const std::string bytesPath = platform::ToUtf8(path);
  const bool bExists = platform::FileExists(bytesPath);
  if (!file.Open(bytesPath, bExists ? platform::CFile::Mode::openExisting
                                    : platform::CFile::Mode::createNew)) {
    Report(page, kLogNotCreatedRow, path);
    return;
  }
  bool bOk = true;
  if (!bExists) {
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
    Report(page, kLogNotWrittenRow, path);
  }
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
