#include "engine/DuplicateKeys.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>

#include "engine/keys/LooseKeys.h"
#include "notes/BodyText.h"
#include "notes/NotesString.h"
#include "platform/Text.h"

namespace {

constexpr char kEscape = '\x1B';
constexpr char kRecordEnd = '\x1E';  // ends a kind prefix or an attachment name
constexpr char kPartEnd = '\x1F';

constexpr std::string_view kMailPrefix = "mail\x1E";
constexpr std::string_view kContactPrefix = "contact\x1E";

bool IsTicked(std::uint8_t flag) { return flag == 1; }

// The key is built as the bytes its digest reads. The separators are ASCII,
// so escaping the bytes is escaping the text.
void AppendEscaped(std::string& key, std::string_view bytes) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != kEscape && c != kRecordEnd && c != kPartEnd) continue;
    key.append(bytes, start, i - start).push_back(kEscape);
    start = i;
  }
  key.append(bytes, start);
}

// Builds a key part by part and remembers whether any part had content.
class KeyBuilder {
public:
  explicit KeyBuilder(std::string_view prefix) : m_key(prefix) {}
  void AddPart(std::u16string_view text) { AddPartBytes(Bytes(text)); }
  void AddPartBytes(std::string_view bytes) {
    AppendEscaped(m_key, bytes);
    m_key.push_back(kPartEnd);
    m_bHasContent = m_bHasContent || !bytes.empty();
  }
  void AddNames(const std::vector<std::u16string>& names) {
    for (const std::u16string& name : names) {
      AppendEscaped(m_key, Bytes(name));
      m_key.push_back(kRecordEnd);
      m_bHasContent = m_bHasContent || !name.empty();
    }
    m_key.push_back(kPartEnd);
  }
  // The composed key onto key, or nothing when no part had content.
  void AppendTo(std::string& key) const {
    if (m_bHasContent) key += m_key;
  }

private:
  const std::string& Bytes(std::u16string_view text) {
    m_scratch.clear();
    platform::AppendDistinctUtf8(m_scratch, text);
    return m_scratch;
  }
  std::string m_key;
  std::string m_scratch;
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

// A compared text as the run's options make it: unchanged unless a
// normalisation is asked for, so the exact key stays byte for byte.
enum class Field { address, subject, other };
std::u16string Loose(const RunSettings& s, std::u16string text, Field field) {
  const std::uint8_t n = s.m_keepOptions.nNormalize;
  if (n == 0) return text;
  if (field == Field::address && (n & KeepOptions::kAddresses) != 0) text = keys::NormalizeAddresses(text);
  if (field == Field::subject && (n & KeepOptions::kSubject) != 0) text = keys::NormalizeSubject(text);
  if ((n & KeepOptions::kSpaces) != 0) text = keys::NormalizeSpaces(text);
  return text;
}

// Stands for the date in a key when dates are compared within a tolerance:
// the date is then compared apart from the key (engine/keep), and the mark
// keeps a key of the date alone from counting as empty.
constexpr std::u16string_view kToleratedDate = u"~";

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

bool BuildMailKeyBytes(RunSettings& s, const LNMailMessage& mail, std::string& key) {
  KeyBuilder builder(kMailPrefix);
  if (IsTicked(s.m_bMailSender)) builder.AddPart(Loose(s, SenderText(mail), Field::address));
  if (IsTicked(s.m_bMailReceiver)) builder.AddPart(Loose(s, RecipientsText(mail), Field::address));
  if (s.m_bDateFilter == 1 && !s.m_vecDateRanges.empty() &&
      !IsDateInRanges(s, MailDate::Read(mail).ToDateTimeValue()))
    return false;
  if (IsTicked(s.m_bMailDateTime)) {
    if (s.m_keepOptions.HasDateTolerance())
      builder.AddPart(kToleratedDate);
    else
      builder.AddPart(MailDateTimeText(MailDate::Read(mail), IsTicked(s.m_bTimeFormatHM)));
  }
  if (IsTicked(s.m_bMailSubject)) builder.AddPart(Loose(s, SubjectText(mail), Field::subject));
  if (IsTicked(s.m_bMailAttachments)) {
    std::vector<std::u16string> names = AttachmentNames(mail);
    for (std::u16string& name : names) name = Loose(s, std::move(name), Field::other);
    builder.AddNames(names);
  }
  if (IsTicked(s.m_bMailBody)) {
    if ((s.m_keepOptions.nNormalize & KeepOptions::kSpaces) != 0)
      builder.AddPartBytes(keys::NormalizeSpacesUtf8(GetBodyKeyBytes(mail, s.m_hDatabase)));
    else
      builder.AddPartBytes(GetBodyKeyBytes(mail, s.m_hDatabase));
  }
  builder.AppendTo(key);
  return true;
}

bool BuildMailKey(RunSettings& s, const LNMailMessage& mail, std::u16string& key) {
  std::string bytes;
  if (!BuildMailKeyBytes(s, mail, bytes)) return false;
  key += platform::FromDistinctUtf8(bytes);
  return true;
}

void BuildContactKeyBytes(const RunSettings& s, const LNDocument& contact, std::string& key) {
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
      text = Loose(s, JoinedTextToKeyText(list, false), Field::other);
    }
    builder.AddPart(text);
  }
  builder.AppendTo(key);
}

void BuildContactKey(const RunSettings& s, const LNDocument& contact, std::u16string& key) {
  std::string bytes;
  BuildContactKeyBytes(s, contact, bytes);
  key += platform::FromDistinctUtf8(bytes);
}

KeyDigest DigestKey(const std::u16string& key) {
  thread_local std::string bytes;
  bytes.clear();
  platform::AppendDistinctUtf8(bytes, key);
  return DigestKeyBytes(bytes);
}

KeyDigest DigestKeyBytes(std::string_view bytes) {
  // A run digests every document's key: the context and the digest's
  // implementation are made once per thread.
  struct Digester {
    std::unique_ptr<EVP_MD_CTX, MdContextFree> ctx{EVP_MD_CTX_new()};
    std::unique_ptr<EVP_MD, MdFree> md{EVP_MD_fetch(nullptr, "MD5", nullptr)};
  };
  thread_local Digester d;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!d.ctx || !d.md || EVP_DigestInit_ex(d.ctx.get(), d.md.get(), nullptr) != 1 ||
      EVP_DigestUpdate(d.ctx.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(d.ctx.get(), digest, &size) != 1)
    throw static_cast<LNSTATUS>(LNERR_BAD_DATA);  // the document is skipped, never misjudged
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  KeyDigest out;
  char16_t* digits = out.Digits();
  for (unsigned int i = 0; i < size && 2 * i + 1 < KeyDigest::kDigits; ++i) {
    digits[2 * i] = kHex[digest[i] >> 4];
    digits[2 * i + 1] = kHex[digest[i] & 0x0F];
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
