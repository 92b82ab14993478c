// Gathers the report of a run: the DuplicateSink the run is given with
// --report and by the wizard's Preview.
//
// A group is made at its first duplicate; the kept document's fields are
// read then (by note id), so documents without duplicates cost only a map
// entry. At the end of each database its groups are put in the order their
// kept documents were judged.
//
// Threads: the run's worker fills it; read Result() only after the run.
// Handles one database at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "engine/report/Report.h"
#include "engine/report/RunHooks.h"

namespace report {

class ReportCollector final : public DuplicateSink {
public:
  ReportCollector() = default;
  ReportCollector(const ReportCollector&) = delete;
  ReportCollector& operator=(const ReportCollector&) = delete;

  void BeginDatabase(const std::u16string& path) override;
  void Kept(const KeyDigest& digest, NOTEID id, const std::u16string& folder) override;
  void Duplicate(RunSettings& settings, const KeyDigest& digest, const LNMailMessage& document,
                 NOTEID id) override;
  void Guarded(RunSettings& settings, const KeyDigest& digest, const LNMailMessage& document,
               NOTEID id) override;
  void KeysForgotten() override;
  // The run's options, for the report's top level.
  void SetOptions(ReportOptions options) { m_report.options = std::move(options); }
  void EndDatabase() override;
  std::unique_ptr<DuplicateSink> NewDatabaseSink() override;
  void TakeDatabases(DuplicateSink& part) override;

  const Report& Result() const { return m_report; }
  Report Take() { return std::move(m_report); }

private:
  struct KeyHash {
    std::size_t operator()(const Key& key) const noexcept;
  };
  struct KeptRecord {
    NOTEID id = 0;
    std::uint32_t nFolder = 0;
    std::uint64_t nOrder = 0;   // when it was judged
    std::int64_t nGroup = -1;   // its group in the database's list, once it has one
  };
  void AddMember(RunSettings& settings, const KeyDigest& digest, const LNMailMessage& document,
                 NOTEID id, bool bGuarded);
  void NewGroup(RunSettings& settings, const Key& key, KeptRecord& kept,
                const LNMailMessage& document);

  Report m_report;
  DatabaseGroups* m_pDatabase = nullptr;  // the last of m_report.databases while a database runs
  std::unordered_map<Key, KeptRecord, KeyHash> m_mapKept;
  std::map<std::u16string, std::uint32_t> m_mapFolderIndex;  // into vecFolders of m_pDatabase
  std::uint32_t m_nLastFolder = 0;
  std::vector<std::uint64_t> m_vecGroupOrder;  // nOrder of each group's kept document
  std::uint64_t m_nJudged = 0;
};

}  // namespace report
