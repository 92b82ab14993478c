#include "tools/nsftool/RichJson.h"

#include "tools/nsftool/Base64.h"
#include "tools/nsftool/NsfJson.h"

namespace nsftool {

using lnapi::richtext::Record;
using lnapi::richtext::RecordKind;
using lnapi::richtext::Run;
using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

namespace {

[[noreturn]] void Bad(const std::string& place, const std::string& what) {
  throw InputError(place + ": " + what);
}

std::string Text(const json& v, const std::string& place) {
  if (!v.is_string()) Bad(place, "expected a string");
  return v.get<std::string>();
}

std::uint16_t Pixels(const json& v, const std::string& place) {
  if (!v.is_number_integer() || v.get<std::int64_t>() < 0 || v.get<std::int64_t>() > 65535)
    Bad(place, "expected a whole number from 0 to 65535");
  return static_cast<std::uint16_t>(v.get<std::int64_t>());
}

bool Flag(const json& run, const char* key, const std::string& place) {
  if (!run.contains(key)) return false;
  if (!run[key].is_boolean()) Bad(place + "." + key, "expected true or false");
  return run[key].get<bool>();
}

Record Paragraph(const json& runs, const std::string& place) {
  if (!runs.is_array()) Bad(place, "expected an array of runs");
  Record r;
  r.kind = RecordKind::paragraph;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const std::string at = place + "[" + std::to_string(i) + "]";
    Run run;
    if (runs[i].is_string()) {
      run.strText = runs[i].get<std::string>();
    } else if (runs[i].is_object()) {
      if (!runs[i].contains("text")) Bad(at, "a run needs \"text\"");
      run.strText = Text(runs[i]["text"], at + ".text");
      run.bBold = Flag(runs[i], "bold", at);
      run.bItalic = Flag(runs[i], "italic", at);
      run.bUnderline = Flag(runs[i], "underline", at);
    } else {
      Bad(at, "a run is a string or an object with \"text\"");
    }
    r.vecRuns.push_back(std::move(run));
  }
  return r;
}

Record OneRecord(const json& v, const std::string& place, int depth) {
  if (!v.is_object()) Bad(place, "a rich-text record is an object");
  Record r;
  if (v.contains("par")) return Paragraph(v["par"], place + ".par");
  if (v.contains("break")) {
    r.kind = RecordKind::lineBreak;
  } else if (v.contains("picture")) {
    r.kind = RecordKind::picture;
    const auto gif = DecodeBase64(Text(v["picture"], place + ".picture"));
    if (!gif) Bad(place + ".picture", "not valid base64");
    r.gif = *gif;
    if (!v.contains("width") || !v.contains("height")) Bad(place, "a picture needs \"width\" and \"height\"");
    r.nWidth = Pixels(v["width"], place + ".width");
    r.nHeight = Pixels(v["height"], place + ".height");
  } else if (v.contains("table")) {
    r.kind = RecordKind::table;
    const json& rows = v["table"];
    if (!rows.is_array()) Bad(place + ".table", "expected an array of rows");
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::string at = place + ".table[" + std::to_string(i) + "]";
      if (!rows[i].is_array()) Bad(at, "a row is an array of cell texts");
      std::vector<std::string> row;
      for (std::size_t k = 0; k < rows[i].size(); ++k)
        row.push_back(Text(rows[i][k], at + "[" + std::to_string(k) + "]"));
      r.vecRows.push_back(std::move(row));
    }
  } else if (v.contains("section")) {
    r.kind = RecordKind::section;
    r.strTitle = Text(v["section"], place + ".section");
    if (v.contains("body")) r.vecBody = RecordsFromJson(v["body"], place + ".body", depth + 1);
  } else if (v.contains("link")) {
    r.kind = RecordKind::link;
    r.strUrl = Text(v["link"], place + ".link");
    if (v.contains("text")) r.strText = Text(v["text"], place + ".text");
  } else if (v.contains("attachmentIcon")) {
    r.kind = RecordKind::attachmentIcon;
    r.strFileName = Text(v["attachmentIcon"], place + ".attachmentIcon");
  } else {
    Bad(place, "unknown rich-text record (expected par, break, picture, table, section, link "
               "or attachmentIcon)");
  }
  return r;
}

}  // namespace

std::vector<Record> RecordsFromJson(const json& value, const std::string& place, int depth) {
  if (depth > lnapi::richtext::kMaxSectionDepth) Bad(place, "sections nested too deeply");
  if (!value.is_array()) Bad(place, "rich text is an array of records");
  std::vector<Record> records;
  for (std::size_t i = 0; i < value.size(); ++i)
    records.push_back(OneRecord(value[i], place + "[" + std::to_string(i) + "]", depth));
  return records;
}

ordered_json RecordsToJson(const std::vector<Record>& records) {
  ordered_json out = ordered_json::array();
  for (const auto& r : records) {
    ordered_json j = ordered_json::object();
    switch (r.kind) {
      case RecordKind::paragraph: {
        ordered_json runs = ordered_json::array();
        for (const auto& run : r.vecRuns) {
          if (!run.bBold && !run.bItalic && !run.bUnderline) {
            runs.push_back(run.strText);
            continue;
          }
          ordered_json o = {{"text", run.strText}};
          if (run.bBold) o["bold"] = true;
          if (run.bItalic) o["italic"] = true;
          if (run.bUnderline) o["underline"] = true;
          runs.push_back(o);
        }
        j["par"] = runs;
        break;
      }
      case RecordKind::lineBreak:
        j["break"] = true;
        break;
      case RecordKind::picture:
        j["picture"] = EncodeBase64(r.gif);
        j["width"] = r.nWidth;
        j["height"] = r.nHeight;
        break;
      case RecordKind::table:
        j["table"] = r.vecRows;
        break;
      case RecordKind::section:
        j["section"] = r.strTitle;
        j["body"] = RecordsToJson(r.vecBody);
        break;
      case RecordKind::link:
        j["link"] = r.strUrl;
        j["text"] = r.strText;
        break;
      case RecordKind::attachmentIcon:
        j["attachmentIcon"] = r.strFileName;
        break;
    }
    out.push_back(std::move(j));
  }
  return out;
}

}  // namespace nsftool
