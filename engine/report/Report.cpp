#include "engine/report/Report.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "platform/Text.h"

namespace report {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kFormat = "tarnwick-report";
constexpr int kVersion = 1;

std::string Utf8(const std::u16string& text) { return platform::ToUtf8(text); }

// A JSON string of UTF-8 text (which ToUtf8 guarantees): quotes, backslashes
// and control characters escaped, everything else as it is.
std::string Quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

void AppendIds(std::string& out, const std::vector<Member>& members) {
  for (std::size_t i = 0; i < members.size(); ++i) out += (i == 0 ? "" : ", ") + std::to_string(members[i].id);
}

void AppendGroup(std::string& out, const DatabaseGroups& db, const Group& g, std::size_t nGroup,
                 const DuplicateFilter& keep, bool bGuarded) {
  const std::string in = "\n          ";  // a member of a group
  const auto& names = FieldNames(g.kind);
  out += "\n        {" + in + "\"folder\": " + Quoted(Utf8(db.FolderOf(g))) + ",";
  out += in + "\"key\": " + Quoted(KeyText(g.key)) + ",";
  out += in + "\"kind\": " + Quoted(KindName(g.kind)) + ",";
  out += in + "\"compared\": [";
  bool bFirst = true;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!(g.nCompared & (1u << i))) continue;
    out += (bFirst ? "" : ", ") + Quoted(names[i]);
    bFirst = false;
  }
  out += "],";
  out += in + "\"kept\": " + std::to_string(g.kept.id) + ",";
  out += in + "\"duplicates\": [";
  bFirst = true;
  for (std::size_t i = 0; i < g.duplicates.size(); ++i) {
    if (keep && !keep(nGroup, i)) continue;
    out += (bFirst ? "" : ", ") + std::to_string(g.duplicates[i].id);
    bFirst = false;
  }
  out += "],";
  if (bGuarded || !g.guarded.empty()) {
    out += in + "\"guarded\": [";
    AppendIds(out, g.guarded);
    out += "],";
  }
  out += in + "\"fields\": {";
  for (std::size_t i = 0; i < names.size(); ++i)
    out += (i == 0 ? "\n            " : ",\n            ") + Quoted(names[i]) + ": " + Quoted(g.fields.Utf8(i));
  out += in + "}\n        }";
}

// The run's options that widen or steer the judgement, each only when given.
void AppendOptions(std::string& out, const ReportOptions& o) {
  if (!o.strKeep.empty()) out += "\n  \"keep\": " + Quoted(Utf8(o.strKeep)) + ",";
  if (!o.vecNormalize.empty()) {
    out += "\n  \"normalize\": [";
    for (std::size_t i = 0; i < o.vecNormalize.size(); ++i) out += (i == 0 ? "" : ", ") + Quoted(o.vecNormalize[i]);
    out += "],";
  }
  if (o.nDateToleranceSeconds) out += "\n  \"date_tolerance\": " + std::to_string(*o.nDateToleranceSeconds) + ",";
  if (o.nSizeGuardPercent) out += "\n  \"size_guard\": " + std::to_string(*o.nSizeGuardPercent) + ",";
}

// Reading: each step names where it found something wrong.
class Reader {
public:
  ParsedReport Read(std::string_view text);

private:
  bool Fail(const std::string& what) {
    if (m_strError.empty()) m_strError = what;
    return false;
  }
  bool ReadDatabase(const Json& j, const std::string& where, DatabaseGroups& db);
  bool ReadGroup(const Json& j, const std::string& where, DatabaseGroups& db, Group& g);
  bool ReadNoteId(const Json& j, const std::string& where, NOTEID& id);

  std::string m_strError;
};

ParsedReport Reader::Read(std::string_view text) {
  ParsedReport result;
  Json j = Json::parse(text, nullptr, false);
  Report report;
  if (j.is_discarded()) {
    Fail("not JSON");
  } else if (!j.is_object() || !j.contains("format") || j["format"] != kFormat) {
    Fail("\"format\" is not \"tarnwick-report\"");
  } else if (!j.contains("version") || j["version"] != kVersion) {
    Fail("\"version\" is not 1");
  } else if (!j.contains("databases") || !j["databases"].is_array()) {
    Fail("\"databases\" is not a list");
  } else {
    for (std::size_t i = 0; i < j["databases"].size() && m_strError.empty(); ++i) {
      DatabaseGroups db;
      if (ReadDatabase(j["databases"][i], "databases[" + std::to_string(i) + "]", db))
        report.databases.push_back(std::move(db));
    }
  }
  if (m_strError.empty()) result.report = std::move(report);
  result.strError = m_strError;
  return result;
}

