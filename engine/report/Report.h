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

// The texts of a member's row in the review, in this order.
enum Cell : std::size_t { kSender, kSubject, kDate, kAttachments, kCellCount };

struct Member {
  NOTEID id = 0;
  std::uint32_t nSizeBytes = 0;
  Texts cells;  // Cell order; a contact shows its e-mail address as sender, its full name as subject
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
  bool operator==(const Group&) const = default;
};

struct DatabaseGroups {
  std::u16string strPath;
  std::vector<std::u16string> vecFolders;
  std::vector<Group> groups;
  const std::u16string& FolderOf(const Group& g) const { return vecFolders.at(g.nFolder); }
  bool operator==(const DatabaseGroups&) const = default;
};

struct Report {
  std::vector<DatabaseGroups> databases;
  bool operator==(const Report&) const = default;
};

// The report as JSON text, keys in the documented order, two-blank indents.
std::string ToJson(const Report& report);

struct ParsedReport {
  std::optional<Report> report;
  std::string strError;  // set when report is not: what is wrong, and where
};
// Reads a report. Needs "format": "tarnwick-report", "version": 1, and in
// every database a "path" and "groups", in every group a "key" of 32
// hexadecimal digits, a "kept" note id and "duplicates", a list of note ids;
// "folder", "kind", "compared" and "fields" are read when present.
[[nodiscard]] ParsedReport FromJson(std::string_view text);

// The member rows of a group's kept document, taken from its fields.
Texts KeptCells(Kind kind, const Texts& fields);

}  // namespace report
