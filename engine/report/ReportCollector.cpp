#include "engine/report/ReportCollector.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "engine/DuplicateKeys.h"
#include "engine/report/DocumentFields.h"
#include "platform/Text.h"

namespace report {

std::size_t ReportCollector::KeyHash::operator()(const Key& key) const noexcept {
  // The digest's digits are already evenly spread.
  std::size_t h = 0;
  std::memcpy(&h, key.data(), sizeof h);
  std::size_t h2 = 0;
  std::memcpy(&h2, key.data() + 16, sizeof h2);
  return h ^ (h2 * 31);
}

void ReportCollector::BeginDatabase(const std::u16string& path) {
  m_report.databases.push_back(DatabaseGroups{path, {}, {}});
  m_pDatabase = &m_report.databases.back();
  m_mapKept.clear();
  m_vecGroupOrder.clear();
  m_mapFolderIndex.clear();
  m_nLastFolder = 0;
}

std::unique_ptr<DuplicateSink> ReportCollector::NewDatabaseSink() {
  return std::make_unique<ReportCollector>();
}

void ReportCollector::TakeDatabases(DuplicateSink& part) {
  auto* collector = dynamic_cast<ReportCollector*>(&part);
  if (!collector) return;
  auto& taken = collector->m_report.databases;
  for (DatabaseGroups& database : taken) m_report.databases.push_back(std::move(database));
  taken.clear();
  // The last database here is complete; nothing more is added to it.
  m_pDatabase = nullptr;
}

void ReportCollector::Kept(const KeyDigest& digest, NOTEID id, const std::u16string& folder) {
  if (!m_pDatabase) return;
  try {
    auto& folders = m_pDatabase->vecFolders;
    // Most documents are judged in the folder of the one before.
    if (m_nLastFolder >= folders.size() || folders[m_nLastFolder] != folder) {
      const auto [it, bNew] = m_mapFolderIndex.emplace(folder, static_cast<std::uint32_t>(folders.size()));
      if (bNew) folders.push_back(folder);
      m_nLastFolder = it->second;
    }
    KeptRecord& record = m_mapKept[MakeKey(digest)];
    record = KeptRecord{id, m_nLastFolder, m_nJudged++, -1};
  } catch (...) {
    // Out of memory: the report misses this group; the run goes on.
  }
}

void ReportCollector::Duplicate(RunSettings& settings, const KeyDigest& digest,
                                const LNMailMessage& document, NOTEID id) {
  AddMember(settings, digest, document, id, false);
}

void ReportCollector::Guarded(RunSettings& settings, const KeyDigest& digest,
                              const LNMailMessage& document, NOTEID id) {
  AddMember(settings, digest, document, id, true);
}

void ReportCollector::AddMember(RunSettings& settings, const KeyDigest& digest,
                                const LNMailMessage& document, NOTEID id, bool bGuarded) {
  if (!m_pDatabase) return;
  try {
    const Key key = MakeKey(digest);
    const auto kept = m_mapKept.find(key);
    if (kept == m_mapKept.end()) return;  // cannot happen: every digest was kept first
    if (kept->second.nGroup < 0) NewGroup(settings, key, kept->second, document);
    Group& group = m_pDatabase->groups[static_cast<std::size_t>(kept->second.nGroup)];
    const DocumentFields f = ReadFields(document, group.kind, settings.m_hDatabase, BodyText::none);
    // The duplicate's cells, read from its fields as the kept document's are;
    // kept only when they differ from those.
    Group own;
    own.kind = group.kind;
    own.fields = Texts(f.values);
    std::vector<std::u16string> cells;
    bool bSame = true;
    for (Cell c : {kSender, kSubject, kDate, kAttachments}) {
      const std::string_view cell = CellOf(own, own.kept, c);
      bSame = bSame && cell == CellOf(group, group.kept, c);
      cells.push_back(platform::FromUtf8(cell));
    }
    Member member{id, f.nSizeBytes, bSame ? Texts() : Texts(cells)};
    (bGuarded ? group.guarded : group.duplicates).push_back(std::move(member));
  } catch (...) {
    // A document that cannot be read is left out of the report, not the run.
  }
}

void ReportCollector::NewGroup(RunSettings& settings, const Key& key, KeptRecord& kept,
                               const LNMailMessage& document) {
  Group g;
  g.nFolder = kept.nFolder;
  g.key = key;
  g.kind = ClassifyDocument(document) == DocumentKind::contact ? Kind::contact : Kind::mail;
  g.nCompared = ComparedMask(settings, g.kind);
  g.kept.id = kept.id;
  std::vector<std::u16string> values(FieldNames(g.kind).size());
  try {
    LNDocument doc;
    LNMailMessage mail;
    if (settings.m_db.GetDocument(kept.id, &doc) == LNNOERROR) {
      mail = doc;
      if (mail.Open(0) == LNNOERROR) {
        DocumentFields f = ReadFields(mail, g.kind, settings.m_hDatabase, BodyText::snippet);
        mail.Close();
        values = std::move(f.values);
        g.kept.nSizeBytes = f.nSizeBytes;
      }
    }
  } catch (...) {
    // The group stays, with empty fields.
  }
  g.fields = Texts(values);
  kept.nGroup = static_cast<std::int64_t>(m_pDatabase->groups.size());
  m_pDatabase->groups.push_back(std::move(g));
  m_vecGroupOrder.push_back(kept.nOrder);
}

void ReportCollector::KeysForgotten() { m_mapKept.clear(); }

void ReportCollector::EndDatabase() {
  if (!m_pDatabase) return;
  // Groups were made at their first duplicate; the report lists them in the
  // order their kept documents were judged.
  std::vector<std::size_t> order(m_pDatabase->groups.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    return m_vecGroupOrder[a] < m_vecGroupOrder[b];
  });
  std::vector<Group> sorted;
  sorted.reserve(order.size());
  for (std::size_t i : order) sorted.push_back(std::move(m_pDatabase->groups[i]));
  m_pDatabase->groups = std::move(sorted);
  m_pDatabase = nullptr;
  m_mapKept.clear();
  m_mapKept.rehash(0);
  m_vecGroupOrder.clear();
}

}  // namespace report
