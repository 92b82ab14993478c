#include "engine/report/DocumentFields.h"

#include <cstdio>
#include <optional>

#include "engine/DuplicateKeys.h"
#include "engine/RunSettings.h"
#include "notes/BodyText.h"
#include "platform/Text.h"

namespace report {

namespace {

std::u16string Text(const LNString& s) { return platform::FromUtf8(s.Bytes()); }

std::u16string Joined(const LNText& list) {
  LNString joined;
  (void)list.GetText(&joined, "; ");
  return Text(joined);
}

std::u16string ItemText(const LNNote& note, const char* name) {
  LNText list;
  if (note.GetItem(name, &list) != LNNOERROR) return {};
  return Joined(list);
}

std::u16string IsoDate(const MailDate& d) {
  if (d.nMonth == 0 || d.nDay == 0 || d.nYear == 0) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d.nYear, d.nMonth, d.nDay,
                d.nHour, d.nMinute, d.nSecond);
  return platform::Ascii(text);
}

std::u16string Attachments(const LNNote& note) {
  LNAttachmentArray list;
  if (!note.HasAttachments() || note.GetAttachments(&list) != LNNOERROR) return {};
  std::u16string names;
  for (LNINT i = 0; i < list.GetCount(); ++i) {
    if (i > 0) names += u"; ";
    names += Text(list[i].GetAttachmentName());
  }
  return names;
}

// Each read on its own: one that throws leaves only its field empty.
template <class F>
std::u16string Guarded(F&& read) {
  try {
    return read();
  } catch (...) {
    return {};
  }
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0xA0; }

void AppendCollapsed(std::u16string& out, char16_t c) {
  if (IsBlank(c)) {
    if (!out.empty() && out.back() != u' ') out += u' ';
    return;
  }
  out += c;
}

bool StartsWithAt(const std::u16string& text, std::size_t at, std::u16string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char16_t c = text[at + i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != word[i]) return false;
  }
  return true;
}

// "&amp;" and its kin at text[at]; the characters it stands for and its
// length, or nothing.
std::optional<std::pair<char16_t, std::size_t>> Entity(const std::u16string& text, std::size_t at) {
  static const std::pair<std::u16string_view, char16_t> kNamed[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&#39;", u'\''},
      {u"&apos;", u'\''}, {u"&nbsp;", u' '}};
  for (const auto& [name, c] : kNamed)
    if (StartsWithAt(text, at, name)) return std::make_pair(c, name.size());
  if (StartsWithAt(text, at, u"&#")) {
    std::size_t i = at + 2;
    unsigned long value = 0;
    while (i < text.size() && i - at < 8 && text[i] >= u'0' && text[i] <= u'9')
      value = value * 10 + (text[i++] - u'0');
    if (i < text.size() && text[i] == u';' && i > at + 2 && value > 0 && value < 0xD800)
      return std::make_pair(static_cast<char16_t>(value), i + 1 - at);
  }
  return std::nullopt;
}

std::u16string StripMarkup(const std::u16string& html) {
  std::u16string out;
  std::size_t i = 0;
  while (i < html.size()) {
    const char16_t c = html[i];
    if (c == u'<') {
      // Text inside these elements is not read by a person.
      for (std::u16string_view skipped : {u"head", u"style", u"script"}) {
        if (StartsWithAt(html, i + 1, skipped)) {
          const std::u16string close = u"</" + std::u16string(skipped);
          std::size_t end = i + 1;
          while (end < html.size() && !StartsWithAt(html, end, close)) ++end;
          i = end;
          break;
        }
      }
      const std::size_t end = html.find(u'>', i);
      if (end == std::u16string::npos) break;
      AppendCollapsed(out, u' ');  // a tag parts words, as a line break would
      i = end + 1;
      continue;
    }
    if (c == u'&') {
      if (const auto entity = Entity(html, i)) {
        AppendCollapsed(out, entity->first);
        i += entity->second;
        continue;
      }
    }
    AppendCollapsed(out, c);
    ++i;
  }
  return out;
}

}  // namespace

std::u16string ReadableBody(const std::u16string& body) {
  // Picture digests follow the rendering after U+001E.
  const std::u16string text = body.substr(0, body.find(u'\x1E'));
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  std::u16string out;
  if (StartsWithAt(text, first, u"<html") || StartsWithAt(text, first, u"<!doctype")) {
    out = StripMarkup(text);
  } else {
    for (char16_t c : text) AppendCollapsed(out, c);
  }
  if (!out.empty() && out.front() == u' ') out.erase(0, 1);
  if (!out.empty() && out.back() == u' ') out.pop_back();
  return out;
}

std::u16string FirstCharacters(const std::u16string& text, std::size_t n) {
  std::size_t units = 0;
  for (std::size_t chars = 0; units < text.size() && chars < n; ++chars) {
    const bool bPair = text[units] >= 0xD800 && text[units] <= 0xDBFF && units + 1 < text.size();
    units += bPair ? 2 : 1;
  }
  return text.substr(0, units);
}

