#include "mail/ImportReport.h"

#include <ostream>

namespace mailio {

ImportReport::ImportReport(std::string unit, std::ostream& out, std::ostream& err)
    : m_strUnit(std::move(unit)), m_out(out), m_err(err) {}

void ImportReport::Skipped(const std::string& file, std::size_t number, const std::string& reason) {
  m_err << file << ": " << m_strUnit << " " << number << ": skipped: " << reason << "\n";
  ++m_mapSkippedByReason[reason];
}

void ImportReport::SourceFailed(const std::string& message) { m_err << message << "\n"; }

std::size_t ImportReport::SkippedCount() const {
  std::size_t n = 0;
  for (const auto& [reason, count] : m_mapSkippedByReason) n += count;
  return n;
}

void ImportReport::PrintTotals() const {
  m_out << "imported: " << m_nImported << "\n";
  m_out << "skipped: " << SkippedCount() << "\n";
  for (const auto& [reason, count] : m_mapSkippedByReason)
    m_out << "skipped (" << reason << "): " << count << "\n";
  m_out.flush();
}

}  // namespace mailio
