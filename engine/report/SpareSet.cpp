#include "engine/report/SpareSet.h"

#include <filesystem>

#include "platform/Text.h"

namespace report {

SpareSet::SpareSet(const Report& report) {
  for (const DatabaseGroups& db : report.databases) {
    auto& disposable = m_mapDisposable[PathKey(db.strPath)];
    auto& kept = m_mapKept[PathKey(db.strPath)];
    for (const Group& g : db.groups) {
      kept.emplace(g.key, g.kept.id);
      for (const Member& m : g.duplicates) disposable.emplace(g.key, m.id);
    }
  }
}

SpareSet::SpareSet(const Review& review) {
  review.ForEachTicked([this](const std::u16string& path, const Group& g, const Member& m) {
    m_mapDisposable[PathKey(path)].emplace(g.key, m.id);
  });
}

bool SpareSet::Disposes(const std::u16string& path, const KeyDigest& digest, NOTEID id) const {
  const auto db = m_mapDisposable.find(PathKey(path));
  return db != m_mapDisposable.end() && db->second.count({MakeKey(digest), id}) > 0;
}

NOTEID SpareSet::KeptOf(const std::u16string& path, const KeyDigest& digest) const {
  const auto db = m_mapKept.find(PathKey(path));
  if (db == m_mapKept.end()) return 0;
  const auto kept = db->second.find(MakeKey(digest));
  return kept == db->second.end() ? 0 : kept->second;
}

std::string SpareSet::PathKey(const std::u16string& path) {
  return std::filesystem::path(platform::ToUtf8(path)).lexically_normal().string();
}

}  // namespace report
