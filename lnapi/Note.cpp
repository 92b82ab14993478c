// LNNote and its readers: LNDocument, LNMailMessage, LNItem, LNText,
// LNDatetime.
#include <algorithm>
#include <cstring>

#include "lnapi/Internal.h"
#include "lnapi/Status.h"
#include "lnapi/store/ItemCodec.h"

namespace lnapi {

bool SameItemName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void NoteState::SetDatetime(const store::TimeValue& t, LNDatetime* dt) {
  dt->m_bNull = false;
  dt->m_nYear = t.nYear;
  dt->m_nMonth = t.nMonth;
  dt->m_nDay = t.nDay;
  dt->m_nHour = t.nHour;
  dt->m_nMinute = t.nMinute;
  dt->m_nSecond = t.nSecond;
  dt->m_nHundredth = t.nHundredth;
}

NoteState::~NoteState() {
  if (m_hNote) ReleaseHandle(m_hNote);
}

LNSTATUS NoteState::Load() {
  if (!m_pDb || !m_pDb->IsOpen()) return LNERR_NOT_OPEN;
  if (m_bLoaded && m_nLoadedGeneration == m_pDb->m_nGeneration) return LNNOERROR;
  auto& store = m_pDb->Store();
  auto row = store.LoadNote(m_dwId, m_vecItems);
  if (!row || row->life == store::NoteLife::stub) {
    m_bLoaded = false;
    m_vecItems.clear();
    return LNERR_NOT_FOUND;
  }
  m_row = std::move(*row);
  m_bLoaded = true;
  m_nLoadedGeneration = m_pDb->m_nGeneration;
  return LNNOERROR;
}

void NoteState::Close() {
  m_bOpen = false;
  if (m_hNote) {
    ReleaseHandle(m_hNote);
    m_hNote = 0;
  }
}

const store::StoredItem* NoteState::FindItem(std::string_view name) const {
  if (!m_bOpen) return nullptr;
  for (const auto& item : m_vecItems)
    if (SameItemName(item.strName, name)) return &item;
  return nullptr;
}

}  // namespace lnapi

namespace {

// Entries of a text or text-list value; other types have none.
std::optional<std::vector<std::string>> TextEntries(const lnapi::store::StoredItem& item) {
  if (item.wType == TYPE_TEXT) return std::vector<std::string>{item.value};
  if (item.wType == TYPE_TEXT_LIST) return lnapi::store::DecodeTextList(item.value);
  return std::vector<std::string>{};
}

}  // namespace

// ---- LNNote

LNNote::LNNote() = default;
LNNote::~LNNote() = default;
LNNote::LNNote(const LNNote&) = default;
LNNote& LNNote::operator=(const LNNote&) = default;

LNSTATUS LNNote::Open(int) {
  if (!m_pState) return LNERR_NOT_FOUND;
  const LNSTATUS status = m_pState->Load();
  if (status == LNNOERROR) m_pState->m_bOpen = true;
  return status;
}

LNSTATUS LNNote::Close() {
  if (m_pState) m_pState->Close();
  return LNNOERROR;
}

LNBOOL LNNote::IsOpen() const { return m_pState && m_pState->m_bOpen ? 1 : 0; }

LNSTATUS LNNote::Save(int) {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  if (!m_pState->m_bOpen) return LNERR_NOT_OPEN;
  // Every change is written when it is made; Save only confirms the note is
  // still there.
  auto& db = *m_pState->m_pDb;
  const auto row = db.Store().GetNote(m_pState->m_dwId);
  return row && row->life != lnapi::store::NoteLife::stub ? LNNOERROR : LNERR_NOT_FOUND;
}

NOTEID LNNote::GetNoteID() const { return m_pState ? m_pState->m_dwId : 0; }

bool LNNote::IsNull() const { return !m_pState; }

LNBOOL LNNote::HasItem(const LNString& name) const {
  return m_pState && m_pState->FindItem(name.Bytes()) ? 1 : 0;
}

LNSTATUS LNNote::GetItem(const LNString& name, LNItem* item) const {
  if (!item) return LNERR_BAD_ARGUMENT;
  *item = LNItem();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  const auto* found = m_pState->FindItem(name.Bytes());
  if (!found) return LNERR_NOT_FOUND;
  item->m_strName = LNString(found->strName);
  item->m_wType = found->wType;
  item->m_value = found->value;
  item->m_bNull = false;
  return LNNOERROR;
}

LNSTATUS LNNote::GetItem(const LNString& name, LNText* text) const {
  if (!text) return LNERR_BAD_ARGUMENT;
  text->m_vecEntries.clear();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  const auto* found = m_pState->FindItem(name.Bytes());
  if (!found) return LNERR_NOT_FOUND;
  const auto entries = TextEntries(*found);
  if (!entries) return LNERR_BAD_DATA;
  for (const auto& e : *entries) text->m_vecEntries.emplace_back(e);
  return LNNOERROR;
}

LNSTATUS LNNote::GetItem(const LNString& name, LNDatetime* dt) const {
  if (!dt) return LNERR_BAD_ARGUMENT;
  *dt = LNDatetime();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  const auto* found = m_pState->FindItem(name.Bytes());
  if (!found) return LNERR_NOT_FOUND;
  if (found->wType != TYPE_TIME) return LNERR_BAD_DATA;
  const auto t = lnapi::store::DecodeTime(found->value);
  if (!t) return LNERR_BAD_DATA;
  lnapi::NoteState::SetDatetime(*t, dt);
  return LNNOERROR;
}

