// nsftool import: nsf-json text to a new database file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "lnapi/RichText.h"
#include "lnapi/Status.h"
#include "lnapi/Utf8.h"
#include "lnapi/store/ItemCodec.h"
#include "lnapi/store/Store.h"
#include "tools/nsftool/Base64.h"
#include "tools/nsftool/NewFile.h"
#include "tools/nsftool/NsfJson.h"
#include "tools/nsftool/RichJson.h"

namespace nsftool {

namespace store = lnapi::store;
using json = nlohmann::json;

namespace {

[[noreturn]] void Bad(const std::string& place, const std::string& what) {
  throw InputError(place + ": " + what);
}

struct ParsedNote {
  store::NoteRow row;
  bool bHasId = false;
  std::vector<store::StoredItem> items;
  std::vector<NOTEID> entries;  // folder entries or explicit view entries
  std::string strPlace;
};

struct Parsed {
  std::string strTitle;
  bool bTitleGiven = false;
  bool bSoftDeletions = true;
  std::vector<ParsedNote> notes;
  std::vector<NOTEID> trash, stubs;
};

const json* Find(const json& obj, const char* key) {
  auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

std::string String(const json& v, const std::string& place) {
  if (!v.is_string()) Bad(place, "expected a string");
  return v.get<std::string>();
}

NOTEID NoteId(const json& v, const std::string& place) {
  if (!v.is_number_integer() || v.is_number_float()) Bad(place, "a note id is a whole number");
  if (v.is_number_unsigned() ? v.get<std::uint64_t>() > 0xFFFFFFFFu
                             : (v.get<std::int64_t>() <= 0 || v.get<std::int64_t>() > 0xFFFFFFFFLL))
    Bad(place, "a note id is a number from 1 to 4294967295");
  if (v.get<std::uint64_t>() == 0) Bad(place, "a note id is a number from 1 to 4294967295");
  return static_cast<NOTEID>(v.get<std::uint64_t>());
}

std::vector<NOTEID> IdList(const json& v, const std::string& place) {
  if (!v.is_array()) Bad(place, "expected an array of note ids");
  std::vector<NOTEID> ids;
  std::set<NOTEID> seen;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::string at = place + "[" + std::to_string(i) + "]";
    const NOTEID id = NoteId(v[i], at);
    if (!seen.insert(id).second) Bad(at, "note id " + std::to_string(id) + " is listed twice");
    ids.push_back(id);
  }
  return ids;
}

std::string Utf16Le(std::string_view utf8) {
  std::string out;
  for (char16_t unit : lnapi::utf8::ToUtf16(utf8)) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

store::StoredItem Item(const json& v, const std::string& place) {
  if (!v.is_object()) Bad(place, "an item is an object");
  store::StoredItem item;
  const json* name = Find(v, "name");
  if (!name) Bad(place, "an item needs a \"name\"");
  item.strName = String(*name, place + ".name");
  if (item.strName.empty()) Bad(place + ".name", "an item name cannot be empty");
  const json* type = Find(v, "type");
  if (!type) Bad(place, "an item needs a \"type\"");
  const std::string kind = String(*type, place + ".type");
  const std::string at = place + ".value";
  const json* value = Find(v, "value");
  const auto need = [&]() -> const json& {
    if (!value) Bad(place, "a " + kind + " item needs a \"value\"");
    return *value;
  };
  if (kind == "text") {
    item.wType = TYPE_TEXT;
    item.value = String(need(), at);
  } else if (kind == "textlist") {
    item.wType = TYPE_TEXT_LIST;
    const json& list = need();
    if (!list.is_array()) Bad(at, "a text list is an array of strings");
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < list.size(); ++i) entries.push_back(String(list[i], at + "[" + std::to_string(i) + "]"));
    item.value = store::EncodeTextList(entries);
  } else if (kind == "number") {
    item.wType = TYPE_NUMBER;
    if (!need().is_number()) Bad(at, "expected a number");
    item.value = store::EncodeNumber(value->get<double>());
  } else if (kind == "time") {
    item.wType = TYPE_TIME;
    const auto t = store::ParseTime(String(need(), at));
    if (!t) Bad(at, "expected a real date and time as YYYY-MM-DDTHH:MM:SS (optionally .hh)");
    item.value = store::EncodeTime(*t);
  } else if (kind == "html") {
    item.wType = TYPE_HTML;
    const std::string text = String(need(), at);
    std::string encoding = "utf-16le";
    if (const json* e = Find(v, "encoding")) encoding = String(*e, place + ".encoding");
    if (encoding != "utf-16le" && encoding != "8bit")
      Bad(place + ".encoding", "unknown encoding \"" + encoding + "\" (expected utf-16le or 8bit)");
    item.value = std::string("\x15\x00", 2) + (encoding == "8bit" ? text : Utf16Le(text));
  } else if (kind == "richtext") {
    item.wType = TYPE_COMPOSITE;
    item.value = lnapi::richtext::Encode(RecordsFromJson(need(), at));
  } else if (kind == "attachment") {
    item.wType = TYPE_OBJECT;
    store::AttachmentValue a;
    const json* fileName = Find(v, "fileName");
    if (!fileName) Bad(place, "an attachment needs a \"fileName\"");
    a.strFileName = String(*fileName, place + ".fileName");
    if (const json* data = Find(v, "data")) {
      const auto bytes = DecodeBase64(String(*data, place + ".data"));
      if (!bytes) Bad(place + ".data", "not valid base64");
      a.data = *bytes;
    } else if (const json* size = Find(v, "size")) {
      if (!size->is_number_unsigned() || size->get<std::uint64_t>() > (1u << 30))
        Bad(place + ".size", "expected a byte count from 0 to 1073741824");
      a.data = GeneratedBytes(size->get<std::size_t>());
    } else {
      Bad(place, "an attachment needs \"data\" or \"size\"");
    }
    item.value = store::EncodeAttachment(a);
  } else if (kind == "raw") {
    const json* code = Find(v, "code");
    if (!code || !code->is_number_unsigned() || code->get<std::uint64_t>() > 0xFFFF)
      Bad(place + ".code", "a raw item needs a type \"code\" from 0 to 65535");
    item.wType = static_cast<WORD>(code->get<std::uint64_t>());
    const json* b64 = Find(v, "base64");
    if (!b64) Bad(place, "a raw item needs \"base64\"");
    const auto bytes = DecodeBase64(String(*b64, place + ".base64"));
    if (!bytes) Bad(place + ".base64", "not valid base64");
    item.value = *bytes;
  } else {
    Bad(place + ".type", "unknown type \"" + kind + "\"");
  }
  return item;
}

void ViewSelect(const json* select, ParsedNote& note, const std::string& place) {
  note.row.select = store::SelectKind::all;
  if (!select || (select->is_string() && select->get<std::string>() == "all")) return;
  if (select->is_object() && select->size() == 1) {
    if (const json* forms = Find(*select, "form")) {
      note.row.select = store::SelectKind::form;
      const std::string at = place + ".form";
      if (forms->is_string()) {
        note.row.vecSelectArgs.push_back(forms->get<std::string>());
      } else if (forms->is_array()) {
        for (std::size_t i = 0; i < forms->size(); ++i) {
          std::string form = String((*forms)[i], at + "[" + std::to_string(i) + "]");
          if (form.find('\n') != std::string::npos) Bad(at, "a form name cannot hold a line break");
          note.row.vecSelectArgs.push_back(std::move(form));
        }
      } else {
        Bad(at, "expected an array of form names");
      }
      return;
    }
    if (const json* item = Find(*select, "hasItem")) {
      note.row.select = store::SelectKind::hasItem;
      note.row.vecSelectArgs.push_back(String(*item, place + ".hasItem"));
      return;
    }
    if (const json* entries = Find(*select, "entries")) {
      note.row.select = store::SelectKind::entries;
      note.entries = IdList(*entries, place + ".entries");
      return;
    }
  }
  Bad(place, "expected \"all\", {\"form\": [...]}, {\"hasItem\": name} or {\"entries\": [...]}");
}

ParsedNote Note(const json& v, const std::string& place, const std::string& now) {
  if (!v.is_object()) Bad(place, "a note is an object");
  ParsedNote note;
  note.strPlace = place;
  const json* cls = Find(v, "class");
  if (!cls) Bad(place, "a note needs a \"class\"");
  const std::string kind = String(*cls, place + ".class");
  if (const json* id = Find(v, "noteId")) {
    note.row.dwId = NoteId(*id, place + ".noteId");
    note.bHasId = true;
  }
  note.row.strCreated = now;
  if (const json* created = Find(v, "created")) {
    const auto t = store::ParseTime(String(*created, place + ".created"));
    if (!t) Bad(place + ".created", "expected a real date and time as YYYY-MM-DDTHH:MM:SS");
    note.row.strCreated = store::FormatTime(*t);
  }
  if (kind == "document") {
    note.row.cls = store::NoteClass::document;
    if (const json* items = Find(v, "items")) {
      if (!items->is_array()) Bad(place + ".items", "expected an array of items");
      for (std::size_t i = 0; i < items->size(); ++i)
        note.items.push_back(Item((*items)[i], place + ".items[" + std::to_string(i) + "]"));
    }
    return note;
  }
  if (kind != "folder" && kind != "view")
    Bad(place + ".class", "unknown class \"" + kind + "\" (expected document, folder or view)");
  const json* name = Find(v, "name");
  if (!name) Bad(place, "a " + kind + " needs a \"name\"");
  note.row.strName = String(*name, place + ".name");
  if (note.row.strName.empty()) Bad(place + ".name", "the name cannot be empty");
  if (kind == "folder") {
    note.row.cls = store::NoteClass::folder;
    if (const json* entries = Find(v, "entries")) note.entries = IdList(*entries, place + ".entries");
    return note;
  }
  note.row.cls = store::NoteClass::view;
  if (const json* type = Find(v, "viewType")) {
    if (!type->is_number_integer() || type->get<std::int64_t>() < std::numeric_limits<LNINT>::min() ||
        type->get<std::int64_t>() > std::numeric_limits<LNINT>::max())
      Bad(place + ".viewType", "expected a whole number");
    note.row.nViewType = static_cast<int>(type->get<std::int64_t>());
  }
  ViewSelect(Find(v, "select"), note, place + ".select");
  return note;
}

// The library's own DOM builder, keeping the place of the first error: a
// number out of range (1e999) comes as an exception that carries no place.
struct PlacedDomParser : nlohmann::detail::json_sax_dom_parser<json> {
  using nlohmann::detail::json_sax_dom_parser<json>::json_sax_dom_parser;
  std::size_t nByte = 0;
  std::string strWhat;
  template <class Exception>
  bool parse_error(std::size_t byte, const std::string& /*token*/, const Exception& e) {
    nByte = byte;
    strWhat = e.what();
    return false;
  }
};

json ParseJson(const std::string& text) {
  json doc;
  PlacedDomParser sax(doc, false);
  if (json::sax_parse(text, &sax)) return doc;
  // Name the line and column; nlohmann counts the byte where it stopped.
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i + 1 < sax.nByte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  // Keep the library's detail without its "[json.exception...] ... column N" head.
  const std::string& what = sax.strWhat;
  std::size_t cut = what.find("column");
  cut = cut == std::string::npos ? what.find("] ") : what.find(": ", cut);
  throw InputError("line " + std::to_string(line) + ", column " + std::to_string(column) +
                   ": malformed JSON" + (cut == std::string::npos ? "" : " (" + what.substr(cut + 2) + ")"));
}

Parsed ParseText(const std::string& text) {
  const json doc = ParseJson(text);
  if (!doc.is_object()) Bad("top level", "expected an object");
  if (const json* format = Find(doc, "format"); format && (!format->is_string() || *format != "nsf-json"))
    Bad("format", "expected \"nsf-json\"");
  if (const json* version = Find(doc, "version"); version && (!version->is_number_integer() || *version != 1))
    Bad("version", "only version 1 is known");
  Parsed parsed;
  if (const json* title = Find(doc, "title")) {
    parsed.strTitle = String(*title, "title");
    parsed.bTitleGiven = true;
  }
  if (const json* soft = Find(doc, "softDeletions")) {
    if (!soft->is_boolean()) Bad("softDeletions", "expected true or false");
    parsed.bSoftDeletions = soft->get<bool>();
  }
  const json* notes = Find(doc, "notes");
  if (!notes) Bad("top level", "\"notes\" is missing");
  if (!notes->is_array()) Bad("notes", "expected an array of notes");
  const std::string now = store::LocalTimeNow();
  for (std::size_t i = 0; i < notes->size(); ++i)
    parsed.notes.push_back(Note((*notes)[i], "notes[" + std::to_string(i) + "]", now));
  if (const json* trash = Find(doc, "trash")) parsed.trash = IdList(*trash, "trash");
  if (const json* stubs = Find(doc, "stubs")) parsed.stubs = IdList(*stubs, "stubs");
  return parsed;
}

// Gives notes without an id the next free multiple of 4 after the largest id
// used so far in file order (skipping ids that a later note names), then
// checks every reference.
void ResolveIds(Parsed& parsed) {
  std::set<NOTEID> named;
  for (const auto& note : parsed.notes)
    if (note.bHasId) named.insert(note.row.dwId);
  std::map<NOTEID, const ParsedNote*> byId;
  std::uint64_t largest = 0;
  for (auto& note : parsed.notes) {
    if (!note.bHasId) {
      std::uint64_t next = (largest / 4 + 1) * 4;
      while (named.count(static_cast<NOTEID>(next)) && next <= 0xFFFFFFFCu) next += 4;
      if (next > 0xFFFFFFFCu) Bad(note.strPlace, "no free note id is left");
      note.row.dwId = static_cast<NOTEID>(next);
    }
    if (!byId.emplace(note.row.dwId, &note).second)
      Bad(note.strPlace + ".noteId", "duplicate note id " + std::to_string(note.row.dwId));
    largest = std::max<std::uint64_t>(largest, note.row.dwId);
  }
  const auto isDocument = [&](NOTEID id) {
    auto it = byId.find(id);
    return it != byId.end() && it->second->row.cls == store::NoteClass::document;
  };
  for (const auto& note : parsed.notes)
    for (std::size_t i = 0; i < note.entries.size(); ++i)
      if (!isDocument(note.entries[i]))
        Bad(note.strPlace + ".entries[" + std::to_string(i) + "]",
            "note id " + std::to_string(note.entries[i]) + " names no document");
  for (std::size_t i = 0; i < parsed.trash.size(); ++i)
    if (!isDocument(parsed.trash[i]))
      Bad("trash[" + std::to_string(i) + "]", "note id " + std::to_string(parsed.trash[i]) + " names no document");
  for (std::size_t i = 0; i < parsed.stubs.size(); ++i)
    if (byId.count(parsed.stubs[i]))
      Bad("stubs[" + std::to_string(i) + "]", "note id " + std::to_string(parsed.stubs[i]) + " is also a note");
}

void Write(const Parsed& parsed, const std::string& path) {
  auto db = store::Store::Create(path, parsed.strTitle, parsed.bSoftDeletions);
  db->DisableSyncForBuild();
  db->Begin();
  for (const auto& note : parsed.notes) {
    db->InsertNote(note.row, note.items);
    if (!note.entries.empty()) db->SetStoredEntries(note.row.dwId, note.entries);
  }
  for (NOTEID id : parsed.trash) db->MoveToTrash(id);
  for (NOTEID id : parsed.stubs) {
    store::NoteRow stub;
    stub.dwId = id;
    stub.life = store::NoteLife::stub;
    stub.strCreated = store::LocalTimeNow();
    db->InsertNote(stub, {});
  }
  db->Commit();
}

}  // namespace

std::string GeneratedBytes(std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 0x2545F491;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<char>(x >> 24);
  }
  return out;
}

