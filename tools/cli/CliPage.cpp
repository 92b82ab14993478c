#include "tools/cli/CliPage.h"

#include "platform/Text.h"

namespace cli {

void CliPage::SetInitialRows(const std::vector<std::u16string>& rows) {
  for (const std::u16string& row : rows) AddLogRow(row);
}

void CliPage::AddLogRow(const std::u16string& text) {
  m_vecRows.push_back(text);
  Print(text);
}

void CliPage::Print(const std::u16string& text) {
  if (m_bQuiet) return;
  const std::string line = platform::ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), m_pOut);
  std::fflush(m_pOut);
}

}  // namespace cli
