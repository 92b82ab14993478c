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

Json GroupJson(const DatabaseGroups& db, const Group& g) {
  const auto& names = FieldNames(g.kind);
  Json compared = Json::array();
  Json fields = Json::object();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (g.nCompared & (1u << i)) compared.push_back(names[i]);
    fields[std::string(names[i])] = std::string(g.fields.Utf8(i));
  }
  Json duplicates = Json::array();
  for (const Member& m : g.duplicates) duplicates.push_back(m.id);
  Json out;
  out["folder"] = Utf8(db.FolderOf(g));
  out["key"] = std::string(KeyText(g.key));
  out["kind"] = std::string(KindName(g.kind));
  out["compared"] = std::move(compared);
  out["kept"] = g.kept.id;
  out["duplicates"] = std::move(duplicates);
  out["fields"] = std::move(fields);
  return out;
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
  g.kept.cells = KeptCells(g.kind, g.fields);
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
  for (const std::u16string& text : texts) {
    std::string bytes = platform::ToUtf8(text);
    // A zero byte ends a text here; Notes texts do not hold one.
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    m_bytes += bytes;
    m_bytes += '\0';
  }
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

Texts KeptCells(Kind kind, const Texts& fields) {
  if (kind == Kind::mail)  // Subject, Sender, Receiver, Date, Body, Attachments
    return Texts({fields.At(1), fields.At(0), fields.At(3), fields.At(5)});
  return Texts({fields.At(4), fields.At(0), u"", u""});  // Email, FullName
}

std::string ToJson(const Report& report) {
  Json databases = Json::array();
  for (const DatabaseGroups& db : report.databases) {
    Json groups = Json::array();
    for (const Group& g : db.groups) groups.push_back(GroupJson(db, g));
    Json entry;
    entry["path"] = Utf8(db.strPath);
    entry["groups"] = std::move(groups);
    databases.push_back(std::move(entry));
  }
  Json out;
  out["format"] = kFormat;
  out["version"] = kVersion;
  out["databases"] = std::move(databases);
  // Texts that are not valid UTF-8 cannot come from ToUtf8; replace rather
  // than throw all the same.
  return out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

ParsedReport FromJson(std::string_view text) { return Reader().Read(text); }

}  // namespace report
