#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

#include "mail/VCard.h"
#include "mail/VCardMapping.h"

namespace mailio {

namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

// Physical lines (CR LF, LF or CR ends).
std::vector<std::string_view> PhysicalLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = bytes.size();
    lines.push_back(bytes.substr(i, end - i));
    if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
    i = end + 1;
  }
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size()) {
      const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];  // a lone "=" is kept, as lenient readers do
  }
  return out;
}

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};

// bytes in charset to UTF-8; nullopt when the charset is unknown or the bytes
// are not in it.
std::optional<std::string> ConvertCharset(const std::string& bytes, const std::string& charset) {
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::unique_ptr<iconv_t, IconvCloser> owner(new iconv_t(cd));
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());  // iconv's interface is not const-correct
  std::size_t inLeft = bytes.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  // iconv passes some bytes beyond Unicode through as they came (from
  // "UTF8", say): text that is not UTF-8 counts as not converted.
  if (!IsValidUtf8(out)) return std::nullopt;
  return out;
}

// A quoted-printable value may hold CR LF (=0D=0A); vCard writes a line end
// only as "\n", so line ends are kept as LF alone, as written cards give them.
std::string LineEndsAsLf(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') out += text[i];
    else if (i + 1 >= text.size() || text[i + 1] != '\n') out += '\n';
  }
  return out;
}

// What a property or parameter name can hold: letters, digits and "-"
// (upper case). Anything else is damage; dropping it here means a written
// line reads back with the same name.
std::string NameText(std::string_view name) {
  std::string out;
  for (char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-')
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Splits "NAME;p1;p2=a,b" into the property's name, types and parameters.
void ParseNameAndParams(std::string_view head, VCardProperty& prop, std::string& encoding,
                        std::string& charset) {
  std::vector<std::string> parts;
  std::string cur;
  bool quoted = false;
  for (char c : head) {
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  std::string name = Trim(parts.front());
  if (auto dot = name.rfind('.'); dot != std::string::npos) name.erase(0, dot + 1);  // group
  prop.name = NameText(name);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string p = Trim(parts[i]);
    if (p.empty()) continue;
    const auto eq = p.find('=');
    std::string pname = NameText(eq == std::string::npos ? p : p.substr(0, eq));
    std::string pvalue = eq == std::string::npos ? std::string() : p.substr(eq + 1);
    pvalue.erase(std::remove(pvalue.begin(), pvalue.end(), '"'), pvalue.end());
    if (eq == std::string::npos) {  // 2.1: a bare value
      if (pname == "QUOTED-PRINTABLE" || pname == "BASE64" || pname == "8BIT" || pname == "7BIT" || pname == "B") {
        encoding = pname;
      } else {  // a type; its quotes go as a named parameter's do
        pname = "TYPE";
        pvalue = p;
        pvalue.erase(std::remove(pvalue.begin(), pvalue.end(), '"'), pvalue.end());
      }
    }
    if (pname == "ENCODING") encoding = Upper(pvalue);
    else if (pname == "CHARSET") charset = pvalue;
    else if (pname == "PREF") {
      prop.preferred = true;
      prop.preferLevel = std::clamp(std::atoi(pvalue.c_str()), 1, 100);
    } else if (pname == "TYPE") {
      std::size_t start = 0;
      while (start <= pvalue.size()) {
        auto comma = pvalue.find(',', start);
        if (comma == std::string::npos) comma = pvalue.size();
        std::string t = Lower(Trim(std::string_view(pvalue).substr(start, comma - start)));
        if (t == "pref") prop.preferred = true;
        else if (!t.empty() && std::find(prop.types.begin(), prop.types.end(), t) == prop.types.end())
          prop.types.push_back(t);
        start = comma + 1;
      }
    } else if (!pname.empty() && eq != std::string::npos) {
      prop.params.emplace_back(pname, pvalue);
    }
  }
  if (prop.preferred && prop.preferLevel > 100) prop.preferLevel = 100;
}

// Whether a soft line break at the end of line joins the next one: only
// when the line's parameters, read as ParseProperty reads them, make its
// value quoted-printable. (The words in a property's name, or in another
// parameter, do not.)
bool IsQuotedPrintableLine(std::string_view line) {
  const auto colon = VCardValueColon(line);
  if (colon == std::string_view::npos) return false;
  VCardProperty prop;
  std::string encoding, charset;
  ParseNameAndParams(line.substr(0, colon), prop, encoding, charset);
  return encoding == "QUOTED-PRINTABLE";
}

std::optional<VCardProperty> ParseProperty(std::string_view line) {
  const auto colon = VCardValueColon(line);
  if (colon == std::string_view::npos) return std::nullopt;
  VCardProperty prop;
  std::string encoding, charset;
  ParseNameAndParams(line.substr(0, colon), prop, encoding, charset);
  if (prop.name.empty()) return std::nullopt;
  std::string value(line.substr(colon + 1));
  if (encoding == "QUOTED-PRINTABLE") value = DecodeQuotedPrintable(value);
  if (encoding == "B" || encoding == "BASE64") {
    prop.base64 = true;
    value.erase(std::remove_if(value.begin(), value.end(), [](unsigned char c) { return std::isspace(c); }),
                value.end());
    // Base64 is ASCII; bytes that are not still become text, for a text
    // property read as base64 keeps its value as text.
    prop.value = ToUtf8Lenient(value);
    return prop;
  }
  std::optional<std::string> converted;
  if (!charset.empty() && !IsValidUtf8(value)) converted = ConvertCharset(value, charset);
  else if (!charset.empty() && Upper(charset) != "UTF-8" && Upper(charset) != "US-ASCII")
    converted = ConvertCharset(value, charset);
  prop.value = LineEndsAsLf(converted ? *converted : ToUtf8Lenient(value));
  return prop;
}

}  // namespace

std::size_t VCardValueColon(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    else if (line[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

std::vector<std::string> VCardComponents(std::string_view value) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      parts.back() += value[i];
      parts.back() += value[++i];
    } else if (value[i] == ';') {
      parts.emplace_back();
    } else {
      parts.back() += value[i];
    }
  }
  for (std::string& p : parts) p = VCardUnescape(p);
  return parts;
}

std::string VCardUnescape(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char c = value[++i];
    out += (c == 'n' || c == 'N') ? '\n' : c;
  }
  return out;
}

