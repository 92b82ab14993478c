// LNDatabase: what undoing a run needs — whole copies of documents, their
// folders, and putting documents back where a run took them from.
#include "lnapi/Internal.h"
#include "lnapi/Status.h"

namespace {

using lnapi::store::NoteClass;
using lnapi::store::NoteLife;

lnapi::store::Store& StoreOf(const std::shared_ptr<lnapi::DatabaseState>& state) {
  if (!state) lnapi::ThrowStatus(LNERR_BAD_ARGUMENT, "The database object is not bound to a file");
  return state->Store();
}

// Runs change in one transaction of its own: kept when it returns
// LNNOERROR, undone when it returns anything else or throws.
template <typename Change>
LNSTATUS InOneTransaction(lnapi::store::Store& store, Change change) {
  store.Begin();
  try {
    const LNSTATUS status = change();
    if (status == LNNOERROR) {
      store.Commit();
    } else {
      store.Rollback();
    }
    return status;
  } catch (...) {
    store.Rollback();
    throw;
  }
}

}  // namespace

LNBOOL LNDatabase::IsSoftDeletions() const { return StoreOf(m_pState).SoftDeletions() ? 1 : 0; }

LNNoteLife LNDatabase::GetNoteLife(NOTEID id) const {
  const auto row = StoreOf(m_pState).GetNote(id);
  if (!row) return LNNoteLife::absent;
  if (row->life == NoteLife::stub) return LNNoteLife::stub;
  if (row->cls != NoteClass::document) return LNNoteLife::design;
  return row->life == NoteLife::trash ? LNNoteLife::trash : LNNoteLife::live;
}

LNSTATUS LNDatabase::GetNoteImage(NOTEID id, LNNoteImage* out) const {
  if (!out) return LNERR_BAD_ARGUMENT;
  std::vector<lnapi::store::StoredItem> items;
  const auto row = StoreOf(m_pState).LoadNote(id, items);
  if (!row || row->cls != NoteClass::document || row->life == NoteLife::stub) return LNERR_NOT_FOUND;
  out->dwNoteId = id;
  out->strCreated = row->strCreated;
  out->strModified = row->strModified;
  out->vecItems.clear();
  out->vecItems.reserve(items.size());
  for (auto& item : items)
    out->vecItems.push_back({std::move(item.strName), item.wType, std::move(item.value)});
  return LNNOERROR;
}

LNSTATUS LNDatabase::GetNoteFolders(NOTEID id, std::vector<NOTEID>* out) const {
  if (!out) return LNERR_BAD_ARGUMENT;
  *out = StoreOf(m_pState).DesignsHolding(id);
  return LNNOERROR;
}

LNSTATUS LNDatabase::RestoreNote(const LNNoteImage& image) {
  auto& store = StoreOf(m_pState);
  if (image.dwNoteId == 0 || image.strCreated.empty()) return LNERR_BAD_ARGUMENT;
  lnapi::store::NoteRow row;
  row.dwId = image.dwNoteId;
  row.cls = NoteClass::document;
  row.strCreated = image.strCreated;
  row.strModified = image.strModified;
  std::vector<lnapi::store::StoredItem> items;
  items.reserve(image.vecItems.size());
  for (const auto& item : image.vecItems) items.push_back({item.strName, item.wType, item.value});
  // The stub goes and the document comes back together, or neither does.
  const LNSTATUS status = InOneTransaction(store, [&]() -> LNSTATUS {
    const auto existing = store.GetNote(row.dwId);
    if (existing && existing->life != NoteLife::stub) return LNERR_EXISTS;
    if (existing) store.DropStub(row.dwId);
    store.InsertNote(row, items);
    return LNNOERROR;
  });
  if (status == LNNOERROR) m_pState->Changed();
  return status;
}

LNSTATUS LNDatabase::DropStub(NOTEID id) {
  if (!StoreOf(m_pState).DropStub(id)) return LNERR_NOT_FOUND;
  m_pState->Changed();
  return LNNOERROR;
}

LNSTATUS LNDatabase::RestoreFromTrash(NOTEID id) {
  if (!StoreOf(m_pState).TakeFromTrash(id)) return LNERR_NOT_FOUND;
  m_pState->Changed();
  return LNNOERROR;
}

LNSTATUS LNDatabase::AddFolderEntries(NOTEID id, const std::vector<NOTEID>& folders) {
  auto& store = StoreOf(m_pState);
  const LNSTATUS status = InOneTransaction(store, [&]() -> LNSTATUS {
    const auto row = store.GetNote(id);
    if (!row || row->cls != NoteClass::document || row->life == NoteLife::stub) return LNERR_NOT_FOUND;
    for (NOTEID folder : folders) {
      const auto design = store.GetNote(folder);
      if (design && design->cls != NoteClass::document && design->life == NoteLife::live)
        store.AppendEntry(folder, id);
    }
    return LNNOERROR;
  });
  if (status == LNNOERROR) m_pState->Changed();
  return status;
}
