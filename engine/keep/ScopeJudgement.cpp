#include "engine/keep/ScopeJudgement.h"

#include <algorithm>

#include "engine/DuplicateKeys.h"
#include "engine/keys/LooseKeys.h"

ScopeJudgement::FolderSlot& ScopeJudgement::BeginFolder(NOTEID folderId, const std::u16string& name) {
  FolderSlot slot;
  slot.folderId = folderId;
  slot.strName = name;
  slot.nBegin = slot.nEnd = m_vecDocuments.size();
  m_vecFolders.push_back(std::move(slot));
  return m_vecFolders.back();
}

std::uint16_t ScopeJudgement::FormIndex(const std::u16string& form) {
  if (const auto it = m_mapFormIndex.find(form); it != m_mapFormIndex.end()) return it->second;
  // Past the index's range every new form shares the last one's text: a
  // store with 65,535 form names is not one a person reads the log of.
  if (m_vecForms.size() >= 0xFFFF) return 0xFFFE;
  const auto index = static_cast<std::uint16_t>(m_vecForms.size());
  m_vecForms.push_back(form);
  m_mapFormIndex.emplace(form, index);
  return index;
}

std::uint32_t ScopeJudgement::KeyIndex(const KeyDigest& digest, bool bTolerant, bool* pNew) {
  const auto [it, bNew] = m_mapKeyIndex.emplace(digest, static_cast<std::uint32_t>(m_vecKeys.size()));
  if (bNew) {
    m_vecKeys.push_back(&it->first);
    m_vecKeyTolerant.push_back(bTolerant ? 1 : 0);
  }
  if (pNew) *pNew = bNew;
  return it->second;
}

void ScopeJudgement::AddUnkeyed(Document doc, const std::u16string& form) {
  doc.nForm = FormIndex(form);
  doc.nGroup = kNone;
  doc.outcome = Outcome::kept;
  m_vecDocuments.push_back(doc);
  m_vecFolders.back().nEnd = m_vecDocuments.size();
}

void ScopeJudgement::AddKeyed(Document doc, const std::u16string& form, const KeyDigest& digest,
                              bool bTolerant) {
  doc.nForm = FormIndex(form);
  doc.nGroup = KeyIndex(digest, bTolerant, nullptr);
  doc.outcome = Outcome::kept;
  m_vecDocuments.push_back(doc);
  m_vecFolders.back().nEnd = m_vecDocuments.size();
}

void ScopeJudgement::AddAnchor(Document doc, const KeyDigest& digest, bool bTolerant) {
  if (m_mapKeyIndex.count(digest) != 0) return;  // the key has a first member already
  doc.nGroup = KeyIndex(digest, bTolerant, nullptr);
  doc.outcome = Outcome::anchor;
  m_vecDocuments.push_back(doc);
  m_vecFolders.back().nEnd = m_vecDocuments.size();
}

void ScopeJudgement::AddUnopened() {
  Document doc;
  doc.outcome = Outcome::unopened;
  m_vecDocuments.push_back(doc);
  m_vecFolders.back().nEnd = m_vecDocuments.size();
}

void ScopeJudgement::Decide(const SpareKept& spareKept, const FiledIn& filedIn) {
  // Members of each key, in judging order (a counting sort by key).
  const std::size_t nKeys = m_vecKeys.size();
  std::vector<std::uint32_t> start(nKeys + 1, 0);
  for (const Document& d : m_vecDocuments)
    if (d.nGroup != kNone) ++start[d.nGroup + 1];
  for (std::size_t k = 0; k < nKeys; ++k) start[k + 1] += start[k];
  std::vector<std::uint32_t> members(start.back());
  {
    std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
    for (std::uint32_t i = 0; i < m_vecDocuments.size(); ++i)
      if (m_vecDocuments[i].nGroup != kNone) members[next[m_vecDocuments[i].nGroup]++] = i;
  }
  for (Document& d : m_vecDocuments) d.nGroup = kNone;
  std::vector<std::uint32_t> keyMembers;
  for (std::uint32_t k = 0; k < nKeys; ++k) {
    keyMembers.assign(members.begin() + start[k], members.begin() + start[k + 1]);
    DecideKey(keyMembers, k, spareKept, filedIn);
  }
  // The key map is not needed any more; the groups hold their digests.
  m_mapKeyIndex = {};
  m_vecKeys = {};
  m_vecKeyTolerant = {};
}

