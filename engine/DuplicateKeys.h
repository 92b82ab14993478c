// Duplicate keys: when two documents are duplicates.
//
// Each mail item or contact gets a key text composed of the parts the user
// ticked; two documents are duplicates exactly when the MD5 digests of their
// key texts are equal. The first document met keeps its place; every later
// one with the same digest is a duplicate. A second map records the note ids
// judged in the current file, so that a document filed in several folders is
// judged once.
//
// How a key is composed, and why:
// - A mail key starts with "mail" + U+001E, a contact key with "contact" +
//   U+001E, so that a mail item never matches a contact.
// - Each ticked part is followed by U+001F, so that sender "ab" with subject
//   "c" is not sender "a" with subject "bc"; attachment names inside their
//   part are each followed by U+001E. A U+001B, U+001E or U+001F inside a
//   part's text is preceded by U+001B, so no text can forge a separator.
// - Parts are neither trimmed nor case-folded, unless the run asks for a
//   looser comparison (m_keepOptions): then the normalised texts of those
//   fields go into the key (engine/keys/LooseKeys.h), and with a date
//   tolerance the date part is a fixed mark, the dates being compared apart
//   when the scope's groups are formed (engine/keep/ScopeJudgement.h).
// - A document whose ticked parts are all absent or empty has no content to
//   compare: its key text is left empty, and an empty key is never
//   registered; the document is kept (not a duplicate of anything).
// - The digest is the MD5 of the key's UTF-8 bytes, so characters that share
//   a low byte (U+0141 and U+0041) stay different. For text made only of
//   ASCII these are the bytes of the text itself.
//
// Calling sequence for one opened document (the folder pass):
//
//   const DocumentKind kind = ClassifyDocument(mail);
//   bool bKeep = true;
//   std::u16string key;                    // empty for every document
//   if (kind == DocumentKind::mailItem) {
//     if (!BuildMailKey(settings, mail, key)) -> outside the date limit:
//         close, next entry; neither map is touched
//   } else if (kind == DocumentKind::contact) {
//     BuildContactKey(settings, mail, key);
//   }
//   if (kind != DocumentKind::other && !key.empty())
//     bKeep = RegisterKey(settings, DigestKey(key));   // false: a duplicate
//   if (!RegisterNote(settings, noteId)) -> judged in an earlier folder:
//       close, next entry, whatever bKeep says
//
// (IsFirstOfItsKind below does the middle step; a run builds the same keys
// as bytes, with the ...KeyBytes functions and DigestKeyBytes.) RegisterNote always comes
// after RegisterKey. Exceptions (thrown LNSTATUS) from the Notes calls pass
// through BuildMailKey and BuildContactKey untouched; the caller skips the
// document then, and neither map has been touched.
//
// Threads: the run's worker thread only; the functions change the maps of the
// run settings they are given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/RunSettings.h"
#include "lnapi/LNNotes.h"

enum class DocumentKind { mailItem, contact, other };

// Mail item when the document has a "Subject" item, whatever its form;
// contact when it has none and its form name is exactly "Person"; other
// otherwise.
DocumentKind ClassifyDocument(const LNDocument& document);

// Appends the ticked mail parts to key, in the order sender, recipients,
// date and time, subject, attachment names, body. Returns false when the
// date limit is on and the mail date is outside every range: the key is then
// not to be used. When every ticked part is empty, key is left empty.
[[nodiscard]] bool BuildMailKey(RunSettings& settings, const LNMailMessage& mail,
                                std::u16string& key);

// Appends the ticked contact parts to key, in the order full name, first,
// last and middle name, e-mail address, phone number, company. When every
// ticked part is absent or empty, key is left empty.
void BuildContactKey(const RunSettings& settings, const LNDocument& contact, std::u16string& key);

// The same keys as the UTF-8 bytes their digests read
// (platform::AppendDistinctUtf8 of the key text): what a run builds, since a
// body's rendering is UTF-8 already and only feeds the digest.
[[nodiscard]] bool BuildMailKeyBytes(RunSettings& settings, const LNMailMessage& mail,
                                     std::string& key);
void BuildContactKeyBytes(const RunSettings& settings, const LNDocument& contact, std::string& key);

// 32 upper-case hexadecimal digits of the MD5 of the key's UTF-8 bytes. The
// empty key gives D41D8CD98F00B204E9800998ECF8427E.
KeyDigest DigestKey(const std::u16string& key);
// The same digest of a key given as its bytes.
KeyDigest DigestKeyBytes(std::string_view bytes);

// Inserts digest into m_mapDuplicateKeys and keeps the result in
// m_keyInsertResult. True when the digest is new (the document is the first
// of its kind: keep it), false when it was there (a duplicate).
[[nodiscard]] bool RegisterKey(RunSettings& settings, const KeyDigest& digest);

// The key step of the sequence above: true (keep, nothing registered) for an
// empty key, else RegisterKey(DigestKey(key)).
[[nodiscard]] bool IsFirstOfItsKind(RunSettings& settings, const std::u16string& key);

// Inserts the note id into m_mapProcessedNotes and keeps the result in
// m_noteInsertResult. False when the note was already judged in this file.
[[nodiscard]] bool RegisterNote(RunSettings& settings, std::uint32_t noteId);

// The date limit: true when the date lies in one of m_vecDateRanges (ends
// included), or the list is empty. An invalid date never passes.
[[nodiscard]] bool IsDateInRanges(const RunSettings& settings, const DateTimeValue& date);

// A mail item's date: the date sent, or its creation time when the date sent
// has no month, day or year.
struct MailDate {
  int nMonth = 0, nDay = 0, nYear = 0, nHour = 0, nMinute = 0, nSecond = 0;
  static MailDate Read(const LNMailMessage& mail);
  // Invalid when the parts do not form a real date and time.
  DateTimeValue ToDateTimeValue() const;
};

// "%d/%d/%d::%d:%d:%d" of day, month, year, hour, minute, second, or without
// the seconds in hour-and-minute mode; no leading zeros.
std::u16string MailDateTimeText(const MailDate& date, bool bHoursMinutes);
