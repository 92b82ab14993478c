// nsftool dump: a database as canonical nsf-json text.
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "lnapi/RichText.h"
#include "lnapi/Utf8.h"
#include "lnapi/store/ItemCodec.h"
#include "lnapi/store/Store.h"
#include "tools/nsftool/Base64.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/RichJson.h"

namespace nsftool {

namespace store = lnapi::store;
using ordered_json = nlohmann::ordered_json;

namespace {

bool IsUtf8(std::string_view bytes) {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t at = pos;
    if (lnapi::utf8::Next(bytes, pos) == lnapi::utf8::kReplacement &&
        bytes.substr(at, pos - at) != "\xEF\xBF\xBD")
      return false;
  }
  return true;
}

// UTF-16LE bytes as UTF-8, or nullopt when they are not well-formed UTF-16.
std::optional<std::string> FromUtf16Le(std::string_view bytes) {
  if (bytes.size() % 2) return std::nullopt;
  std::u16string units;
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
  std::string text = lnapi::utf8::FromUtf16(units);
  if (lnapi::utf8::ToUtf16(text) != units) return std::nullopt;  // a lone surrogate
  return text;
}

std::optional<ordered_json> HtmlValue(ordered_json& j, std::string_view value) {
  if (value.size() < 2 || value[0] != '\x15' || value[1] != '\0') return std::nullopt;
  const std::string_view text = value.substr(2);
  // UTF-16 text of any script holds zero bytes or bytes that are not UTF-8;
  // 8-bit text holds neither.
  const bool zeros = text.find('\0') != std::string_view::npos;
  if (!zeros && IsUtf8(text)) {
    j["value"] = std::string(text);
    j["encoding"] = "8bit";
    return j;
  }
  if (auto utf8 = FromUtf16Le(text)) {
    j["value"] = *utf8;
    return j;
  }
  return std::nullopt;
}

// The natural form of an item, or nullopt when its bytes do not fit its type
// (then it is written raw).
std::optional<ordered_json> Natural(const store::StoredItem& item) {
  ordered_json j = {{"name", item.strName}};
  switch (item.wType) {
    case TYPE_TEXT:
      if (!IsUtf8(item.value)) return std::nullopt;
      j["type"] = "text";
      j["value"] = item.value;
      return j;
    case TYPE_TEXT_LIST: {
      const auto list = store::DecodeTextList(item.value);
      if (!list) return std::nullopt;
      for (const auto& e : *list)
        if (!IsUtf8(e)) return std::nullopt;
      j["type"] = "textlist";
      j["value"] = *list;
      return j;
    }
    case TYPE_NUMBER: {
      const auto n = store::DecodeNumber(item.value);
      if (!n || !std::isfinite(*n)) return std::nullopt;
      j["type"] = "number";
      if (std::trunc(*n) == *n && std::fabs(*n) < 9007199254740992.0)
        j["value"] = static_cast<std::int64_t>(*n);
      else
        j["value"] = *n;
      return j;
    }
    case TYPE_TIME: {
      const auto t = store::DecodeTime(item.value);
      if (!t) return std::nullopt;
      j["type"] = "time";
      j["value"] = store::FormatTime(*t);
      return j;
    }
    case TYPE_HTML:
      j["type"] = "html";
      return HtmlValue(j, item.value);
    case TYPE_COMPOSITE:
      try {
        j["type"] = "richtext";
        j["value"] = RecordsToJson(lnapi::richtext::Decode(item.value));
        j.dump();  // proves every text is UTF-8
        return j;
      } catch (...) {
        return std::nullopt;
      }
    case TYPE_OBJECT: {
      const auto a = store::DecodeAttachment(item.value);
      if (!a || !IsUtf8(a->strFileName)) return std::nullopt;
      j["type"] = "attachment";
      j["fileName"] = a->strFileName;
      if (!a->data.empty() && a->data == GeneratedBytes(a->data.size()))
        j["size"] = a->data.size();
      else
        j["data"] = EncodeBase64(a->data);
      return j;
    }
    default:
      return std::nullopt;
  }
}

// A name as a person can read it: printable ASCII as it stands, any other
// byte as \xNN, so a damaged name can be quoted in a message.
std::string Escaped(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// nsf-json holds names only as UTF-8 text; a damaged name has no faithful
// spelling there, so the dump is refused rather than changing it.
void RequireUtf8Name(std::string_view name, const store::NoteRow& row, const std::string& what) {
  if (!IsUtf8(name))
    throw InputError("note " + std::to_string(row.dwId) + ", " + what + " \"" + Escaped(name) +
                     "\": the name is not UTF-8 text");
}

ordered_json ItemJson(const store::StoredItem& item) {
  if (auto j = Natural(item)) return *j;
  return ordered_json{{"name", item.strName}, {"type", "raw"}, {"code", item.wType},
                      {"base64", EncodeBase64(item.value)}};
}

ordered_json NoteJson(store::Store& db, const store::NoteRow& row, const std::set<NOTEID>& live) {
  ordered_json j;
  const auto liveOnly = [&](const std::vector<NOTEID>& ids) {
    std::vector<NOTEID> out;
    for (NOTEID id : ids)
      if (live.count(id)) out.push_back(id);
    return out;
  };
  if (row.cls != store::NoteClass::document) {
    RequireUtf8Name(row.strName, row, "name");
    for (const auto& arg : row.vecSelectArgs) RequireUtf8Name(arg, row, "selection");
  }
  switch (row.cls) {
    case store::NoteClass::document: {
      j = {{"class", "document"}, {"noteId", row.dwId}, {"created", row.strCreated}};
      ordered_json items = ordered_json::array();
      const auto stored = db.GetItems(row.dwId);
      for (std::size_t i = 0; i < stored.size(); ++i) {
        RequireUtf8Name(stored[i].strName, row, "item " + std::to_string(i));
        items.push_back(ItemJson(stored[i]));
      }
      j["items"] = items;
      break;
    }
    case store::NoteClass::folder:
      j = {{"class", "folder"}, {"noteId", row.dwId}, {"created", row.strCreated}, {"name", row.strName}};
      j["entries"] = liveOnly(db.StoredEntries(row.dwId));
      break;
    case store::NoteClass::view: {
      j = {{"class", "view"}, {"noteId", row.dwId}, {"created", row.strCreated}, {"name", row.strName},
           {"viewType", row.nViewType}};
      switch (row.select) {
        case store::SelectKind::form:
          j["select"] = {{"form", row.vecSelectArgs}};
          break;
        case store::SelectKind::hasItem:
          j["select"] = {{"hasItem", row.vecSelectArgs.empty() ? std::string() : row.vecSelectArgs[0]}};
          break;
        case store::SelectKind::entries: {
          std::vector<NOTEID> ids = liveOnly(db.StoredEntries(row.dwId));
          std::sort(ids.begin(), ids.end());
          j["select"] = {{"entries", ids}};
          break;
        }
        default:
          j["select"] = "all";
      }
      break;
    }
  }
  return j;
}

}  // namespace

std::string DumpJson(const std::filesystem::path& path) {
  auto db = store::Store::Open(path.string(), store::Store::Mode::readOnly);
  ordered_json out = {{"format", "nsf-json"}, {"version", 1}, {"title", db->Title()},
                      {"softDeletions", db->SoftDeletions()}};
  const auto rows = db->ListNotes();
  std::set<NOTEID> live;
  for (const auto& row : rows)
    if (row.cls == store::NoteClass::document && row.life == store::NoteLife::live) live.insert(row.dwId);
  ordered_json notes = ordered_json::array();
  std::vector<NOTEID> trash, stubs;
  for (const auto& row : rows) {
    if (row.life == store::NoteLife::stub) {
      stubs.push_back(row.dwId);
      continue;
    }
    if (row.life == store::NoteLife::trash) trash.push_back(row.dwId);
    notes.push_back(NoteJson(*db, row, live));
  }
  out["notes"] = notes;
  out["trash"] = trash;
  out["stubs"] = stubs;
  try {
    return out.dump(2) + "\n";
  } catch (const nlohmann::json::type_error&) {
    // Every name and value above is checked; this catches what a damaged
    // file may hold beyond them (a creation time, the title).
    throw InputError("a text in the database is not UTF-8, so it has no nsf-json form");
  }
}

}  // namespace nsftool