std::optional<VCard> ParseVCard(std::string_view cardText) {
  VCard card;
  const std::vector<std::string_view> lines = PhysicalLines(cardText);
  std::size_t i = 0;
  while (i < lines.size()) {
    std::string line(lines[i++]);
    // Folded lines: 2.1 keeps the blank that starts a continuation, later
    // versions drop it.
    const bool keepBlank = card.version == "2.1";
    while (i < lines.size() && !lines[i].empty() && (lines[i][0] == ' ' || lines[i][0] == '\t'))
      line += keepBlank ? lines[i++] : lines[i++].substr(1);
    // Quoted-printable soft line breaks: a line ending in "=" goes on.
    if (IsQuotedPrintableLine(line))
      while (!line.empty() && line.back() == '=' && i < lines.size()) {
        line.pop_back();
        line += Trim(lines[i++]);
      }
    if (Trim(line).empty()) continue;
    auto prop = ParseProperty(line);
    if (!prop) continue;  // a line without ":" carries nothing
    if (prop->name == "VERSION") card.version = Trim(prop->value);
    if (prop->name == "BEGIN" || prop->name == "END" || prop->name == "VERSION") continue;
    card.properties.push_back(std::move(*prop));
  }
  return card;
}

void ReadVCards(std::string_view bytes, const std::function<void(CardResult&&)>& onCard) {
  // Windows programs write a byte-order mark, some of them UTF-16 text.
  std::string converted;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    converted = ConvertCharset(std::string(bytes), "UTF-16").value_or(std::string());
    bytes = converted;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const std::vector<std::string_view> lines = PhysicalLines(bytes);
  std::size_t number = 0;
  std::size_t start = 0;
  bool inCard = false;
  // A line that starts with a blank continues the line before it, so a
  // folded value that happens to read "BEGIN:VCARD" is no marker.
  auto isMarker = [](std::string_view line, const char* marker) {
    return !line.empty() && line[0] != ' ' && line[0] != '\t' && Upper(Trim(line)) == marker;
  };
  auto text = [&](std::size_t from, std::size_t to) {  // lines [from, to) as one view
    const char* b = lines[from].data();
    const char* e = lines[to - 1].data() + lines[to - 1].size();
    return std::string_view(b, static_cast<std::size_t>(e - b));
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (isMarker(lines[i], "BEGIN:VCARD")) {
      if (inCard) onCard({number, std::nullopt, "card has no END:VCARD line"});
      inCard = true;
      start = i;
      ++number;
    } else if (isMarker(lines[i], "END:VCARD") && inCard) {
      inCard = false;
      auto card = ParseVCard(text(start, i + 1));
      CardResult result{number, std::nullopt, {}};
      result.doc = PersonFromVCard(*card, &result.error);
      onCard(std::move(result));
    }
  }
  if (inCard) onCard({number, std::nullopt, "card has no END:VCARD line"});
}

}  // namespace mailio
