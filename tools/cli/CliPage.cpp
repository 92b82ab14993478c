#include "tools/cli/CliPage.h"

#include <unistd.h>

#include <algorithm>

#include "engine/RunLog.h"
#include "platform/Text.h"
#include "tools/cli/ProgressLine.h"

namespace cli {

CliPage::CliPage(std::FILE* out, bool bQuiet, ProgressLine* pProgress, std::FILE* err)
    : m_pOut(out), m_pErr(err), m_bQuiet(bQuiet), m_pProgress(pProgress),
      m_bRowsOnTerminal(::isatty(fileno(out)) != 0) {}

void CliPage::SetInitialRows(const std::vector<std::u16string>& rows) {
  for (const std::u16string& row : rows) AddLogRow(row);
}

void CliPage::AddLogRow(const std::u16string& text) {
  m_vecRows.push_back(text);
  if (!m_bQuiet) Print(text, m_pOut);
  else if (IsFailureRow(text)) Print(text, m_pErr);
}

void CliPage::LogTextWritten(std::u16string_view text) {
  if (m_bQuiet) return;
  static constexpr std::u16string_view kDuplicate = u"Duplicate Item ID:\t";
  static constexpr std::u16string_view kLineEnd = u"\r\n";
  m_strLogLine += text;
  std::size_t start = 0;
  for (std::size_t end; (end = m_strLogLine.find(kLineEnd, start)) != std::u16string::npos;
       start = end + kLineEnd.size()) {
    const std::u16string_view line = std::u16string_view(m_strLogLine).substr(start, end - start);
    if (line.substr(0, kDuplicate.size()) == kDuplicate) Print(std::u16string(line), m_pOut);
  }
  m_strLogLine.erase(0, start);
}

void CliPage::SetBarRange(int bar, int, int nUpper) {
  if (bar == kDatabaseBar) m_nDatabaseUpper = nUpper;
}

void CliPage::SetBarPos(int bar, int nPos) {
  if (bar == kDatabaseBar && m_pProgress) m_pProgress->SetDatabaseBar(nPos, m_nDatabaseUpper);
}

void CliPage::Print(const std::u16string& text, std::FILE* out) {
  if (m_pProgress && m_bRowsOnTerminal) m_pProgress->Clear();
  const std::string line = platform::ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

bool CliPage::LogNotCreated() const {
  return std::any_of(m_vecRows.begin(), m_vecRows.end(), [](const std::u16string& row) {
    return row.rfind(kLogNotCreatedRow, 0) == 0;
  });
}

bool IsFailureRow(std::u16string_view row) {
  static constexpr std::u16string_view kPrefixes[] = {
      u"Report file could not be created: ", u"Journal damaged: ", u"Mail server not reached: ",
      u"Database not created: ", u"Database Cannot be Open: ", u"Item not moved:", u"Item not copied:",
      u"Sub folder missing, nothing moved or copied: ", u"Unexpected error while processing ",
      u"Log file could not be created: ", u"Log file could not be written: ", u"Folder list incomplete: ",
      u"Folder not fully processed: ", u"Journal file could not be created: ",
      u"Journal file could not be written: ", u"Source not read: ", u"Source not written back: ",
      u"Run stopped by signal: "};
  for (std::u16string_view prefix : kPrefixes)
    if (row.substr(0, prefix.size()) == prefix) return true;
  return false;
}

}  // namespace cli