DocumentFields ReadFields(const LNMailMessage& doc, Kind kind, DHANDLE hDatabase, BodyText body) {
  DocumentFields f;
  try {
    f.nSizeBytes = static_cast<std::uint32_t>(doc.GetSize());
    const std::u16string sourceBytes = ItemText(doc, kSourceBytesItem);
    if (!sourceBytes.empty()) f.nSizeBytes = static_cast<std::uint32_t>(std::stoul(platform::ToUtf8(sourceBytes)));
  } catch (...) {
  }
  if (kind == Kind::contact) {
    for (const char* item : {"FullNameInput", "FirstName", "MiddleInitial", "LastName",
                             "MailAddress", "primaryPhoneNumber", "CompanyName"})
      f.values.push_back(Guarded([&] { return ItemText(doc, item); }));
    return f;
  }
  f.values.push_back(Guarded([&] {
    LNText subject;
    return doc.GetSubject(&subject) == LNNOERROR ? Joined(subject) : std::u16string();
  }));
  f.values.push_back(Guarded([&] {
    LNString sender;
    return doc.GetSender(&sender) == LNNOERROR ? Text(sender) : std::u16string();
  }));
  f.values.push_back(Guarded([&] {
    LNText to;
    return doc.GetRecipients(0, &to) == LNNOERROR ? Joined(to) : std::u16string();
  }));
  f.values.push_back(Guarded([&] { return IsoDate(MailDate::Read(doc)); }));
  if (body != BodyText::none) f.strComparedBody = Guarded([&] { return GetBodyText(doc, hDatabase); });
  const std::u16string readable = ReadableBody(f.strComparedBody);
  f.values.push_back(body == BodyText::snippet ? FirstCharacters(readable, kBodySnippetChars)
                                               : readable);
  f.values.push_back(Guarded([&] { return Attachments(doc); }));
  return f;
}

std::uint8_t ComparedMask(const RunSettings& s, Kind kind) {
  const std::vector<std::uint8_t> ticks =
      kind == Kind::mail
          ? std::vector<std::uint8_t>{s.m_bMailSubject, s.m_bMailSender, s.m_bMailReceiver,
                                      s.m_bMailDateTime, s.m_bMailBody, s.m_bMailAttachments}
          : std::vector<std::uint8_t>{s.m_bContactFullName,  s.m_bContactFirstName,
                                      s.m_bContactMiddleName, s.m_bContactLastName,
                                      s.m_bContactEmail,      s.m_bContactPhone,
                                      s.m_bContactCompany};
  std::uint8_t mask = 0;
  for (std::size_t i = 0; i < ticks.size(); ++i)
    if (ticks[i] == 1) mask = static_cast<std::uint8_t>(mask | (1u << i));
  return mask;
}

namespace {

std::optional<DocumentFields> ReadById(LNDatabase& db, NOTEID id, Kind kind) {
  LNDocument doc;
  if (db.GetDocument(id, &doc) != LNNOERROR) return std::nullopt;
  LNMailMessage mail;
  mail = doc;
  if (mail.Open(0) != LNNOERROR) return std::nullopt;
  DocumentFields fields = ReadFields(mail, kind, db.GetDatabaseHandle(1), BodyText::whole);
  mail.Close();
  return fields;
}

}  // namespace

std::vector<FieldPair> CompareDocuments(const std::u16string& path, Kind kind,
                                        std::uint8_t nCompared, NOTEID keptId, NOTEID duplicateId,
                                        std::u16string* strError) {
  std::vector<FieldPair> pairs;
  LNNotesSession session;
  session.Initialize();
  LNDatabase db;
  try {
    if (session.GetDatabase(LNString(platform::ToUtf8(path)), &db) != LNNOERROR) throw LNERR_NOT_FOUND;
    db.Open();
    const auto kept = ReadById(db, keptId, kind);
    const auto duplicate = ReadById(db, duplicateId, kind);
    db.Close();
    if (!kept || !duplicate) {
      if (strError)
        *strError = u"Document " + platform::DecimalText(kept ? duplicateId : keptId) +
                    u" is no longer in " + path;
      return pairs;
    }
    const auto& names = FieldNames(kind);
    for (std::size_t i = 0; i < names.size(); ++i) {
      FieldPair p{platform::Ascii(names[i]), kept->values[i], duplicate->values[i],
                  (nCompared & (1u << i)) != 0, kept->values[i] != duplicate->values[i]};
      if (kind == Kind::mail && names[i] == "Body")
        p.bDiffers = kept->strComparedBody != duplicate->strComparedBody;
      pairs.push_back(std::move(p));
    }
    pairs.push_back(FieldPair{u"Size", platform::DecimalText(kept->nSizeBytes) + u" bytes",
                              platform::DecimalText(duplicate->nSizeBytes) + u" bytes", false,
                              kept->nSizeBytes != duplicate->nSizeBytes});
  } catch (LNSTATUS status) {
    if (strError) *strError = platform::FromUtf8(LNGetErrorMessageText(status));
  } catch (...) {
    if (strError) *strError = path + u" cannot be read";
  }
  return pairs;
}

}  // namespace report