bool Reader::ReadDatabase(const Json& j, const std::string& where, DatabaseGroups& db) {
  if (!j.is_object() || !j.contains("path") || !j["path"].is_string())
    return Fail(where + ": \"path\" is missing");
  if (!j.contains("groups") || !j["groups"].is_array())
    return Fail(where + ": \"groups\" is not a list");
  db.strPath = platform::FromUtf8(j["path"].get<std::string>());
  for (std::size_t i = 0; i < j["groups"].size(); ++i) {
    Group g;
    if (!ReadGroup(j["groups"][i], where + ".groups[" + std::to_string(i) + "]", db, g))
      return false;
    db.groups.push_back(std::move(g));
  }
  return true;
}

bool Reader::ReadNoteId(const Json& j, const std::string& where, NOTEID& id) {
  if (!j.is_number_unsigned() || j.get<std::uint64_t>() > 0xFFFFFFFFull)
    return Fail(where + " is not a note id");
  id = static_cast<NOTEID>(j.get<std::uint64_t>());
  return true;
}

bool Reader::ReadGroup(const Json& j, const std::string& where, DatabaseGroups& db, Group& g) {
  if (!j.is_object()) return Fail(where + " is not an object");
  const Json* key = j.contains("key") ? &j["key"] : nullptr;
  std::string keyText = key && key->is_string() ? key->get<std::string>() : std::string();
  std::transform(keyText.begin(), keyText.end(), keyText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (keyText.size() != 32 || keyText.find_first_not_of("0123456789ABCDEF") != std::string::npos)
    return Fail(where + ": \"key\" is not 32 hexadecimal digits");
  std::copy(keyText.begin(), keyText.end(), g.key.begin());
  if (!j.contains("kept")) return Fail(where + ": \"kept\" is missing");
  if (!ReadNoteId(j["kept"], where + ".kept", g.kept.id)) return false;
  if (!j.contains("duplicates") || !j["duplicates"].is_array())
    return Fail(where + ": \"duplicates\" is not a list");
  for (std::size_t i = 0; i < j["duplicates"].size(); ++i) {
    Member m;
    if (!ReadNoteId(j["duplicates"][i], where + ".duplicates[" + std::to_string(i) + "]", m.id))
      return false;
    g.duplicates.push_back(std::move(m));
  }
  if (j.contains("guarded") && j["guarded"].is_array()) {
    for (std::size_t i = 0; i < j["guarded"].size(); ++i) {
      Member m;
      if (!ReadNoteId(j["guarded"][i], where + ".guarded[" + std::to_string(i) + "]", m.id)) return false;
      g.guarded.push_back(std::move(m));
    }
  }
  // What follows only describes the group; a hand-edited file may lack it.
  if (j.contains("kind") && j["kind"] == "contact") g.kind = Kind::contact;
  const auto& names = FieldNames(g.kind);
  if (j.contains("compared") && j["compared"].is_array())
    for (const Json& name : j["compared"])
      for (std::size_t i = 0; i < names.size(); ++i)
        if (name.is_string() && name.get<std::string>() == names[i]) g.nCompared |= 1u << i;
  std::vector<std::u16string> fields(names.size());
  if (j.contains("fields") && j["fields"].is_object())
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto it = j["fields"].find(std::string(names[i]));
      if (it != j["fields"].end() && it->is_string()) fields[i] = platform::FromUtf8(it->get<std::string>());
    }
  g.fields = Texts(fields);
  const std::u16string folder =
      j.contains("folder") && j["folder"].is_string() ? platform::FromUtf8(j["folder"].get<std::string>())
                                                      : std::u16string();
  const auto found = std::find(db.vecFolders.begin(), db.vecFolders.end(), folder);
  g.nFolder = static_cast<std::uint32_t>(found - db.vecFolders.begin());
  if (found == db.vecFolders.end()) db.vecFolders.push_back(folder);
  return true;
}

}  // namespace

