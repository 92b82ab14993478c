// The notes, items and entries of a store.
#include <algorithm>
#include <ctime>

#include "lnapi/store/StoreSql.h"

namespace lnapi::store {

namespace {

const char* const kNoteColumns =
    "SELECT id, class, life, created, modified, name, view_type, select_kind, select_args "
    "FROM notes ";

std::string JoinArgs(const std::vector<std::string>& args) {
  std::string out;
  for (const auto& a : args) {
    if (!out.empty()) out += '\n';
    out += a;
  }
  return out;
}

std::vector<std::string> SplitArgs(std::string_view text) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    out.emplace_back(text.substr(start, nl == std::string_view::npos ? nl : nl - start));
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  return out;
}

}  // namespace

namespace {

NoteRow ReadRow(const auto& q) {
  NoteRow row;
  row.dwId = static_cast<NOTEID>(q.Int(0));
  row.cls = static_cast<NoteClass>(q.Int(1));
  row.life = static_cast<NoteLife>(q.Int(2));
  row.strCreated = q.Text(3);
  row.strModified = q.Text(4);
  row.strName = q.Text(5);
  row.nViewType = static_cast<int>(q.Int(6));
  row.select = static_cast<SelectKind>(q.Int(7));
  row.vecSelectArgs = SplitArgs(q.Text(8));
  return row;
}

}  // namespace

std::optional<NoteRow> Store::GetNote(NOTEID id) {
  std::lock_guard lock(m_mutexLease);
  Lease();
  static const std::string sql = std::string(kNoteColumns) + "WHERE id = ?";
  Statement q(*this, sql.c_str());
  q.Bind(1, id);
  if (!q.Step()) return std::nullopt;
  return ReadRow(q);
}

std::vector<StoredItem> Store::GetItems(NOTEID id) {
  std::lock_guard lock(m_mutexLease);
  Lease();
  Statement q(*this, "SELECT name, type, value FROM items WHERE note = ? ORDER BY seq");
  q.Bind(1, id);
  std::vector<StoredItem> items;
  while (q.Step())
    items.push_back(StoredItem{q.Text(0), static_cast<WORD>(q.Int(1)), q.Text(2)});
  return items;
}

std::optional<NoteRow> Store::LoadNote(NOTEID id, std::vector<StoredItem>& items) {
  std::lock_guard lock(m_mutexLease);
  Lease();
  if (m_bLeased) {
    auto it = m_mapReadAhead.find(id);
    if (it == m_mapReadAhead.end() && FindInPlan(id)) {
      ReadAhead();
      it = m_mapReadAhead.find(id);
    }
    if (it != m_mapReadAhead.end()) {
      items = std::move(it->second.items);
      std::optional<NoteRow> row = std::move(it->second.row);
      m_mapReadAhead.erase(it);
      return row;
    }
  }
  Statement q(*this,
              "SELECT n.id, n.class, n.life, n.created, n.modified, n.name, n.view_type, "
              "n.select_kind, n.select_args, i.name, i.type, i.value "
              "FROM notes n LEFT JOIN items i ON i.note = n.id WHERE n.id = ? ORDER BY i.seq");
  q.Bind(1, id);
  items.clear();
  std::optional<NoteRow> row;
  while (q.Step()) {
    if (!row) row = ReadRow(q);
    if (!q.IsNull(9)) items.push_back(StoredItem{q.Text(9), static_cast<WORD>(q.Int(10)), q.Text(11)});
  }
  return row;
}

void Store::PlanReads(const std::vector<NOTEID>& ids) {
  std::lock_guard lock(m_mutexLease);
  m_vecPlan = ids;
  m_nPlanPos = 0;
  m_mapReadAhead.clear();
}

// Whether id is where the plan expects the next load (a few entries may
// have been skipped); moves the plan's place to it.
bool Store::FindInPlan(NOTEID id) {
  constexpr std::size_t kLookAhead = 16;
  const std::size_t end = std::min(m_vecPlan.size(), m_nPlanPos + kLookAhead);
  for (std::size_t i = m_nPlanPos; i < end; ++i) {
    if (m_vecPlan[i] == id) {
      m_nPlanPos = i;
      return true;
    }
  }
  return false;
}

