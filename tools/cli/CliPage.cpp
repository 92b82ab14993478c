#include "tools/cli/CliPage.h"

#include "platform/Text.h"

namespace cli {

void CliPage::SetInitialRows(const std::vector<std::u16string>& rows) {
  for (const std::u16string& row : rows) AddLogRow(row);
}

void CliPage::AddLogRow(const std::u16string& text) {
  m_vecRows.push_back(text);
  std::FILE* out = !m_bQuiet ? m_pOut : IsFailureRow(text) ? m_pErr : nullptr;
  if (!out) return;
  const std::string line = platform::ToUtf8(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

bool IsFailureRow(std::u16string_view row) {
  static constexpr std::u16string_view kPrefixes[] = {
      u"Database not created: ", u"Database Cannot be Open: ", u"Item not moved:", u"Item not copied:",
      u"Sub folder missing, nothing moved or copied: ", u"Unexpected error while processing ",
      u"Log file could not be created: ", u"Log file could not be written: ", u"Folder list incomplete: ",
      u"Folder not fully processed: ", u"Journal file could not be created: ",
      u"Journal file could not be written: ", u"Source not read: ", u"Source not written back: "};
  for (std::u16string_view prefix : kPrefixes)
    if (row.substr(0, prefix.size()) == prefix) return true;
  return false;
}

}  // namespace cli
