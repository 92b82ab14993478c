#include "mail/VCardMapping.h"

#include <algorithm>

namespace mailio {

namespace {

bool Ignored(const std::string& name) {
  return name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "PRODID";
}

// The one to keep first among several EMAIL or TEL: the most preferred,
// else the first.
std::size_t PreferredIndex(const std::vector<const VCardProperty*>& props) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < props.size(); ++i)
    if (props[i]->preferLevel < props[best]->preferLevel) best = i;
  return best;
}

std::string TrimBlanks(const std::string& v) {
  const auto b = v.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return v.substr(b, v.find_last_not_of(" \t") - b + 1);
}

std::string ValueOf(const VCardProperty& prop) { return VCardContactValue(prop.name, prop.value); }

// The usable EMAIL or TEL properties, the one to keep as primary first.
std::vector<const VCardProperty*> PrimaryFirst(const std::vector<const VCardProperty*>& props) {
  std::vector<const VCardProperty*> usable;
  for (const VCardProperty* p : props)
    if (!ValueOf(*p).empty()) usable.push_back(p);
  if (usable.empty()) return usable;
  std::rotate(usable.begin(), usable.begin() + static_cast<std::ptrdiff_t>(PreferredIndex(usable)),
              usable.begin() + static_cast<std::ptrdiff_t>(PreferredIndex(usable)) + 1);
  return usable;
}

// Adds the first of ordered as primaryName and the rest as a list.
void AddPrimaryAndOthers(Doc& doc, const std::vector<const VCardProperty*>& ordered, const char* primaryName,
                         const char* othersName) {
  if (ordered.empty()) return;
  doc.items.push_back(Item::MakeText(primaryName, ValueOf(*ordered.front())));
  std::vector<std::string> others;
  for (std::size_t i = 1; i < ordered.size(); ++i) others.push_back(ValueOf(*ordered[i]));
  if (!others.empty()) doc.items.push_back(Item::MakeTextList(othersName, std::move(others)));
}

std::string JoinNonEmpty(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += ' ';
    out += p;
  }
  return out;
}

std::string Unquoted(std::string_view value) {
  std::string out;
  for (char c : value)
    if (c != '"') out += c;
  return out;
}

// A parameter value, quoted when it holds one of special.
std::string ParamValueText(const std::string& value, const char* special) {
  // A reader trims the blanks around an unquoted parameter; quotes keep them.
  const bool blankAtEnd = !value.empty() && (value.back() == ' ' || value.back() == '\t');
  return value.find_first_of(special) == std::string::npos && !blankAtEnd ? value : "\"" + value + "\"";
}

}  // namespace

std::string CanonicalLine(const VCardProperty& prop) {
  std::string line = prop.name;
  std::string types;
  bool preferred = prop.preferred;
  for (const std::string& type : prop.types) {
    const std::string text = Unquoted(type);
    // Read back, "pref" is the preference, and an empty or repeated type
    // is no type at all.
    if (text == "pref") preferred = true;
    if (text.empty() || text == "pref" || ("," + types + ",").find("," + text + ",") != std::string::npos)
      continue;
    types += (types.empty() ? "" : ",") + text;
  }
  if (preferred) types += types.empty() ? "pref" : ",pref";
  if (!types.empty()) line += ";TYPE=" + ParamValueText(types, ";:");
  for (const auto& [name, value] : prop.params)
    line += ";" + name + "=" + ParamValueText(Unquoted(value), ",;:");
  if (prop.base64) line += ";ENCODING=b";
  line += ':';
  for (char c : prop.value) {
    if (c == '\r') continue;
    if (c == '\n') line += "\\n";
    else line += c;
  }
  return line;
}

// Whether the first nUsed name parts, the ones a document keeps, hold any
// text once their outer blanks go. Parts without any are written as no line
// at all, so a later line of the same property takes their place, as it does
// when the written card is read.
namespace {
bool HasText(const std::vector<std::string>& parts, std::size_t nUsed) {
  return std::any_of(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(std::min(nUsed, parts.size())),
                     [](const std::string& part) { return !TrimBlanks(part).empty(); });
}
}  // namespace

std::optional<Doc> PersonFromVCard(const VCard& card, std::string* error) {
  std::string fn;
  std::vector<std::string> n, org;
  std::vector<const VCardProperty*> emails, phones, rest;
  for (const VCardProperty& p : card.properties) {
    if (Ignored(p.name)) continue;
    if (p.name == "FN" && fn.empty()) fn = ValueOf(p);
    else if (p.name == "N" && !HasText(n, 5)) n = VCardComponents(p.value);
    else if (p.name == "ORG" && !HasText(org, 2)) org = VCardComponents(p.value);
    else if (p.name == "EMAIL") emails.push_back(&p);
    else if (p.name == "TEL") phones.push_back(&p);
    else rest.push_back(&p);
  }
  // Name parts lose their outer blanks as FN and N do, so a name made from
  // them is written and read back the same.
  for (auto* parts : {&n, &org})
    for (std::string& part : *parts) part = TrimBlanks(part);
  n.resize(std::max<std::size_t>(n.size(), 5));
  org.resize(std::max<std::size_t>(org.size(), 2));
  Doc doc;
  doc.items.push_back(Item::MakeText("Form", "Person"));
  doc.items.push_back(Item::MakeText("Type", "Person"));
  emails = PrimaryFirst(emails);
  phones = PrimaryFirst(phones);
  AddPrimaryAndOthers(doc, emails, "MailAddress", "OtherMailAddresses");
  AddPrimaryAndOthers(doc, phones, "primaryPhoneNumber", "OtherPhoneNumbers");
  std::string fullName = fn.empty() ? JoinNonEmpty({n[3], n[1], n[2], n[0], n[4]}) : fn;
  if (fullName.empty()) fullName = org[0];
  if (fullName.empty()) fullName = doc.TextOf("MailAddress");
  if (fullName.empty() && !doc.Find("primaryPhoneNumber")) {
    *error = "card has no name, e-mail address or phone number";
    return std::nullopt;
  }
  std::vector<Item> names;
  names.push_back(Item::MakeText("FullName", fullName));
  names.push_back(Item::MakeText("FullNameInput", fullName));
  const std::pair<const char*, const std::string*> nameParts[] = {
      {"FirstName", &n[1]}, {"LastName", &n[0]}, {"MiddleInitial", &n[2]}, {"Title", &n[3]},
      {"Suffix", &n[4]},    {"CompanyName", &org[0]}, {"Department", &org[1]}};
  for (const auto& [name, value] : nameParts)
    if (!value->empty()) names.push_back(Item::MakeText(name, *value));
  doc.items.insert(doc.items.begin() + 2, names.begin(), names.end());
  // E-mail and phone lines are kept for their types, in the order the
  // writer gives them back, so a written card reads back the same.
  std::vector<std::string> lines;
  for (const auto* group : {&emails, &phones, &rest})
    for (const VCardProperty* p : *group) lines.push_back(CanonicalLine(*p));
  if (!lines.empty()) doc.items.push_back(Item::MakeTextList(kVCardPropertiesItem, std::move(lines)));
  return doc;
}

std::string VCardContactValue(std::string_view name, const std::string& escapedValue) {
  std::string v = TrimBlanks(VCardUnescape(escapedValue));
  if (name == "TEL" && v.size() > 4 && (v.rfind("tel:", 0) == 0 || v.rfind("TEL:", 0) == 0)) v.erase(0, 4);
  if (name == "EMAIL" && v.rfind("mailto:", 0) == 0) v.erase(0, 7);
  return TrimBlanks(v);  // blanks after the scheme go as those before it
}

}  // namespace mailio