namespace {

constexpr std::size_t kReadAheadNotes = 64;

// "(?1, ?2, ... ?64)": the notes of one read ahead, as one statement's list.
std::string PlaceholderList() {
  std::string list = "(";
  for (std::size_t i = 1; i <= kReadAheadNotes; ++i) list += (i > 1 ? ", ?" : "?") + std::to_string(i);
  return list + ")";
}

}  // namespace

// Reads the plan's next notes, from m_nPlanPos on, with one query of each
// table: SQLite seeks them in id order, each page once, where a query per
// note pays a statement's whole round for each. Only the wanted notes are
// read, so a folder that holds one note in twenty does not read the other
// nineteen (nor their attachments) as a range scan would.
void Store::ReadAhead() {
  const std::size_t end = std::min(m_vecPlan.size(), m_nPlanPos + kReadAheadNotes);
  if (end - m_nPlanPos < 2) return;  // a single note: LoadNote's own query
  std::vector<NOTEID> wanted(m_vecPlan.begin() + static_cast<std::ptrdiff_t>(m_nPlanPos),
                             m_vecPlan.begin() + static_cast<std::ptrdiff_t>(end));
  m_nPlanPos = end;  // the next load after these is expected there
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  // Places not bound stay NULL, which matches no note.
  static const std::string notesSql = std::string(kNoteColumns) + "WHERE id IN " + PlaceholderList() + " ORDER BY id";
  static const std::string itemsSql =
      "SELECT note, name, type, value FROM items WHERE note IN " + PlaceholderList() + " ORDER BY note, seq";
  Statement notes(*this, notesSql.c_str());
  Statement items(*this, itemsSql.c_str());
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    notes.Bind(static_cast<int>(i + 1), wanted[i]);
    items.Bind(static_cast<int>(i + 1), wanted[i]);
  }
  while (notes.Step()) m_mapReadAhead[static_cast<NOTEID>(notes.Int(0))].row = ReadRow(notes);
  LoadedNote* pNote = nullptr;
  std::int64_t current = -1;
  while (items.Step()) {
    const std::int64_t note = items.Int(0);
    if (note != current) {
      current = note;
      const auto it = m_mapReadAhead.find(static_cast<NOTEID>(note));
      pNote = it == m_mapReadAhead.end() ? nullptr : &it->second;
    }
    if (pNote) pNote->items.push_back(StoredItem{items.Text(1), static_cast<WORD>(items.Int(2)), items.Text(3)});
  }
}

std::vector<NoteRow> Store::ListNotes() {
  EndReadLease();
  static const std::string sql = std::string(kNoteColumns) + "ORDER BY id";
  Statement q(*this, sql.c_str());
  std::vector<NoteRow> rows;
  while (q.Step()) rows.push_back(ReadRow(q));
  return rows;
}

std::vector<NoteRow> Store::ListDesignNotes() {
  EndReadLease();
  static const std::string sql = std::string(kNoteColumns) + "WHERE class <> 1 AND life = 0 ORDER BY id";
  Statement q(*this, sql.c_str());
  std::vector<NoteRow> rows;
  while (q.Step()) rows.push_back(ReadRow(q));
  return rows;
}

std::optional<NoteRow> Store::FindDesignNote(std::string_view name) {
  EndReadLease();
  static const std::string sql =
      std::string(kNoteColumns) + "WHERE class <> 1 AND life = 0 AND name = ? ORDER BY id LIMIT 1";
  Statement q(*this, sql.c_str());
  q.Bind(1, name);
  if (!q.Step()) return std::nullopt;
  return ReadRow(q);
}

