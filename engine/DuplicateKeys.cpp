#include "engine/DuplicateKeys.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>

#include "notes/BodyText.h"
#include "notes/NotesString.h"
#include "platform/Text.h"

namespace {

constexpr char16_t kEscape = u'\u001B';
constexpr char16_t kRecordEnd = u'\u001E';  // ends a kind prefix or an attachment name
constexpr char16_t kPartEnd = u'\u001F';

const std::u16string kMailPrefix = u"mail\u001E";
const std::u16string kContactPrefix = u"contact\u001E";

bool IsTicked(std::uint8_t flag) { return flag == 1; }

void AppendEscaped(std::u16string& key, std::u16string_view text) {
  for (char16_t c : text) {
    if (c == kEscape || c == kRecordEnd || c == kPartEnd) key.push_back(kEscape);
    key.push_back(c);
  }
}

// Builds a key part by part and remembers whether any part had content.
class KeyBuilder {
public:
  explicit KeyBuilder(const std::u16string& prefix) : m_key(prefix) {}
  void AddPart(std::u16string_view text) {
    AppendEscaped(m_key, text);
    m_key.push_back(kPartEnd);
    m_bHasContent = m_bHasContent || !text.empty();
  }
  void AddNames(const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
      AppendEscaped(m_key, name);
      m_key.push_back(kRecordEnd);
      m_bHasContent = m_bHasContent || !name.empty();
    }
    m_key.push_back(kPartEnd);
  }
  // The composed key onto key, or nothing when no part had content.
  void AppendTo(std::u16string& key) const {
    if (m_bHasContent) key += m_key;
  }

private:
  std::u16string m_key;
  bool m_bHasContent = false;
};

std::u16string JoinedTextToKeyText(const LNText& list, bool bByteLength) {
  LNString joined;
  (void)list.GetText(&joined, ";");
  return NotesStringToText(bByteLength ? joined.GetBufLength() : joined.GetLength(), joined);
}

std::u16string SenderText(const LNMailMessage& mail) {
  LNString sender;
  (void)mail.GetSender(&sender);
  return NotesStringToText(sender.GetBufLength(), sender);
}

std::u16string RecipientsText(const LNMailMessage& mail) {
  LNText recipients;
  (void)mail.GetRecipients(0, &recipients);
  return JoinedTextToKeyText(recipients, true);
}

std::u16string SubjectText(const LNMailMessage& mail) {
  if (!mail.HasItem("Subject")) return {};
  LNText subject;
  (void)mail.GetSubject(&subject);
  return JoinedTextToKeyText(subject, true);
}

std::vector<std::u16string> AttachmentNames(const LNMailMessage& mail) {
  std::vector<std::u16string> names;
  if (!mail.HasAttachments()) return names;
  LNAttachmentArray attachments;
  (void)mail.GetAttachments(&attachments);
  for (LNINT i = 0; i < attachments.GetCount(); ++i) {
    const LNString name = attachments[i].GetAttachmentName();
    names.push_back(NotesStringToText(name.GetLength(), name));
  }
  return names;
}

// Generalised UTF-8: a lone surrogate is written as its own three bytes
// rather than replaced, so that two different key texts never give the same
// bytes.
void KeyBytes(const std::u16string& key, std::string& out) {
  out.clear();
  out.reserve(key.size());
  for (std::size_t i = 0; i < key.size(); ++i) {
    char32_t cp = key[i];
    if (cp < 0x80) {  // most of a key: one byte, no call
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < key.size() && key[i + 1] >= 0xDC00 &&
        key[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (key[i + 1] - 0xDC00);
      ++i;
    }
    platform::AppendUtf8(out, cp);
  }
}

struct MdContextFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct MdFree {
  void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};

}  // namespace

DocumentKind ClassifyDocument(const LNDocument& document) {
  if (document.HasItem("Subject")) return DocumentKind::mailItem;
  if (document.GetFormNote().Bytes() == "Person") return DocumentKind::contact;
  return DocumentKind::other;
}

bool BuildMailKey(RunSettings& s, const LNMailMessage& mail, std::u16string& key) {
  KeyBuilder builder(kMailPrefix);
  if (IsTicked(s.m_bMailSender)) builder.AddPart(SenderText(mail));
  if (IsTicked(s.m_bMailReceiver)) builder.AddPart(RecipientsText(mail));
  if (s.m_bDateFilter == 1 && !s.m_vecDateRanges.empty() &&
      !IsDateInRanges(s, MailDate::Read(mail).ToDateTimeValue()))
    return false;
  if (IsTicked(s.m_bMailDateTime))
    builder.AddPart(MailDateTimeText(MailDate::Read(mail), IsTicked(s.m_bTimeFormatHM)));
  if (IsTicked(s.m_bMailSubject)) builder.AddPart(SubjectText(mail));
  if (IsTicked(s.m_bMailAttachments)) builder.AddNames(AttachmentNames(mail));
  if (IsTicked(s.m_bMailBody)) builder.AddPart(GetBodyText(mail, s.m_hDatabase));
  builder.AppendTo(key);
  return true;
}

