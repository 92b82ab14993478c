#include "engine/report/Review.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <tuple>

#include "platform/Text.h"

namespace report {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsFolded(std::string_view text, std::string_view folded) {
  return std::search(text.begin(), text.end(), folded.begin(), folded.end(),
                     [](char x, char y) { return Folded(x) == y; }) != text.end();
}

std::string CsvField(std::string_view text, bool bText = true) {
  std::string field(text);
  // A spreadsheet runs a cell that starts like this as a formula; a mail's
  // subject or sender is written by strangers.
  if (bText && !field.empty() && std::string_view("=+-@\t\r").find(field.front()) != std::string_view::npos)
    field.insert(field.begin(), '\'');
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

Review::Review(Report report) : m_report(std::move(report)) {
  for (std::uint32_t d = 0; d < m_report.databases.size(); ++d) {
    const auto& groups = m_report.databases[d].groups;
    for (std::uint32_t g = 0; g < groups.size(); ++g) {
      m_vecGroups.push_back(GroupRef{d, g, static_cast<std::uint32_t>(m_vecTicked.size())});
      m_vecTicked.insert(m_vecTicked.end(), groups[g].duplicates.size(), 1);
    }
  }
  m_nTicked = m_vecTicked.size();
  Arrange(Arrangement{});
}

const DatabaseGroups& Review::DatabaseOf(std::uint32_t group) const {
  return m_report.databases[m_vecGroups.at(group).nDatabase];
}

const Group& Review::GroupAt(std::uint32_t group) const {
  const GroupRef& ref = m_vecGroups.at(group);
  return m_report.databases[ref.nDatabase].groups[ref.nGroup];
}

const Member& Review::MemberOf(const Row& row) const {
  const Group& g = GroupAt(row.nGroup);
  return row.nMember < 0 ? g.kept : g.duplicates.at(static_cast<std::size_t>(row.nMember));
}

const std::u16string& Review::FolderOf(std::uint32_t group) const {
  return DatabaseOf(group).FolderOf(GroupAt(group));
}

bool Review::IsTicked(const Row& row) const {
  if (row.nMember < 0) return false;
  return m_vecTicked.at(m_vecGroups.at(row.nGroup).nFirstTick + static_cast<std::uint32_t>(row.nMember)) != 0;
}

void Review::SetTicked(const Row& row, bool bTicked) {
  if (row.nMember < 0) return;
  std::uint8_t& tick =
      m_vecTicked.at(m_vecGroups.at(row.nGroup).nFirstTick + static_cast<std::uint32_t>(row.nMember));
  if ((tick != 0) == bTicked) return;
  tick = bTicked ? 1 : 0;
  m_nTicked = bTicked ? m_nTicked + 1 : m_nTicked - 1;
}

std::string_view Review::CellAt(const Row& row, Cell cell) const {
  return CellOf(GroupAt(row.nGroup), MemberOf(row), cell);
}

bool Review::Matches(std::uint32_t group, const Arrangement& arrangement, std::string_view folded) const {
  if (!arrangement.strFolder.empty() && FolderOf(group) != arrangement.strFolder) return false;
  if (!arrangement.strDatabase.empty() && DatabaseOf(group).strPath != arrangement.strDatabase) return false;
  if (folded.empty()) return true;
  const Group& g = GroupAt(group);
  if (ContainsFolded(CellOf(g, g.kept, kSender), folded)) return true;
  return std::any_of(g.duplicates.begin(), g.duplicates.end(), [&](const Member& m) {
    return ContainsFolded(CellOf(g, m, kSender), folded);
  });
}

void Review::Arrange(const Arrangement& arrangement) {
  m_arrangement = arrangement;
  std::string folded = platform::ToUtf8(arrangement.strSender);
  std::transform(folded.begin(), folded.end(), folded.begin(), Folded);
  std::vector<std::uint32_t> order;
  order.reserve(m_vecGroups.size());
  for (std::uint32_t g = 0; g < m_vecGroups.size(); ++g)
    if (Matches(g, arrangement, folded)) order.push_back(g);
  // Sort keys are taken once, side by side, so that comparing touches no
  // group: this keeps ordering 100,000 groups well under a second.
  if (arrangement.order == Order::folder) {
    std::vector<std::pair<const std::u16string*, std::uint32_t>> keys;
    keys.reserve(order.size());
    for (std::uint32_t g : order) keys.emplace_back(&FolderOf(g), g);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].second;
  } else if (arrangement.order == Order::size || arrangement.order == Order::noteId) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
    keys.reserve(order.size());
    for (std::uint32_t g : order)
      keys.emplace_back(arrangement.order == Order::size ? GroupAt(g).kept.nSizeBytes : GroupAt(g).kept.id, g);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].second;
  } else if (arrangement.order != Order::judged) {
    std::vector<std::pair<std::string, std::uint32_t>> keys;
    keys.reserve(order.size());
    const Cell cell = arrangement.order == Order::subject ? kSubject : arrangement.order == Order::date ? kDate : kSender;
    for (std::uint32_t g : order) {
      std::string key = arrangement.order == Order::database ? platform::ToUtf8(DatabaseOf(g).strPath)
                                                             : std::string(CellOf(GroupAt(g), GroupAt(g).kept, cell));
      std::transform(key.begin(), key.end(), key.begin(), Folded);
      keys.emplace_back(std::move(key), g);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].second;
  }
  if (arrangement.bDescending) std::reverse(order.begin(), order.end());
  m_vecRows.clear();
  for (std::uint32_t g : order) {
    m_vecRows.push_back(Row{g, -1});
    const auto n = static_cast<std::int32_t>(GroupAt(g).duplicates.size());
    for (std::int32_t m = 0; m < n; ++m) m_vecRows.push_back(Row{g, m});
  }
  m_vecRows.shrink_to_fit();
}