// Folder entries and explicit view entries are rows of the entries table;
// only live documents count.
std::vector<NOTEID> Store::Entries(const NoteRow& design) {
  EndReadLease();
  std::lock_guard lock(m_mutexLease);
  // The entries and the live documents they are checked against come from
  // one snapshot of the file, which is let go at once, as a join's would be.
  Lease();
  struct LeaseEnd {
    Store& store;
    ~LeaseEnd() { store.EndReadLease(); }
  } leaseEnd{*this};
  std::vector<NOTEID> ids;
  const auto collectLive = [&](Statement& q) {
    const std::vector<NOTEID>& live = LiveDocuments();
    while (q.Step()) {
      const auto id = static_cast<NOTEID>(q.Int(0));
      if (std::binary_search(live.begin(), live.end(), id)) ids.push_back(id);
    }
  };
  if (design.cls == NoteClass::folder) {
    Statement q(*this, "SELECT note FROM entries WHERE design = ? ORDER BY pos");
    q.Bind(1, design.dwId);
    collectLive(q);
    return ids;
  }
  switch (design.select) {
    case SelectKind::entries: {
      Statement q(*this, "SELECT note FROM entries WHERE design = ? ORDER BY note");
      q.Bind(1, design.dwId);
      collectLive(q);
      break;
    }
    case SelectKind::all:
      ids = LiveDocuments();
      break;
    case SelectKind::hasItem: {
      Statement q(*this,
                  "SELECT n.id FROM notes n WHERE n.class = 1 AND n.life = 0 AND EXISTS "
                  "(SELECT 1 FROM items i WHERE i.note = n.id AND i.name = ? COLLATE NOCASE) "
                  "ORDER BY n.id");
      q.Bind(1, design.vecSelectArgs.empty() ? std::string() : design.vecSelectArgs.front());
      while (q.Step()) ids.push_back(static_cast<NOTEID>(q.Int(0)));
      break;
    }
    case SelectKind::form: {
      const FormIndex& index = DocumentsByForm();
      const std::vector<NOTEID>& live = LiveDocuments();
      std::vector<std::string> wanted = design.vecSelectArgs;
      std::sort(wanted.begin(), wanted.end());
      wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
      for (const std::string& form : wanted) {
        const auto it = index.mapIdsByForm.find(form);
        if (it == index.mapIdsByForm.end()) continue;
        for (NOTEID id : it->second)
          if (std::binary_search(live.begin(), live.end(), id)) ids.push_back(id);
      }
      if (wanted.size() > 1) std::sort(ids.begin(), ids.end());
      break;
    }
    case SelectKind::none:
      break;
  }
  return ids;
}

Store::FileState Store::CurrentFileState() {
  Statement version(*this, "PRAGMA data_version");
  version.Step();
  return FileState{version.Int(0), sqlite3_total_changes64(m_pDb), m_nRollbacks};
}

template <typename Change>
void Store::RemoveLive(NOTEID id, Change&& change) {
  const bool bCurrent = m_liveIndex.state.nTotalChanges != -1 && m_liveIndex.state == CurrentFileState();
  change();  // one that fails is rolled back, which the state counts: the list is then read anew
  if (!bCurrent) return;
  m_liveIndex.vecRemoved.push_back(id);
  m_liveIndex.state = CurrentFileState();
}

const std::vector<NOTEID>& Store::LiveDocuments() {
  const FileState state = CurrentFileState();
  if (m_liveIndex.state == state) {
    std::vector<NOTEID>& removed = m_liveIndex.vecRemoved;
    if (!removed.empty()) {
      std::sort(removed.begin(), removed.end());
      std::vector<NOTEID>& ids = m_liveIndex.vecIds;
      ids.erase(std::remove_if(ids.begin(), ids.end(),
                               [&](NOTEID id) { return std::binary_search(removed.begin(), removed.end(), id); }),
                ids.end());
      removed.clear();
    }
    return m_liveIndex.vecIds;
  }
  m_liveIndex = LiveIndex{};
  std::vector<NOTEID> ids;
  Statement live(*this, "SELECT id FROM notes WHERE class = 1 AND life = 0 ORDER BY id");
  while (live.Step()) ids.push_back(static_cast<NOTEID>(live.Int(0)));
  m_liveIndex = LiveIndex{state, std::move(ids), {}};
  return m_liveIndex.vecIds;
}

