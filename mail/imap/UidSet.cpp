#include "mail/imap/UidSet.h"

#include <algorithm>

namespace mailio::imap {

size_t UidSet::Count() const {
  size_t n = 0;
  for (const UidRange& r : ranges) n += static_cast<size_t>(r.last - r.first) + 1;
  return n;
}

std::string UidSet::Text() const {
  std::string out;
  for (const UidRange& r : ranges) {
    if (!out.empty()) out += ',';
    out += std::to_string(r.first);
    if (r.last != r.first) out += ':' + std::to_string(r.last);
  }
  return out;
}

std::vector<UidSet> SplitUidSets(std::vector<uint32_t> uids, size_t maxPerSet) {
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  if (!uids.empty() && uids.front() == 0) uids.erase(uids.begin());
  std::vector<UidSet> sets;
  if (maxPerSet == 0) return sets;
  size_t inSet = maxPerSet;  // forces a new set at the first UID
  for (uint32_t uid : uids) {
    if (inSet == maxPerSet) {
      sets.emplace_back();
      inSet = 0;
    }
    std::vector<UidRange>& ranges = sets.back().ranges;
    if (!ranges.empty() && ranges.back().last + 1 == uid) {
      ranges.back().last = uid;
    } else {
      ranges.push_back({uid, uid});
    }
    ++inSet;
  }
  return sets;
}

}  // namespace mailio::imap
