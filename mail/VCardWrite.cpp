#include <algorithm>

#include "mail/VCard.h"
#include "mail/VCardMapping.h"

namespace mailio {

namespace {

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case ';': out += "\\;"; break;
      case ',': out += "\\,"; break;
      case '\n': out += "\\n"; break;
      case '\r': break;
      default: out += c;
    }
  }
  return out;
}

// Folds a line at 75 bytes, never inside a UTF-8 sequence, CR LF ends.
void AppendFolded(std::string& out, std::string_view line) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t len = 1;
    const auto c = static_cast<unsigned char>(line[i]);
    if (c >= 0xF0) len = 4;
    else if (c >= 0xE0) len = 3;
    else if (c >= 0xC0) len = 2;
    len = std::min(len, line.size() - i);
    if (width + len > 75) {
      out += "\r\n ";
      width = 1;
    }
    out.append(line.substr(i, len));
    width += len;
    i += len;
  }
  out += "\r\n";
}

struct KeptLine {
  std::string name;   // property name, upper case
  std::string head;   // up to the ":"
  std::string value;  // after it, unescaped
  bool used = false;
};

std::vector<KeptLine> KeptLines(const Doc& doc) {
  std::vector<KeptLine> kept;
  for (const std::string& line : doc.ListOf(kVCardPropertiesItem)) {
    const auto colon = VCardValueColon(line);
    if (colon == std::string::npos) continue;
    KeptLine k;
    k.head = line.substr(0, colon);
    k.name = k.head.substr(0, k.head.find(';'));
    k.value = line.substr(colon + 1);
    kept.push_back(std::move(k));
  }
  return kept;
}

// An EMAIL or TEL line for value: the kept line that held it (with its
// types), else a plain one.
std::string ContactLine(std::vector<KeptLine>& kept, const char* name, const std::string& value,
                        const char* fallbackHead) {
  for (KeptLine& k : kept) {
    if (k.used || k.name != name) continue;
    if (VCardContactValue(k.name, k.value) != value) continue;
    k.used = true;
    return k.head + ":" + k.value;
  }
  return std::string(fallbackHead) + ":" + Escape(value);
}

}  // namespace

std::string WriteVCard(const Doc& person) {
  std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  std::string fn = person.TextOf("FullNameInput");
  if (fn.empty()) fn = person.TextOf("FullName");
  AppendFolded(out, "FN:" + Escape(fn));
  AppendFolded(out, "N:" + Escape(person.TextOf("LastName")) + ";" + Escape(person.TextOf("FirstName")) + ";" +
                        Escape(person.TextOf("MiddleInitial")) + ";" + Escape(person.TextOf("Title")) + ";" +
                        Escape(person.TextOf("Suffix")));
  const std::string company = person.TextOf("CompanyName"), department = person.TextOf("Department");
  if (!company.empty() || !department.empty()) {
    std::string org = "ORG:" + Escape(company);
    if (!department.empty()) {
      org += ';';
      org += Escape(department);
    }
    AppendFolded(out, org);
  }

  std::vector<KeptLine> kept = KeptLines(person);
  auto contacts = [&](const char* name, const char* primary, const char* others, const char* head) {
    std::vector<std::string> values;
    if (const std::string p = person.TextOf(primary); !p.empty()) values.push_back(p);
    for (const std::string& o : person.ListOf(others))
      if (!o.empty()) values.push_back(o);
    for (const std::string& v : values) AppendFolded(out, ContactLine(kept, name, v, head));
  };
  contacts("EMAIL", "MailAddress", "OtherMailAddresses", "EMAIL;TYPE=internet");
  contacts("TEL", "primaryPhoneNumber", "OtherPhoneNumbers", "TEL");
  for (const KeptLine& k : kept)
    if (!k.used && k.name != "EMAIL" && k.name != "TEL") AppendFolded(out, k.head + ":" + k.value);
  out += "END:VCARD\r\n";
  return out;
}

}  // namespace mailio