std::size_t Review::CarryChoices(const Review& earlier) {
  std::set<std::tuple<std::u16string, Key, NOTEID>> spared;
  for (std::uint32_t g = 0; g < earlier.GroupCount(); ++g) {
    const Group& group = earlier.GroupAt(g);
    for (std::size_t m = 0; m < group.duplicates.size(); ++m)
      if (!earlier.IsTicked(Row{g, static_cast<std::int32_t>(m)}))
        spared.emplace(earlier.DatabaseOf(g).strPath, group.key, group.duplicates[m].id);
  }
  std::size_t nCarried = 0;
  for (std::uint32_t g = 0; g < GroupCount() && !spared.empty(); ++g) {
    const Group& group = GroupAt(g);
    for (std::size_t m = 0; m < group.duplicates.size(); ++m) {
      const Row row{g, static_cast<std::int32_t>(m)};
      if (!IsTicked(row) || !spared.count({DatabaseOf(g).strPath, group.key, group.duplicates[m].id})) continue;
      SetTicked(row, false);
      ++nCarried;
    }
  }
  return nCarried;
}

std::vector<std::u16string> Review::Folders() const {
  std::vector<std::u16string> folders;
  for (std::uint32_t g = 0; g < m_vecGroups.size(); ++g) {
    const std::u16string& folder = FolderOf(g);
    if (folders.empty() || folders.back() != folder)
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  }
  return folders;
}

void Review::WriteJson(const TextSink& write) const {
  report::WriteJson(
      m_report, [this](std::size_t g, std::size_t m) { return m_vecTicked[m_vecGroups[g].nFirstTick + m] != 0; },
      write);
}

std::string Review::ToJson() const {
  std::string json;
  WriteJson([&json](std::string_view part) { json += part; });
  return json;
}

std::string Review::ToCsv() const {
  std::string csv = "\xEF\xBB\xBF"
                    "Database,Folder,Group,Role,Remove,Note ID,Sender,Subject,Date,Size,Attachments\r\n";
  for (std::uint32_t g = 0; g < m_vecGroups.size(); ++g) {
    const Group& group = GroupAt(g);
    const std::string prefix = CsvField(platform::ToUtf8(DatabaseOf(g).strPath)) + "," +
                               CsvField(platform::ToUtf8(FolderOf(g))) + "," + std::to_string(g + 1) + ",";
    for (std::int32_t m = -1; m < static_cast<std::int32_t>(group.duplicates.size()); ++m) {
      const Row row{g, m};
      const Member& member = MemberOf(row);
      csv += prefix + (m < 0 ? "kept," : IsTicked(row) ? "duplicate,yes," : "duplicate,no,");
      if (m < 0) csv += ",";
      csv += std::to_string(member.id) + ",";
      for (Cell c : {kSender, kSubject, kDate}) csv += CsvField(CellOf(group, member, c)) + ",";
      csv += std::to_string(member.nSizeBytes) + "," + CsvField(CellOf(group, member, kAttachments)) + "\r\n";
    }
  }
  return csv;
}

}  // namespace report