void ImportJson(const std::string& jsonText, const std::filesystem::path& db, bool replaceExisting) {
  Parsed parsed = ParseText(jsonText);
  ResolveIds(parsed);
  if (!parsed.bTitleGiven) parsed.strTitle = db.filename().string();
  BuildAtomically(db, replaceExisting, [&](const std::string& temp) { Write(parsed, temp); });
}

void BuildAtomically(const std::filesystem::path& db, bool replaceExisting,
                     const std::function<void(const std::string& tempPath)>& build) {
  std::error_code ec;
  if (!replaceExisting && std::filesystem::exists(db, ec))
    throw TargetExists(db.string() + ": the file exists (use --force to replace it)");
  // Built beside the target and moved into place complete, so a failure
  // never leaves a partial database under the target's name.
  std::string temp = db.string() + ".newXXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) lnapi::ThrowStatus(LNERR_FILE, "Cannot create " + db.string() + ": " + std::strerror(errno));
  ::close(fd);
  ::unlink(temp.c_str());
  try {
    build(temp);
    store::SyncFile(temp);
    if (replaceExisting) {
      if (::rename(temp.c_str(), db.c_str()) != 0)
        lnapi::ThrowStatus(LNERR_FILE, "Cannot write " + db.string() + ": " + std::strerror(errno));
    } else {
      // link fails if the target appeared meanwhile; nothing is replaced.
      if (::link(temp.c_str(), db.c_str()) != 0) {
        if (errno == EEXIST) throw TargetExists(db.string() + ": the file exists (use --force to replace it)");
        lnapi::ThrowStatus(LNERR_FILE, "Cannot write " + db.string() + ": " + std::strerror(errno));
      }
      ::unlink(temp.c_str());
    }
  } catch (...) {
    ::unlink(temp.c_str());
    ::unlink((temp + "-journal").c_str());
    throw;
  }
}

}  // namespace nsftool
