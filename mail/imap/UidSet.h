// Sets of message UIDs as the commands of this program send them: ranges
// (`3:7,9,12:40`), never more than kMaxUidsPerCommand UIDs in one command,
// so that no command line grows past what servers accept and a failure
// costs one batch. Values only; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mailio::imap {

inline constexpr size_t kMaxUidsPerCommand = 1000;

struct UidRange {
  uint32_t first = 0;
  uint32_t last = 0;  // inclusive, >= first
  bool operator==(const UidRange&) const = default;
};

// One command's UIDs: ascending, disjoint, non-adjacent ranges.
struct UidSet {
  std::vector<UidRange> ranges;
  size_t Count() const;
  // The IMAP form: `3:7,9,12:40`; empty for an empty set.
  std::string Text() const;
  bool operator==(const UidSet&) const = default;
};

// uids (any order, repeats and 0 ignored) as sets of at most maxPerSet UIDs
// each, in ascending order; a range that would cross a set's limit is split.
std::vector<UidSet> SplitUidSets(std::vector<uint32_t> uids, size_t maxPerSet = kMaxUidsPerCommand);

}  // namespace mailio::imap
