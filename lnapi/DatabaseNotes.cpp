// LNDatabase: views and folders, document copies, deletion, transactions.
#include "lnapi/Internal.h"
#include "lnapi/Status.h"

namespace {

using lnapi::store::NoteClass;
using lnapi::store::NoteLife;

// The state of a view or folder handle for a design note already read.
std::shared_ptr<lnapi::NoteState> DesignState(const std::shared_ptr<lnapi::DatabaseState>& db,
                                              const lnapi::store::NoteRow& row) {
  auto state = std::make_shared<lnapi::NoteState>(db, row.dwId);
  state->m_row = row;
  state->m_bLoaded = true;
  state->m_nLoadedGeneration = db->m_nGeneration;
  return state;
}

}  // namespace

LNSTATUS LNDatabase::GetViewFolders(LNViewFolderArray* out, int) {
  if (!out) return LNERR_BAD_ARGUMENT;
  out->m_vecFolders.clear();
  for (const auto& row : m_pState->Store().ListDesignNotes())
  {
    LNViewFolder folder;
    folder.m_pState = DesignState(m_pState, row);
    out->m_vecFolders.push_back(folder);
  }
  return LNNOERROR;
}

LNSTATUS LNDatabase::GetViewFolder(const LNString& name, LNViewFolder* out) {
  if (!out || !m_pState) return LNERR_BAD_ARGUMENT;
  const auto row = m_pState->Store().FindDesignNote(name.Bytes());
  if (!row) return LNERR_NOT_FOUND;
  *out = LNViewFolder();
  out->m_pState = DesignState(m_pState, *row);
  return LNNOERROR;
}

LNSTATUS LNDatabase::GetViewFolder(NOTEID id, LNViewFolder* out) {
  if (!out || !m_pState) return LNERR_BAD_ARGUMENT;
  const auto row = m_pState->Store().GetNote(id);
  if (!row || row->cls == NoteClass::document || row->life != NoteLife::live) return LNERR_NOT_FOUND;
  *out = LNViewFolder();
  out->m_pState = DesignState(m_pState, *row);
  return LNNOERROR;
}

LNSTATUS LNDatabase::GetDocument(NOTEID id, LNDocument* out) {
  if (!out || !m_pState) return LNERR_BAD_ARGUMENT;
  // A document asked for by id is opened next: it is read whole now, so
  // that one query finds it and serves the Open too.
  auto note = std::make_shared<lnapi::NoteState>(m_pState, id);
  auto row = m_pState->Store().LoadNote(id, note->m_vecItems);
  if (!row || row->cls != NoteClass::document || row->life != NoteLife::live) return LNERR_NOT_FOUND;
  note->m_row = std::move(*row);
  note->m_bLoaded = true;
  note->m_nLoadedGeneration = m_pState->m_nGeneration;
  *out = LNDocument();
  out->m_pState = std::move(note);
  return LNNOERROR;
}

LNSTATUS LNDatabase::CreateFolder(const LNString& name, LNViewFolder* out) {
  if (!m_pState || name.IsNull()) return LNERR_BAD_ARGUMENT;
  auto& store = m_pState->Store();
  if (store.FindDesignNote(name.Bytes())) return LNERR_EXISTS;
  lnapi::store::NoteRow row;
  row.cls = NoteClass::folder;
  row.strName = name.Bytes();
  row.strCreated = lnapi::store::LocalTimeNow();
  store.Begin();
  try {
    row.dwId = store.NextNoteId();
    store.InsertNote(row, {});
    store.Commit();
  } catch (...) {
    store.Rollback();
    throw;
  }
  m_pState->Changed();
  if (out) {
    *out = LNViewFolder();
    out->m_pState = DesignState(m_pState, row);
  }
  return LNNOERROR;
}

LNSTATUS LNDatabase::CreateDocument(const LNDocument& source, LNDocument* copy) {
  if (!m_pState || !copy || !source.m_pState) return LNERR_BAD_ARGUMENT;
  auto& src = *source.m_pState;
  // The source may be closed, or belong to another database.
  if (const LNSTATUS status = src.Load()) return status;
  if (src.m_row.cls != NoteClass::document) return LNERR_BAD_ARGUMENT;
  lnapi::store::NoteRow row = src.m_row;
  row.life = NoteLife::live;
  // The copy keeps the creation time: a document moved to a folder is still
  // the document it was, and its date must not change with the move.
  row.strModified = lnapi::store::LocalTimeNow();
  auto& store = m_pState->Store();
  store.Begin();
  try {
    row.dwId = store.NextNoteId();
    store.InsertNote(row, src.m_vecItems);
    store.Commit();
  } catch (...) {
    store.Rollback();
    throw;
  }
  m_pState->Changed();
  auto state = std::make_shared<lnapi::NoteState>(m_pState, row.dwId);
  state->m_row = row;
  state->m_vecItems = src.m_vecItems;
  state->m_bLoaded = true;
  state->m_bOpen = true;
  state->m_nLoadedGeneration = m_pState->m_nGeneration;
  LNDocument doc;
  doc.m_pState = std::move(state);
  *copy = doc;
  return LNNOERROR;
}

LNSTATUS LNDatabase::DeleteDocument(LNDocument& doc) {
  // A document of another database: its id means another note here.
  if (!m_pState || !doc.m_pState || doc.m_pState->m_pDb != m_pState) return LNERR_BAD_ARGUMENT;
  auto& store = m_pState->Store();
  const NOTEID id = doc.m_pState->m_dwId;
  const auto row = store.GetNote(id);
  if (!row || row->cls != NoteClass::document || row->life != NoteLife::live) return LNERR_NOT_FOUND;
  if (store.SoftDeletions())
    store.MoveToTrash(id);
  else
    store.Erase(id, true);
  m_pState->Changed();
  doc.m_pState->Close();
  return LNNOERROR;
}

LNSTATUS LNDatabase::DeleteNote(NOTEID id, std::uint32_t flags) {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  auto& store = m_pState->Store();
  const auto row = store.GetNote(id);
  if (!row || row->life == NoteLife::stub) return LNERR_NOT_FOUND;
  store.Erase(id, (flags & UPDATE_NOSTUB) == 0);
  m_pState->Changed();
  return LNNOERROR;
}

LNSTATUS LNDatabase::BeginTransaction() {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  m_pState->Store().Begin();
  return LNNOERROR;
}

LNSTATUS LNDatabase::CommitTransaction() {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  m_pState->Store().Commit();
  return LNNOERROR;
}

LNSTATUS LNDatabase::RollbackTransaction() {
  if (!m_pState) return LNERR_BAD_ARGUMENT;
  m_pState->Store().Rollback();
  m_pState->Changed();  // loaded notes may hold what was just undone
  return LNNOERROR;
}