const std::vector<std::string_view>& FieldNames(Kind kind) {
  static const std::vector<std::string_view> kMail = {"Subject", "Sender", "Receiver",
                                                      "Date",    "Body",   "Attachments"};
  static const std::vector<std::string_view> kContact = {
      "FullName", "FirstName", "MiddleName", "LastName", "Email", "Phone", "Company"};
  return kind == Kind::mail ? kMail : kContact;
}

std::string_view KindName(Kind kind) { return kind == Kind::mail ? "mail" : "contact"; }

Texts::Texts(const std::vector<std::u16string>& texts) {
  // Sized once: a report holds one of these per member, and growth by
  // doubling would leave a third of each unused.
  std::size_t nUnits = 0;
  for (const std::u16string& text : texts) nUnits += text.size() + 1;
  m_bytes.reserve(nUnits);
  for (const std::u16string& text : texts) {
    std::string bytes = platform::ToUtf8(text);
    // A zero byte ends a text here; Notes texts do not hold one.
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    m_bytes += bytes;
    m_bytes += '\0';
  }
  m_bytes.shrink_to_fit();
}

std::size_t Texts::Count() const {
  return static_cast<std::size_t>(std::count(m_bytes.begin(), m_bytes.end(), '\0'));
}

std::string_view Texts::Utf8(std::size_t i) const {
  std::size_t start = 0;
  for (; i > 0; --i) {
    const std::size_t end = m_bytes.find('\0', start);
    if (end == std::string::npos) return {};
    start = end + 1;
  }
  const std::size_t end = m_bytes.find('\0', start);
  if (end == std::string::npos) return {};
  return std::string_view(m_bytes).substr(start, end - start);
}

std::u16string Texts::At(std::size_t i) const { return platform::FromUtf8(Utf8(i)); }

Key MakeKey(std::u16string_view digest) {
  Key key;
  key.fill('0');
  for (std::size_t i = 0; i < key.size() && i < digest.size(); ++i)
    key[i] = static_cast<char>(digest[i] & 0x7F);
  return key;
}

std::string_view KeyText(const Key& key) { return std::string_view(key.data(), key.size()); }

std::string_view CellOf(const Group& group, const Member& member, Cell cell) {
  if (member.cells.Count() > 0) return member.cells.Utf8(cell);
  // Where each cell stands among the kind's fields.
  static constexpr std::size_t kNone = 99;
  static constexpr std::size_t kMail[kCellCount] = {1, 0, 3, 5};             // Sender, Subject, Date, Attachments
  static constexpr std::size_t kContact[kCellCount] = {4, 0, kNone, kNone};  // Email, FullName
  const std::size_t field = (group.kind == Kind::mail ? kMail : kContact)[cell];
  return field == kNone ? std::string_view() : group.fields.Utf8(field);
}

void WriteJson(const Report& report, const DuplicateFilter& keep, const TextSink& write) {
  std::string out = "{\n  \"format\": " + Quoted(kFormat) + ",\n  \"version\": " +
                    std::to_string(kVersion) + ",";
  AppendOptions(out, report.options);
  out += "\n  \"databases\": [";
  std::size_t nGroup = 0;
  for (std::size_t d = 0; d < report.databases.size(); ++d) {
    const DatabaseGroups& db = report.databases[d];
    out += d == 0 ? "\n    {" : ",\n    {";
    out += "\n      \"path\": " + Quoted(Utf8(db.strPath)) + ",\n      \"groups\": [";
    for (std::size_t g = 0; g < db.groups.size(); ++g, ++nGroup) {
      if (g > 0) out += ",";
      AppendGroup(out, db, db.groups[g], nGroup, keep, report.options.nSizeGuardPercent.has_value());
      // Handed on group by group: a report of 100,000 groups is never held whole.
      write(out);
      out.clear();
    }
    out += db.groups.empty() ? "]\n    }" : "\n      ]\n    }";
  }
  out += report.databases.empty() ? "]\n}\n" : "\n  ]\n}\n";
  write(out);
}

std::string ToJson(const Report& report, const DuplicateFilter& keep) {
  std::string json;
  WriteJson(report, keep, [&json](std::string_view part) { json += part; });
  return json;
}

ParsedReport FromJson(std::string_view text) { return Reader().Read(text); }

}  // namespace report