void ScopeJudgement::DecideKey(const std::vector<std::uint32_t>& members, std::uint32_t nKey,
                               const SpareKept& spareKept, const FiledIn& filedIn) {
  const KeyDigest& digest = *m_vecKeys[nKey];
  if (m_vecKeyTolerant[nKey] == 0 || !m_options.HasDateTolerance()) {
    DecideGroup(members, digest, spareKept, filedIn);
    return;
  }
  // Chains of dates within the tolerance; each is a group whose key is the
  // key without the date and the chain's earliest date, so that the same
  // mails form the same groups with the same keys in any order.
  std::vector<std::uint32_t> byDate(members);
  std::stable_sort(byDate.begin(), byDate.end(), [this](std::uint32_t a, std::uint32_t b) {
    return m_vecDocuments[a].nDateSeconds < m_vecDocuments[b].nDateSeconds;
  });
  std::vector<std::int64_t> dates;
  for (std::uint32_t i : byDate) dates.push_back(m_vecDocuments[i].nDateSeconds);
  std::vector<std::size_t> starts = keys::ChainStarts(dates, m_options.nDateToleranceSeconds);
  starts.push_back(byDate.size());
  for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
    std::vector<std::uint32_t> chain(byDate.begin() + static_cast<std::ptrdiff_t>(starts[c]),
                                     byDate.begin() + static_cast<std::ptrdiff_t>(starts[c + 1]));
    std::sort(chain.begin(), chain.end());  // back into judging order
    std::string text(digest.Text().begin(), digest.Text().end());
    text += '\x1F' + std::to_string(dates[starts[c]]);
    DecideGroup(chain, DigestKeyBytes(text), spareKept, filedIn);
  }
}

void ScopeJudgement::DecideGroup(const std::vector<std::uint32_t>& members, const KeyDigest& digest,
                                 const SpareKept& spareKept, const FiledIn& filedIn) {
  if (members.size() < 2) return;  // a document alone is kept, as added
  const auto anchor = std::find_if(members.begin(), members.end(), [this](std::uint32_t i) {
    return m_vecDocuments[i].outcome == Outcome::anchor;
  });
  std::uint32_t kept = members.front();
  if (anchor != members.end()) {
    kept = *anchor;  // judged and kept by an earlier pass already
  } else if (const NOTEID named = spareKept ? spareKept(digest) : 0;
             named != 0 && std::any_of(members.begin(), members.end(),
                                       [&](std::uint32_t i) { return m_vecDocuments[i].id == named; })) {
    kept = *std::find_if(members.begin(), members.end(),
                         [&](std::uint32_t i) { return m_vecDocuments[i].id == named; });
  } else {
    std::vector<KeepCandidate> candidates;
    candidates.reserve(members.size());
    for (std::uint32_t i : members) {
      const Document& d = m_vecDocuments[i];
      candidates.push_back({d.nDateSeconds, d.bHasDate != 0, d.nSizeBytes});
    }
    const ::FiledIn filed = [&](std::size_t m, const std::u16string& folder) {
      return filedIn && filedIn(m_vecDocuments[members[m]].id, folder);
    };
    kept = members[ChooseKept(m_options.vecRules, candidates, filed)];
  }
  const auto nGroup = static_cast<std::uint32_t>(m_vecGroups.size());
  m_vecGroups.push_back({digest, kept});
  for (std::uint32_t i : members) {
    Document& d = m_vecDocuments[i];
    d.nGroup = nGroup;
    if (d.outcome != Outcome::anchor) d.outcome = i == kept ? Outcome::kept : Outcome::duplicate;
  }
}

const std::u16string& ScopeJudgement::FolderOf(std::size_t i) const {
  const auto it = std::upper_bound(m_vecFolders.begin(), m_vecFolders.end(), i,
                                   [](std::size_t n, const FolderSlot& s) { return n < s.nEnd; });
  return it != m_vecFolders.end() ? it->strName : m_vecFolders.back().strName;
}

std::vector<std::uint32_t> ScopeJudgement::GroupsInKeptOrder() const {
  std::vector<std::uint32_t> order(m_vecGroups.size());
  for (std::uint32_t g = 0; g < order.size(); ++g) order[g] = g;
  std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
    return m_vecGroups[a].nKept < m_vecGroups[b].nKept;
  });
  return order;
}