const Store::FormIndex& Store::DocumentsByForm() {
  const FileState state = CurrentFileState();
  if (m_formIndex.state.nDataVersion == state.nDataVersion && m_formIndex.state.nDataVersion != -1 &&
      m_formIndex.nAdditions == m_nAdditions)
    return m_formIndex;
  m_formIndex = FormIndex{state, m_nAdditions, {}};
  const std::vector<NOTEID>& live = LiveDocuments();
  // The form is the first Form text item, as GetFormNote reads it. One scan
  // in note order, merged with the live documents here, reads the file
  // front to back; asking for each document's form in turn would seek once
  // per document.
  Statement forms(*this,
                  "SELECT note, value FROM items WHERE name = 'Form' COLLATE NOCASE AND "
                  "type = 1280 ORDER BY note, seq");
  bool bForm = forms.Step();
  for (std::size_t nRows = 0; nRows < live.size(); ++nRows) {
    if (nRows % 4096 == 0 && m_pRunning && m_pRunning->load() == 0) {
      // Given up half way: the index must not pass for complete.
      m_formIndex = FormIndex{};
      ThrowStatus(LNERR_STOPPED, "Listing the documents by form in " + m_strPath + " was stopped");
    }
    const std::int64_t id = live[nRows];
    while (bForm && forms.Int(0) < id) bForm = forms.Step();
    if (!bForm || forms.Int(0) != id) continue;
    m_formIndex.mapIdsByForm[forms.Text(1)].push_back(static_cast<NOTEID>(id));
    while (bForm && forms.Int(0) == id) bForm = forms.Step();
  }
  return m_formIndex;
}

std::vector<NOTEID> Store::StoredEntries(NOTEID design) {
  EndReadLease();
  Statement q(*this, "SELECT note FROM entries WHERE design = ? ORDER BY pos");
  q.Bind(1, design);
  std::vector<NOTEID> ids;
  while (q.Step()) ids.push_back(static_cast<NOTEID>(q.Int(0)));
  return ids;
}

NOTEID Store::NextNoteId() {
  Statement q(*this, "SELECT MAX(id) FROM notes");
  q.Step();
  std::uint64_t high = static_cast<std::uint64_t>(q.Int(0));
  const std::string recorded = Meta("highId");
  if (!recorded.empty()) high = std::max<std::uint64_t>(high, std::stoull(recorded));
  const std::uint64_t next = (high / 4 + 1) * 4;
  if (next > 0xFFFFFFFCu) ThrowStatus(LNERR_FILE, "Cannot add a note to " + m_strPath + ": no note id is left");
  return static_cast<NOTEID>(next);
}

void Store::InsertNote(const NoteRow& row, const std::vector<StoredItem>& items) {
  ++m_nAdditions;
  WriteScope scope(*this);
  InsertNoteRow(row);
  // A free id has no items: nothing to delete first.
  InsertItems(row.dwId, items);
  scope.Commit();
}

void Store::InsertNewNote(const NoteRow& row, const std::vector<StoredItem>& items, NOTEID folder) {
  if (m_nDepth == 0) ThrowStatus(LNERR_BAD_ARGUMENT, "No transaction is open on " + m_strPath);
  InsertNoteRow(row);
  InsertItems(row.dwId, items);
  if (folder == 0) return;
  // A new note is in no folder yet: no need to look before appending.
  Statement entry(*this,
                  "INSERT INTO entries(design, pos, note) "
                  "VALUES(?1, (SELECT COALESCE(MAX(pos), 0) + 1 FROM entries WHERE design = ?1), ?2)");
  entry.Bind(1, folder).Bind(2, row.dwId).Run();
}

