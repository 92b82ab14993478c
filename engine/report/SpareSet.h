// The spare set: which duplicates a run may dispose of, read from a report
// (usually a dry run's, edited by the user or exported by the review
// window). A duplicate is disposed of only when the report lists its note id
// under "duplicates" of a group with the same key, for the same database
// path; every other duplicate is spared. So a report that no longer fits the
// database (documents changed, ids reused elsewhere) can only spare more,
// never dispose of a document it did not name.
//
// Threads: built before the run, then only read (by the run's worker).
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>

#include "engine/report/Report.h"
#include "engine/report/Review.h"
#include "engine/report/RunHooks.h"

namespace report {

class SpareSet final : public SparePredicate {
public:
  explicit SpareSet(const Report& report);
  // The duplicates the review leaves ticked.
  explicit SpareSet(const Review& review);
  [[nodiscard]] bool Disposes(const std::u16string& path, const KeyDigest& digest,
                              NOTEID id) const override;
  // The kept member the report names for the group of digest (0: none).
  [[nodiscard]] NOTEID KeptOf(const std::u16string& path, const KeyDigest& digest) const override;

private:
  // Paths compared with "." and ".." steps and doubled separators taken out.
  static std::string PathKey(const std::u16string& path);

  std::map<std::string, std::set<std::pair<Key, NOTEID>>> m_mapDisposable;
  std::map<std::string, std::map<Key, NOTEID>> m_mapKept;
};

}  // namespace report