void BuildContactKey(const RunSettings& s, const LNDocument& contact, std::u16string& key) {
  const std::pair<std::uint8_t, const char*> parts[] = {
      {s.m_bContactFullName, "FullNameInput"},  {s.m_bContactFirstName, "FirstName"},
      {s.m_bContactLastName, "LastName"},       {s.m_bContactMiddleName, "MiddleInitial"},
      {s.m_bContactEmail, "MailAddress"},       {s.m_bContactPhone, "primaryPhoneNumber"},
      {s.m_bContactCompany, "CompanyName"},
  };
  KeyBuilder builder(kContactPrefix);
  for (const auto& [flag, itemName] : parts) {
    if (!IsTicked(flag)) continue;
    std::u16string text;
    if (contact.HasItem(itemName)) {
      LNText list;
      (void)contact.GetItem(itemName, &list);
      text = JoinedTextToKeyText(list, false);
    }
    builder.AddPart(text);
  }
  builder.AppendTo(key);
}

KeyDigest DigestKey(const std::u16string& key) {
  // A run digests every document's key: the context, the digest's
  // implementation and the byte buffer are made once per thread.
  struct Digester {
    std::unique_ptr<EVP_MD_CTX, MdContextFree> ctx{EVP_MD_CTX_new()};
    std::unique_ptr<EVP_MD, MdFree> md{EVP_MD_fetch(nullptr, "MD5", nullptr)};
    std::string bytes;
  };
  thread_local Digester d;
  KeyBytes(key, d.bytes);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!d.ctx || !d.md || EVP_DigestInit_ex(d.ctx.get(), d.md.get(), nullptr) != 1 ||
      EVP_DigestUpdate(d.ctx.get(), d.bytes.data(), d.bytes.size()) != 1 ||
      EVP_DigestFinal_ex(d.ctx.get(), digest, &size) != 1)
    throw static_cast<LNSTATUS>(LNERR_BAD_DATA);  // the document is skipped, never misjudged
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  KeyDigest out(2 * size, u'0');
  for (unsigned int i = 0; i < size; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return out;
}

bool RegisterKey(RunSettings& s, const KeyDigest& digest) {
  const auto [position, bInserted] = s.m_mapDuplicateKeys.insert({digest, true});
  s.m_keyInsertResult.position = position;
  s.m_keyInsertResult.bInserted = bInserted ? 1 : 0;
  return bInserted;
}

bool IsFirstOfItsKind(RunSettings& s, const std::u16string& key) {
  return key.empty() || RegisterKey(s, DigestKey(key));
}

bool RegisterNote(RunSettings& s, std::uint32_t noteId) {
  const auto [position, bInserted] = s.m_mapProcessedNotes.insert(noteId);
  s.m_noteInsertResult.position = position;
  s.m_noteInsertResult.bInserted = bInserted ? 1 : 0;
  return bInserted;
}

bool IsDateInRanges(const RunSettings& s, const DateTimeValue& date) {
  if (s.m_vecDateRanges.empty()) return true;
  if (!date.IsValid()) return false;
  for (const DateRange& range : s.m_vecDateRanges) {
    if ((date > range.dtStart && date < range.dtEnd) || date == range.dtStart ||
        date == range.dtEnd)
      return true;
  }
  return false;
}

MailDate MailDate::Read(const LNMailMessage& mail) {
  MailDate d;
  const auto readFrom = [&d](const LNDatetime& dt) {
    LNINT month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    dt.GetDate(&month, &day, &year);
    dt.GetTime(&hour, &minute, &second);
    d = MailDate{month, day, year, hour, minute, second};
  };
  LNDatetime sent;
  (void)mail.GetDateSent(&sent);
  readFrom(sent);
  if (d.nMonth == 0 || d.nDay == 0 || d.nYear == 0) {
    LNDatetime created;
    (void)mail.GetCreated(&created);
    readFrom(created);
  }
  return d;
}

DateTimeValue MailDate::ToDateTimeValue() const {
  return DateTimeValue(nYear, nMonth, nDay, nHour, nMinute, nSecond);
}

std::u16string MailDateTimeText(const MailDate& d, bool bHoursMinutes) {
  char text[96];
  if (bHoursMinutes)
    std::snprintf(text, sizeof text, "%d/%d/%d::%d:%d", d.nDay, d.nMonth, d.nYear, d.nHour,
                  d.nMinute);
  else
    std::snprintf(text, sizeof text, "%d/%d/%d::%d:%d:%d", d.nDay, d.nMonth, d.nYear, d.nHour,
                  d.nMinute, d.nSecond);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}
