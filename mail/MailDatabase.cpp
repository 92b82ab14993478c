#include "mail/MailDatabase.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "lnapi/RichText.h"
#include "lnapi/Status.h"
#include "lnapi/Utf8.h"
#include "lnapi/store/ItemCodec.h"
#include "lnapi/store/Store.h"

namespace mailio {

namespace fs = std::filesystem;
namespace st = lnapi::store;
namespace rt = lnapi::richtext;

namespace {

// Documents per transaction: one commit per document would spend the import
// on disk flushes; a batch that is lost to a crash is lost whole.
constexpr std::size_t kBatchSize = 500;
// A batch of large messages ends sooner: past the store's page cache, its
// pages would be written out before the commit and again at it.
constexpr std::size_t kBatchBytes = 8 << 20;

std::string StatusText(LNSTATUS status) { return LNGetErrorMessageText(status); }

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// A value for the store: taken over (Take) or copied.
template <bool Take, typename T>
std::string Pass(T& value) {
  if constexpr (Take) return std::move(value);
  else return value;
}

template <bool Take, typename Records>
std::string EncodeRich(Records& records) {
  std::vector<rt::Record> out;
  out.reserve(records.size());
  for (auto& r : records) {
    rt::Record rec;
    if (r.kind == RichRecord::Kind::Picture) {
      rec.kind = rt::RecordKind::picture;
      rec.gif = Pass<Take>(r.gif);
      rec.nWidth = static_cast<std::uint16_t>(std::clamp(r.width, 0, 0xFFFF));
      rec.nHeight = static_cast<std::uint16_t>(std::clamp(r.height, 0, 0xFFFF));
    } else {
      rec.kind = rt::RecordKind::paragraph;
      if (!r.text.empty()) rec.vecRuns.push_back({Pass<Take>(r.text), false, false, false});
    }
    out.push_back(std::move(rec));
  }
  return rt::Encode(out);
}

void Paragraph(std::vector<RichRecord>& out, std::string text) {
  out.push_back({RichRecord::Kind::Paragraph, std::move(text), {}, 0, 0});
}

// Rich text written by others may hold more than paragraphs and pictures:
// tables, sections and links are read as plain paragraphs.
void DecodeRecords(const std::vector<rt::Record>& records, std::vector<RichRecord>& out) {
  for (const rt::Record& rec : records) {
    switch (rec.kind) {
      case rt::RecordKind::paragraph: {
        std::string text;
        for (const rt::Run& run : rec.vecRuns) text += run.strText;
        Paragraph(out, std::move(text));
        break;
      }
      case rt::RecordKind::lineBreak: Paragraph(out, {}); break;
      case rt::RecordKind::picture:
        out.push_back({RichRecord::Kind::Picture, {}, rec.gif, rec.nWidth, rec.nHeight});
        break;
      case rt::RecordKind::table:
        for (const auto& row : rec.vecRows) {
          std::string line;
          for (std::size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + row[i];
          Paragraph(out, std::move(line));
        }
        break;
      case rt::RecordKind::section:
        Paragraph(out, rec.strTitle);
        DecodeRecords(rec.vecBody, out);
        break;
      case rt::RecordKind::link: Paragraph(out, rec.strText + " <" + rec.strUrl + ">"); break;
      case rt::RecordKind::attachmentIcon: break;
    }
  }
}

std::string HtmlText(std::string_view value) {
  if (value.size() < 2) return {};
  std::string_view text = value.substr(2);
  if (value.size() > 3 && value[3] == '\0') {  // UTF-16LE
    std::u16string units;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                            (static_cast<unsigned char>(text[i + 1]) << 8)));
    return lnapi::utf8::FromUtf16(units);
  }
  return std::string(text);
}

std::optional<LocalTime> FromTimeValue(const std::optional<st::TimeValue>& t) {
  if (!t) return std::nullopt;
  return LocalTime{t->nYear, t->nMonth, t->nDay, t->nHour, t->nMinute, t->nSecond};
}

std::string FormatLocal(const LocalTime& t) {
  return st::FormatTime({t.year, t.month, t.day, t.hour, t.minute, t.second, 0});
}

}  // namespace

