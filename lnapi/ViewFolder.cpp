// LNViewFolder and LNVFEntry.
#include "lnapi/Internal.h"
#include "lnapi/Status.h"

LNSTATUS LNViewFolder::Open(int) {
  if (!m_pState) return LNERR_NOT_FOUND;
  const LNSTATUS status = m_pState->Load();
  if (status != LNNOERROR) return status;
  if (m_pState->m_row.cls == lnapi::store::NoteClass::document) return LNERR_NOT_FOUND;
  // The entries are a snapshot: documents deleted or added while a pass walks
  // the view do not shift the positions it walks by.
  auto folder = std::make_shared<lnapi::FolderState>();
  folder->m_pDb = m_pState->m_pDb;
  folder->m_design = m_pState->m_row;
  folder->m_bOpen = true;
  m_pFolder = std::move(folder);
  m_pState->m_bOpen = true;
  return LNNOERROR;
}

LNSTATUS LNViewFolder::Open(int flags, LNDatabase& db) {
  // A handle from GetViewFolders knows its database; one made by default
  // construction does not and cannot be opened.
  if (!m_pState) return LNERR_NOT_FOUND;
  if (db.m_pState && db.m_pState != m_pState->m_pDb) return LNERR_BAD_ARGUMENT;
  return Open(flags);
}

LNString LNViewFolder::GetName() const { return m_pState ? LNString(m_pState->m_row.strName) : LNString(); }
LNINT LNViewFolder::GetType() const { return m_pState ? m_pState->m_row.nViewType : 0; }

LNBOOL LNViewFolder::IsFolder() const {
  return m_pState && m_pState->m_row.cls == lnapi::store::NoteClass::folder ? 1 : 0;
}

const std::vector<NOTEID>& lnapi::FolderState::Entries() {
  if (!m_bTaken) {
    m_vecEntries = m_pDb->Store().Entries(m_design);
    m_bTaken = true;
    // Whoever asks for the entries is about to open their documents.
    m_pDb->Store().PlanReads(m_vecEntries);
  }
  return m_vecEntries;
}

LNINT LNViewFolder::GetEntryCount() const {
  if (!m_pFolder || !m_pFolder->m_bOpen) return 0;
  return static_cast<LNINT>(m_pFolder->Entries().size());
}

LNVFEntry LNViewFolder::operator[](LNINT i) const {
  LNVFEntry entry;
  if (!m_pFolder || !m_pFolder->m_bOpen || i < 0) return entry;
  const std::vector<NOTEID>& entries = m_pFolder->Entries();
  if (static_cast<std::size_t>(i) >= entries.size()) return entry;
  entry.m_pDb = m_pState->m_pDb;
  entry.m_dwNoteId = entries[static_cast<std::size_t>(i)];
  return entry;
}

LNSTATUS LNViewFolder::FolderAddDocument(const LNDocument& doc) {
  if (!m_pState || doc.IsNull()) return LNERR_BAD_ARGUMENT;
  if (m_pState->m_row.cls != lnapi::store::NoteClass::folder) return LNERR_BAD_ARGUMENT;
  auto& db = *m_pState->m_pDb;
  // A document of another database: its id means another note here.
  if (doc.m_pState->m_pDb.get() != &db) return LNERR_BAD_ARGUMENT;
  auto& store = db.Store();
  const auto row = store.GetNote(doc.GetNoteID());
  if (!row || row->cls != lnapi::store::NoteClass::document || row->life != lnapi::store::NoteLife::live)
    return LNERR_NOT_FOUND;
  if (!store.GetNote(m_pState->m_dwId)) return LNERR_NOT_FOUND;
  // An open snapshot is left as it was taken, so a pass that adds copies to
  // the folder it walks never meets them.
  store.AppendEntry(m_pState->m_dwId, doc.GetNoteID());
  db.Changed();
  return LNNOERROR;
}

LNSTATUS LNViewFolder::Save(int) {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  // Entries are written when added; Save only confirms the folder exists.
  return m_pState->m_pDb->Store().GetNote(m_pState->m_dwId) ? LNNOERROR : LNERR_NOT_FOUND;
}

LNSTATUS LNViewFolder::Close() {
  // The pass over this view is over: stop holding the file for reading.
  if (m_pState && m_pState->m_pDb->IsOpen()) m_pState->m_pDb->Store().EndReadLease();
  if (m_pFolder) {
    m_pFolder->m_bOpen = false;
    m_pFolder->m_vecEntries.clear();
    m_pFolder->m_bTaken = false;
  }
  return LNNote::Close();
}

bool LNVFEntry::IsNull() const { return !m_pDb; }

LNSTATUS LNVFEntry::GetDocument(LNDocument* doc) const {
  if (!doc) return LNERR_BAD_ARGUMENT;
  if (!m_pDb) return LNERR_NOT_FOUND;
  *doc = LNDocument();
  doc->m_pState = std::make_shared<lnapi::NoteState>(m_pDb, m_dwNoteId);
  return LNNOERROR;
}
