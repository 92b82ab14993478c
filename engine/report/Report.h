// The duplicate report: every group of duplicates a run judged, per
// database, and its JSON form (format "tarnwick-report", version 1).
//
// A group is one kept document and the duplicates judged against it, with
// the folder whose pass judged it (in whole-file scope the kept document's
// folder), the digest that joined them, which fields were compared, and the
// kept document's fields as a person reads them. Each member also carries the
// few texts the review window shows in its row, which the JSON leaves out.
//
// Texts are held as UTF-8 in one string per member, so that a report of
// 100,000 groups stays small. Plain values; no thread rules beyond those of
// the standard containers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lnapi/LNNotes.h"

namespace report {

enum class Kind : std::uint8_t { mail, contact };

// The fields of a kind in the report's order: mail Subject, Sender,
// Receiver, Date, Body, Attachments; contact FullName, FirstName,
// MiddleName, LastName, Email, Phone, Company.
const std::vector<std::string_view>& FieldNames(Kind kind);
std::string_view KindName(Kind kind);  // "mail" or "contact"

// A few texts packed into one string (UTF-8, each ended by a zero byte).
class Texts {
public:
  Texts() = default;
  explicit Texts(const std::vector<std::u16string>& texts);
  std::size_t Count() const;
  // Text i as UTF-8; empty past the end.
  std::string_view Utf8(std::size_t i) const;
  std::u16string At(std::size_t i) const;
  bool operator==(const Texts&) const = default;

private:
  std::string m_bytes;
};

// The texts of a member's row in the review, in this order. A contact shows
// its e-mail address as sender and its full name as subject.
enum Cell : std::size_t { kSender, kSubject, kDate, kAttachments, kCellCount };

struct Member {
  NOTEID id = 0;
  std::uint32_t nSizeBytes = 0;
  // Cell order. Left empty for the kept document (its fields hold them) and
  // for a duplicate whose cells are the kept document's: most duplicates
  // then cost no text at all.
  Texts cells;
  bool operator==(const Member&) const = default;
};

using Key = std::array<char, 32>;  // the digest's 32 upper-case hexadecimal digits
Key MakeKey(std::u16string_view digest);
std::string_view KeyText(const Key& key);

struct Group {
  std::uint32_t nFolder = 0;  // index into DatabaseGroups::vecFolders
  Key key{};
  Kind kind = Kind::mail;
  std::uint8_t nCompared = 0;  // bit i set: field i of FieldNames(kind) was compared
  Member kept;
  Texts fields;  // the kept document's values, FieldNames(kind) order
  std::vector<Member> duplicates;
  // Duplicates the size guard kept (their size differs too much from the
  // kept document's); never disposed of by a spare file.
  std::vector<Member> guarded;
  bool operator==(const Group&) const = default;
};

struct DatabaseGroups {
  std::u16string strPath;
  std::vector<std::u16string> vecFolders;
  std::vector<Group> groups;
  const std::u16string& FolderOf(const Group& g) const { return vecFolders.at(g.nFolder); }
  bool operator==(const DatabaseGroups&) const = default;
};

// The options of the run that made the report, each written only when given.
struct ReportOptions {
  std::u16string strKeep;                 // the keep chain as applied; empty: not given
  std::vector<std::string> vecNormalize;  // "subject", "addresses", "spaces"
  std::optional<int> nDateToleranceSeconds;
  std::optional<int> nSizeGuardPercent;
  bool operator==(const ReportOptions&) const = default;
};

struct Report {
  std::vector<DatabaseGroups> databases;
  ReportOptions options{};  // what the run was given, for the top level
  bool operator==(const Report&) const = default;
};

// The report as JSON text, keys in the documented order, two-blank
// indents. Written as it goes, without a tree of the whole report. keep,
// when given, says which duplicates to write: it gets the group's number
// counted over every database in order, and the duplicate's number in it.
using DuplicateFilter = std::function<bool(std::size_t nGroup, std::size_t nDuplicate)>;
std::string ToJson(const Report& report, const DuplicateFilter& keep = {});
// The same text, handed to write piece by piece (a group at a time).
using TextSink = std::function<void(std::string_view)>;
void WriteJson(const Report& report, const DuplicateFilter& keep, const TextSink& write);

struct ParsedReport {
  std::optional<Report> report;
  std::string strError;  // set when report is not: what is wrong, and where
};
// Reads a report. Needs "format": "tarnwick-report", "version": 1, and in
// every database a "path" and "groups", in every group a "key" of 32
// hexadecimal digits, a "kept" note id and "duplicates", a list of note ids;
// "folder", "kind", "compared" and "fields" are read when present.
[[nodiscard]] ParsedReport FromJson(std::string_view text);

// A cell of a member's row: its own, or the kept document's (from its
// fields) when it has none.
std::string_view CellOf(const Group& group, const Member& member, Cell cell);

}  // namespace report