namespace {

template <bool Take, typename D>
std::vector<st::StoredItem> StoredItemsOf(D& doc) {
  std::vector<st::StoredItem> out;
  out.reserve(doc.items.size());
  for (auto& item : doc.items) {
    st::StoredItem s{Pass<Take>(item.name), 0, {}};
    switch (item.kind) {
      case ItemKind::Text: s.wType = TYPE_TEXT; s.value = Pass<Take>(item.text); break;
      case ItemKind::TextList: s.wType = TYPE_TEXT_LIST; s.value = st::EncodeTextList(item.list); break;
      case ItemKind::Time:
        s.wType = TYPE_TIME;
        s.value = st::EncodeTime({item.time.year, item.time.month, item.time.day, item.time.hour,
                                  item.time.minute, item.time.second, 0});
        break;
      case ItemKind::RichText: s.wType = TYPE_COMPOSITE; s.value = EncodeRich<Take>(item.rich); break;
      case ItemKind::Html:
        s.wType = TYPE_HTML;
        s.value = std::string("\x15\0", 2) + item.text;  // the type word, then 8-bit text
        break;
      case ItemKind::Attachment:
        s.wType = TYPE_OBJECT;
        s.value = st::EncodeAttachment({item.fileName, item.bytes});
        break;
      case ItemKind::Raw: s.wType = item.rawType; s.value = Pass<Take>(item.bytes); break;
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace

std::vector<st::StoredItem> ToStoredItems(const Doc& doc) { return StoredItemsOf<false>(doc); }

std::vector<st::StoredItem> ToStoredItems(Doc&& doc) { return StoredItemsOf<true>(doc); }

Doc FromStoredItems(const std::vector<st::StoredItem>& items) {
  Doc doc;
  for (const st::StoredItem& s : items) {
    switch (s.wType) {
      case TYPE_TEXT: doc.items.push_back(Item::MakeText(s.strName, s.value)); break;
      case TYPE_TEXT_LIST:
        if (auto list = st::DecodeTextList(s.value)) doc.items.push_back(Item::MakeTextList(s.strName, *list));
        break;
      case TYPE_TIME:
        if (auto t = FromTimeValue(st::DecodeTime(s.value))) doc.items.push_back(Item::MakeTime(s.strName, *t));
        break;
      case TYPE_COMPOSITE:
        try {
          std::vector<RichRecord> rich;
          DecodeRecords(rt::Decode(s.value), rich);
          doc.items.push_back(Item::MakeRich(s.strName, std::move(rich)));
        } catch (LNSTATUS) {
          // A damaged rich-text value: the rest of the document still goes out.
        }
        break;
      case TYPE_HTML: doc.items.push_back(Item::MakeHtml(s.strName, HtmlText(s.value))); break;
      case TYPE_OBJECT:
        if (auto a = st::DecodeAttachment(s.value)) {
          Item item = Item::MakeAttachment(a->strFileName, std::move(a->data));
          item.name = s.strName;
          doc.items.push_back(std::move(item));
        }
        break;
      default: doc.items.push_back(Item::MakeRaw(s.strName, s.wType, s.value)); break;
    }
  }
  return doc;
}

std::string TargetFolder(const std::string& folder) {
  const std::string name = Lower(folder);
  if (name == "sent" || name == "sent items" || name == "sent messages" || name == "sent mail") return "($Sent)";
  if (name == "drafts") return "($Drafts)";
  return folder;
}

MailDatabase::~MailDatabase() {
  if (m_bInBatch) {
    try {
      m_pStore->Rollback();  // Finish was not called: an error path, keep nothing pending
    } catch (...) {
      // Nothing more can be done in a destructor; SQLite rolls back on close.
    }
  }
}

std::unique_ptr<MailDatabase> MailDatabase::OpenForImport(const std::string& path, Design design,
                                                          std::string* error) {
  std::unique_ptr<MailDatabase> db(new MailDatabase());
  try {
    std::error_code ec;
    if (fs::exists(path, ec)) {
      if (lnapi::IsFileHeldByOther(path)) {
        *error = "Cannot import into " + path + ": the database is open in another program";
        return nullptr;
      }
      db->m_pStore = st::Store::Open(path);
    } else {
      db->m_pStore = st::Store::Create(path, fs::path(path).stem().string(), true);
      db->m_bCreated = true;
    }
    for (const st::NoteRow& row : db->m_pStore->ListDesignNotes())
      if (row.cls == st::NoteClass::folder || row.select == st::SelectKind::entries)
        db->m_mapFolderIds.emplace(row.strName, row.dwId);
      else
        db->m_mapFolderIds.emplace(row.strName, 0);  // a rule view: its rule files documents
    db->m_pStore->Begin();
    if (design == Design::Mail) {
      db->DesignNote("($Inbox)");
      db->EnsureView("($Sent)", static_cast<int>(st::SelectKind::entries), {});
      db->EnsureView("($Drafts)", static_cast<int>(st::SelectKind::entries), {});
      db->EnsureView("($All)", static_cast<int>(st::SelectKind::all), {});
      db->EnsureView("($SoftDeletions)", static_cast<int>(st::SelectKind::entries), {});
    } else if (design == Design::Source) {
      db->EnsureView("($All)", static_cast<int>(st::SelectKind::all), {});
    } else {
      db->EnsureView("My Contacts", static_cast<int>(st::SelectKind::form), {"Person"});
      db->EnsureView("($People)", static_cast<int>(st::SelectKind::form), {"Person"});
    }
    db->m_pStore->Commit();
    db->m_vecPending.clear();
    db->m_nPendingBytes = 0;
  } catch (LNSTATUS status) {
    *error = StatusText(status);
    return nullptr;
  }
  return db;
}

void MailDatabase::EnsureView(const std::string& name, int selectKind, const std::vector<std::string>& args) {
  if (m_mapFolderIds.count(name)) return;
  st::NoteRow row;
  row.cls = st::NoteClass::view;
  row.strCreated = st::LocalTimeNow();
  row.strName = name;
  row.select = static_cast<st::SelectKind>(selectKind);
  row.vecSelectArgs = args;
  const NOTEID id = Insert(std::move(row), {}, 0);
  m_mapFolderIds.emplace(name, static_cast<st::SelectKind>(selectKind) == st::SelectKind::entries ? id : 0);
}

NOTEID MailDatabase::DesignNote(const std::string& name) {
  if (auto it = m_mapFolderIds.find(name); it != m_mapFolderIds.end()) return it->second;
  // Parent levels first, so the folder tree shows "Projects" above "Projects\2019".
  if (auto slash = name.rfind('\\'); slash != std::string::npos && slash > 0) DesignNote(name.substr(0, slash));
  st::NoteRow row;
  row.cls = st::NoteClass::folder;
  row.strCreated = st::LocalTimeNow();
  row.strName = name;
  row.select = st::SelectKind::entries;
  const NOTEID id = Insert(std::move(row), {}, 0);
  m_mapFolderIds.emplace(name, id);
  return id;
}

NOTEID MailDatabase::Insert(st::NoteRow&& row, std::vector<st::StoredItem>&& items, NOTEID folder) {
  // Ids are counted here: asking the store for each note is a query and a
  // meta read per message, and nothing else writes the file meanwhile.
  if (m_nNextId == 0) m_nNextId = m_pStore->NextNoteId();
  if (m_nNextId > 0xFFFFFFFCu) lnapi::ThrowStatus(LNERR_FILE, "Cannot add a note to " + m_pStore->Path() + ": no note id is left");
  row.dwId = static_cast<NOTEID>(m_nNextId);
  m_pStore->InsertNewNote(row, items, folder);
  m_nNextId += 4;
  for (const st::StoredItem& item : items) m_nPendingBytes += item.value.size();
  m_vecPending.push_back({std::move(row), std::move(items), folder});
  return m_vecPending.back().row.dwId;
}

bool MailDatabase::Add(const Doc& doc, const std::string& folder, std::string* error, NOTEID* pId) {
  return AddItems(doc.created, ToStoredItems(doc), folder, error, pId);
}

bool MailDatabase::Add(Doc&& doc, const std::string& folder, std::string* error, NOTEID* pId) {
  const std::optional<LocalTime> created = doc.created;
  return AddItems(created, ToStoredItems(std::move(doc)), folder, error, pId);
}

bool MailDatabase::AddItems(const std::optional<LocalTime>& created, std::vector<st::StoredItem>&& items,
                            const std::string& folder, std::string* error, NOTEID* pId) {
  if (Broken()) {
    *error = "cannot be stored: " + m_strBrokenReason;
    return false;
  }
  try {
    if (!m_bInBatch) {
      m_pStore->Begin();
      m_bInBatch = true;
    }
    const NOTEID folderId = folder.empty() ? 0 : DesignNote(folder);
    st::NoteRow row;
    row.cls = st::NoteClass::document;
    row.strCreated = created ? FormatLocal(*created) : st::LocalTimeNow();
    row.strModified = st::LocalTimeNow();
    const NOTEID id = Insert(std::move(row), std::move(items), folderId);
    if (pId) *pId = id;
  } catch (LNSTATUS status) {
    *error = "cannot be stored: " + StatusText(status);
    ReplayBatch();
    return false;
  }
  if (++m_nPending >= kBatchSize || m_nPendingBytes >= kBatchBytes) CommitBatch();
  return true;
}

// A note that failed half way is in the batch's transaction with the notes
// before it. The documents take no savepoint each (that would copy every
// page they touch once more); instead the batch is rolled back and its
// earlier notes, kept for this, are stored again and committed, so only the
// failing document is refused.
void MailDatabase::ReplayBatch() {
  std::vector<Pending> pending = std::move(m_vecPending);
  const std::size_t documents = m_nPending;
  m_vecPending.clear();
  m_nPending = 0;
  m_nPendingBytes = 0;
  m_nNextId = 0;
  if (!m_bInBatch) return;
  m_bInBatch = false;
  try {
    m_pStore->Rollback();
    m_pStore->Begin();
    for (const Pending& p : pending) m_pStore->InsertNewNote(p.row, p.items, p.folder);
    m_pStore->Commit();
  } catch (LNSTATUS status) {
    m_nLost += documents;
    m_strBrokenReason = StatusText(status);
    if (m_pStore->TransactionDepth() > 0) {
      try {
        m_pStore->Rollback();
      } catch (LNSTATUS) {
        // The connection is gone; SQLite has rolled the batch back itself.
      }
    }
  }
}

void MailDatabase::CommitBatch() {
  m_vecPending.clear();
  if (!m_bInBatch) return;
  const std::size_t pending = m_nPending;
  m_bInBatch = false;
  m_nPending = 0;
  m_nPendingBytes = 0;
  try {
    m_pStore->Commit();
  } catch (LNSTATUS status) {
    m_nLost += pending;
    m_strBrokenReason = StatusText(status);
    try {
      m_pStore->Rollback();
    } catch (LNSTATUS) {
      // The connection is gone; SQLite has rolled the batch back itself.
    }
  }
}

bool MailDatabase::Finish() {
  CommitBatch();
  return !Broken();
}

bool ReadDocuments(const std::string& path, const std::optional<std::string>& folder,
                   const std::function<void(NOTEID, Doc&&)>& onDoc, std::string* error) {
  try {
    std::unique_ptr<st::Store> store = st::Store::Open(path, st::Store::Mode::readOnly);
    std::vector<NOTEID> ids;
    if (folder) {
      std::optional<st::NoteRow> design = store->FindDesignNote(*folder);
      if (!design) {
        *error = path + ": no folder or view named " + *folder;
        return false;
      }
      ids = store->Entries(*design);
    } else {
      for (const st::NoteRow& row : store->ListNotes())
        if (row.cls == st::NoteClass::document && row.life == st::NoteLife::live) ids.push_back(row.dwId);
    }
    for (NOTEID id : ids) {
      std::optional<st::NoteRow> row = store->GetNote(id);
      if (!row || row->life != st::NoteLife::live || row->cls != st::NoteClass::document) continue;
      Doc doc = FromStoredItems(store->GetItems(id));
      doc.created = FromTimeValue(st::ParseTime(row->strCreated));
      onDoc(id, std::move(doc));
    }
    return true;
  } catch (LNSTATUS status) {
    *error = StatusText(status);
    return false;
  }
}

}  // namespace mailio