void Store::InsertNoteRow(const NoteRow& row) {
  Statement q(*this,
              "INSERT INTO notes(id, class, life, created, modified, name, view_type, select_kind, "
              "select_args) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
  q.Bind(1, row.dwId).Bind(2, static_cast<int>(row.cls)).Bind(3, static_cast<int>(row.life));
  q.Bind(4, row.strCreated).Bind(5, row.strModified.empty() ? row.strCreated : row.strModified);
  q.Bind(6, row.strName).Bind(7, row.nViewType).Bind(8, static_cast<int>(row.select));
  const std::string args = JoinArgs(row.vecSelectArgs);
  q.Bind(9, args).Run();
  // The high-water mark keeps ids of erased notes from coming back.
  Statement high(*this,
                 "UPDATE meta SET value = MAX(CAST(value AS INTEGER), ?) WHERE key = 'highId'");
  high.Bind(1, row.dwId).Run();
}

void Store::InsertItems(NOTEID id, const std::vector<StoredItem>& items) {
  int seq = 0;
  for (const auto& item : items) {
    Statement q(*this, "INSERT INTO items(note, seq, name, type, value) VALUES(?, ?, ?, ?, ?)");
    q.Bind(1, id).Bind(2, seq++).Bind(3, item.strName).Bind(4, item.wType).BindBlob(5, item.value).Run();
  }
}

void Store::ReplaceItems(NOTEID id, const std::vector<StoredItem>& items) {
  ++m_nAdditions;
  WriteScope scope(*this);
  Statement del(*this, "DELETE FROM items WHERE note = ?");
  del.Bind(1, id).Run();
  InsertItems(id, items);
  scope.Commit();
}

void Store::SetStoredEntries(NOTEID design, const std::vector<NOTEID>& entries) {
  WriteScope scope(*this);
  Statement del(*this, "DELETE FROM entries WHERE design = ?");
  del.Bind(1, design).Run();
  int pos = 0;
  for (NOTEID note : entries) {
    Statement q(*this, "INSERT INTO entries(design, pos, note) VALUES(?, ?, ?)");
    q.Bind(1, design).Bind(2, ++pos).Bind(3, note).Run();
  }
  scope.Commit();
}

bool Store::AppendEntry(NOTEID folder, NOTEID doc) {
  WriteScope scope(*this);
  {
    Statement has(*this, "SELECT 1 FROM entries WHERE note = ? AND design = ?");
    has.Bind(1, doc).Bind(2, folder);
    if (has.Step()) {
      scope.Commit();
      return false;
    }
  }
  Statement q(*this,
              "INSERT INTO entries(design, pos, note) "
              "VALUES(?1, (SELECT COALESCE(MAX(pos), 0) + 1 FROM entries WHERE design = ?1), ?2)");
  q.Bind(1, folder).Bind(2, doc).Run();
  scope.Commit();
  return true;
}

void Store::MoveToTrash(NOTEID id) {
  RemoveLive(id, [&] {
    WriteScope scope(*this);
    Statement q(*this, "UPDATE notes SET life = 1, modified = ? WHERE id = ? AND class = 1 AND life = 0");
    q.Bind(1, LocalTimeNow()).Bind(2, id).Run();
    scope.Commit();
  });
}

bool Store::TakeFromTrash(NOTEID id) {
  ++m_nAdditions;
  WriteScope scope(*this);
  Statement q(*this, "UPDATE notes SET life = 0 WHERE id = ? AND class = 1 AND life = 1");
  q.Bind(1, id).Run();
  const bool changed = sqlite3_changes(m_pDb) > 0;
  scope.Commit();
  return changed;
}

bool Store::DropStub(NOTEID id) {
  WriteScope scope(*this);
  Statement q(*this, "DELETE FROM notes WHERE id = ? AND life = 2");
  q.Bind(1, id).Run();
  const bool changed = sqlite3_changes(m_pDb) > 0;
  scope.Commit();
  return changed;
}

std::vector<NOTEID> Store::DesignsHolding(NOTEID doc) {
  EndReadLease();
  Statement q(*this, "SELECT DISTINCT design FROM entries WHERE note = ? ORDER BY design");
  q.Bind(1, doc);
  std::vector<NOTEID> ids;
  while (q.Step()) ids.push_back(static_cast<NOTEID>(q.Int(0)));
  return ids;
}

void Store::Erase(NOTEID id, bool leaveStub) {
  RemoveLive(id, [&] { EraseNow(id, leaveStub); });
}

void Store::EraseNow(NOTEID id, bool leaveStub) {
  WriteScope scope(*this);
  {
    Statement items(*this, "DELETE FROM items WHERE note = ?");
    items.Bind(1, id).Run();
  }
  {
    Statement entries(*this, "DELETE FROM entries WHERE note = ? OR design = ?");
    entries.Bind(1, id).Bind(2, id).Run();
  }
  if (leaveStub) {
    Statement q(*this, "UPDATE notes SET life = 2, modified = ?, name = NULL, select_kind = 0, "
                       "select_args = '' WHERE id = ?");
    q.Bind(1, LocalTimeNow()).Bind(2, id).Run();
  } else {
    Statement q(*this, "DELETE FROM notes WHERE id = ?");
    q.Bind(1, id).Run();
  }
  scope.Commit();
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &local);
  return buf;
}

}  // namespace lnapi::store