LNSTATUS LNNote::GetCreated(LNDatetime* dt) const {
  if (!dt) return LNERR_BAD_ARGUMENT;
  *dt = LNDatetime();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  const auto t = lnapi::store::ParseTime(m_pState->m_row.strCreated);
  if (!t) return LNERR_BAD_DATA;
  lnapi::NoteState::SetDatetime(*t, dt);
  return LNNOERROR;
}

LNSTATUS LNNote::GetLastModified(LNDatetime* dt) const {
  if (!dt) return LNERR_BAD_ARGUMENT;
  *dt = LNDatetime();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  const std::string& stamp =
      m_pState->m_row.strModified.empty() ? m_pState->m_row.strCreated : m_pState->m_row.strModified;
  const auto t = lnapi::store::ParseTime(stamp);
  if (!t) return LNERR_BAD_DATA;
  lnapi::NoteState::SetDatetime(*t, dt);
  return LNNOERROR;
}

LNBOOL LNNote::HasAttachments() const {
  if (!m_pState || !m_pState->m_bOpen) return 0;
  for (const auto& item : m_pState->m_vecItems)
    if (item.wType == TYPE_OBJECT) return 1;
  return 0;
}

LNSTATUS LNNote::GetAttachments(LNAttachmentArray* out) const {
  if (!out) return LNERR_BAD_ARGUMENT;
  out->m_vecItems.clear();
  if (!m_pState || !m_pState->m_bOpen) return LNERR_NOT_OPEN;
  for (const auto& item : m_pState->m_vecItems) {
    if (item.wType != TYPE_OBJECT) continue;
    const auto peek = lnapi::store::PeekAttachment(item.value);
    if (!peek) return LNERR_BAD_DATA;
    LNAttachment a;
    a.m_strName = LNString(peek->first);
    a.m_nSizeBytes = peek->second;
    out->m_vecItems.push_back(std::move(a));
  }
  return LNNOERROR;
}

LNINT LNNote::GetSize() const {
  if (!m_pState || !m_pState->m_bOpen) return 0;
  std::size_t nBytes = 0;
  for (const auto& item : m_pState->m_vecItems) nBytes += item.value.size();
  return static_cast<LNINT>(nBytes);
}

DHANDLE LNNote::GetNoteHandle(int) const {
  if (!m_pState || !m_pState->m_bOpen) return 0;
  if (!m_pState->m_hNote) m_pState->m_hNote = lnapi::RegisterNoteHandle(m_pState);
  return m_pState->m_hNote;
}

// ---- LNDocument, LNMailMessage

LNString LNDocument::GetFormNote() const {
  LNText form;
  if (GetItem("Form", &form) != LNNOERROR || form.GetCount() == 0) return LNString();
  return form[0];
}

LNMailMessage& LNMailMessage::operator=(const LNDocument& doc) {
  LNNote::operator=(doc);
  return *this;
}

LNSTATUS LNMailMessage::GetSender(LNString* sender) const {
  if (!sender) return LNERR_BAD_ARGUMENT;
  *sender = LNString();
  LNText from;
  const LNSTATUS status = GetItem("From", &from);
  if (status == LNNOERROR && from.GetCount() > 0) *sender = from[0];
  return status;
}

LNSTATUS LNMailMessage::GetRecipients(int type, LNText* recipients) const {
  if (!recipients) return LNERR_BAD_ARGUMENT;
  static const char* const kItems[] = {"SendTo", "CopyTo", "BlindCopyTo"};
  if (type < 0 || type > 2) {
    recipients->m_vecEntries.clear();
    return LNERR_BAD_ARGUMENT;
  }
  return GetItem(kItems[type], recipients);
}

LNSTATUS LNMailMessage::GetSubject(LNText* subject) const {
  if (!subject) return LNERR_BAD_ARGUMENT;
  return GetItem("Subject", subject);
}

LNSTATUS LNMailMessage::GetDateSent(LNDatetime* dt) const {
  if (!dt) return LNERR_BAD_ARGUMENT;
  return GetItem("PostedDate", dt);
}

// ---- LNItem, LNText, LNDatetime

LNItem::LNItem() = default;
WORD LNItem::GetType() const { return m_wType; }
std::size_t LNItem::GetValueSize() const { return m_value.size(); }
const LNString& LNItem::GetName() const { return m_strName; }
bool LNItem::IsNull() const { return m_bNull; }

std::size_t LNItem::Read(std::size_t offset, std::size_t size, void* buf) const {
  if (!buf || offset >= m_value.size()) return 0;
  const std::size_t n = std::min(size, m_value.size() - offset);
  std::memcpy(buf, m_value.data() + offset, n);
  return n;
}

LNSTATUS LNText::GetText(LNString* out, const LNString& separator) const {
  if (!out) return LNERR_BAD_ARGUMENT;
  std::string joined;
  for (std::size_t i = 0; i < m_vecEntries.size(); ++i) {
    if (i) joined += separator.Bytes();
    joined += m_vecEntries[i].Bytes();
  }
  *out = LNString(std::move(joined));
  return LNNOERROR;
}

void LNDatetime::GetDate(LNINT* month, LNINT* day, LNINT* year) const {
  if (month) *month = m_nMonth;
  if (day) *day = m_nDay;
  if (year) *year = m_nYear;
}

void LNDatetime::GetTime(LNINT* hour, LNINT* minute, LNINT* second, LNINT* hundredth) const {
  if (hour) *hour = m_nHour;
  if (minute) *minute = m_nMinute;
  if (second) *second = m_nSecond;
  if (hundredth) *hundredth = m_nHundredth;
}
