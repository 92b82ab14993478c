// Counts of an import and the lines that tell the user about it: one line on
// standard error per skipped message or card (file, number, reason), and the
// totals at the end on standard output.
//
// One thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>

namespace mailio {

class ImportReport {
public:
  // unit: "message" or "card", for the lines.
  ImportReport(std::string unit, std::ostream& out, std::ostream& err);

  void Imported() { ++m_nImported; }
  // Takes back imports that a failed final commit did not keep.
  void Unimported(std::size_t count) { m_nImported -= std::min(count, m_nImported); }
  // "<file>: <unit> <number>: skipped: <reason>"
  void Skipped(const std::string& file, std::size_t number, const std::string& reason);
  // A whole source that could not be read: one line, no count.
  void SourceFailed(const std::string& message);
  // "imported: N", "skipped: M", then "skipped (<reason>): K" per reason.
  void PrintTotals() const;

  std::size_t ImportedCount() const { return m_nImported; }
  std::size_t SkippedCount() const;
  // 0 when anything was imported, else 1.
  int ExitStatus() const { return m_nImported > 0 ? 0 : 1; }

private:
  std::string m_strUnit;
  std::ostream& m_out;
  std::ostream& m_err;
  std::size_t m_nImported = 0;
  std::map<std::string, std::size_t> m_mapSkippedByReason;
};

}  // namespace mailio
