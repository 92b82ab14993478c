// The review of a report: which duplicates the user leaves ticked (to be
// removed) and which he unticks (to be spared), and the rows a review window
// shows, arranged on demand.
//
// Rows are groups laid out one after another: the kept document first, then
// its duplicates. Arranging (sorting groups by folder or by the kept
// document's sender, keeping only groups of one folder or with a sender that
// contains a text) rebuilds only an index of 8 bytes per row, so a review of
// 100,000 groups rearranges at once; the report itself is never copied.
//
// Threads: one thread (the user-interface thread of the review window).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report/Report.h"

namespace report {

class Review {
public:
  // Every duplicate starts ticked: the run would remove it.
  explicit Review(Report report);

  struct Row {
    std::uint32_t nGroup = 0;   // in judged order over every database
    std::int32_t nMember = -1;  // -1 the kept document, else its duplicate number
  };
  // Groups are ordered by their kept document's value (the folder of the
  // pass that judged them, the database they are in).
  enum class Order { judged, folder, sender, subject, date, size, noteId, database };
  struct Arrangement {
    Order order = Order::judged;
    bool bDescending = false;
    std::u16string strFolder;  // empty: every folder; else exactly this one
    std::u16string strSender;  // empty: every sender; else contained in some member's sender (case ignored)
    std::u16string strDatabase;  // empty: every database; else exactly this path
  };
  // Rebuilds the rows; groups with equal sort keys keep their judged order.
  void Arrange(const Arrangement& arrangement);
  const Arrangement& CurrentArrangement() const { return m_arrangement; }

  std::size_t RowCount() const { return m_vecRows.size(); }
  Row RowAt(std::size_t i) const { return m_vecRows.at(i); }
  std::size_t GroupCount() const { return m_vecGroups.size(); }

  const DatabaseGroups& DatabaseOf(std::uint32_t group) const;
  const Group& GroupAt(std::uint32_t group) const;
  const Member& MemberOf(const Row& row) const;
  const std::u16string& FolderOf(std::uint32_t group) const;

  // Ticks concern duplicates; a kept row is never ticked and cannot be.
  bool IsTicked(const Row& row) const;
  void SetTicked(const Row& row, bool bTicked);
  std::size_t DuplicateCount() const { return m_vecTicked.size(); }
  std::size_t TickedCount() const { return m_nTicked; }

  // Unticks every duplicate that earlier left unticked: the same database
  // path, key and note id (a second judgement of the same documents).
  // Returns how many were unticked here.
  std::size_t CarryChoices(const Review& earlier);
  // How many duplicates are unticked (spared).
  std::size_t SparedCount() const { return DuplicateCount() - TickedCount(); }

  // Every folder that heads a group, in first-seen order.
  std::vector<std::u16string> Folders() const;

  // A cell of a row (engine/report/Report.h, CellOf).
  std::string_view CellAt(const Row& row, Cell cell) const;

  // The report with only the ticked duplicates, as JSON: what --spare
  // reads, and what a run started after this review may remove.
  std::string ToJson() const;
  void WriteJson(const TextSink& write) const;
  // Calls f(database path, group, member) for each ticked duplicate.
  template <class F>
  void ForEachTicked(F&& f) const {
    for (std::uint32_t g = 0; g < m_vecGroups.size(); ++g) {
      const Group& group = GroupAt(g);
      for (std::size_t m = 0; m < group.duplicates.size(); ++m)
        if (m_vecTicked[m_vecGroups[g].nFirstTick + m]) f(DatabaseOf(g).strPath, group, group.duplicates[m]);
    }
  }
  // Every row in judged order as CSV for a spreadsheet (UTF-8 with a
  // byte-order mark, "\r\n" line ends, a header line). Texts that a
  // spreadsheet would take for a formula are written with a leading "'".
  std::string ToCsv() const;

  const Report& Source() const { return m_report; }

private:
  struct GroupRef {
    std::uint32_t nDatabase;
    std::uint32_t nGroup;
    std::uint32_t nFirstTick;  // index of its first duplicate in m_vecTicked
  };
  // folded: the sender filter, ASCII letters in lower case.
  bool Matches(std::uint32_t group, const Arrangement& arrangement, std::string_view folded) const;

  Report m_report;
  std::vector<GroupRef> m_vecGroups;
  std::vector<std::uint8_t> m_vecTicked;
  std::size_t m_nTicked = 0;
  std::vector<Row> m_vecRows;
  Arrangement m_arrangement;
};

}  // namespace report
