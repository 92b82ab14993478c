#include "tools/cli/CliPage.h"

#include <unistd.h>

#include "platform/Text.h"
#include "tools/cli/ProgressLine.h"

namespace cli {

CliPage::CliPage(std::FILE* out, bool bQuiet, ProgressLine* pProgress)
    : m_pOut(out), m_bQuiet(bQuiet), m_pProgress(pProgress),
      m_bRowsOnTerminal(::isatty(fileno(out)) != 0) {}

void CliPage::SetInitialRows(const std::vector<std::u16string>& rows) {
  for (const std::u16string& row : rows) AddLogRow(row);
}

void CliPage::AddLogRow(const std::u16string& text) {
  m_vecRows.push_back(text);
  Print(text);
}

void CliPage::SetBarRange(int bar, int, int nUpper) {
  if (bar == kDatabaseBar) m_nDatabaseUpper = nUpper;
}

void CliPage::SetBarPos(int bar, int nPos) {
  if (bar == kDatabaseBar && m_pProgress) m_pProgress->SetDatabaseBar(nPos, m_nDatabaseUpper);
}

void CliPage::Print(const std::u16string& text) {
  if (m_bQuiet) return;
  if (m_pProgress && m_bRowsOnTerminal) m_pProgress->Clear();
  const std::string line = platform::ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), m_pOut);
  std::fflush(m_pOut);
}

}  // namespace cli
