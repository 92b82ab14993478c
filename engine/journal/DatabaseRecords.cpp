#include "engine/journal/DatabaseRecords.h"

#include "platform/Text.h"

namespace journal {

namespace {

// Records reversed per transaction: few enough that a killed undo loses
// little work, many enough that a large undo does not wait on a disk flush
// per document.
constexpr std::size_t kUndoBatch = 256;

std::u16string IdText(NOTEID id) { return platform::DecimalText(static_cast<long long>(id)); }

std::u16string StatusText(LNSTATUS status) { return platform::FromUtf8(LNGetErrorMessageText(status)); }

enum class Outcome { restored, inPlace, failed };

struct Result {
  Outcome outcome = Outcome::inPlace;
  std::u16string strReason;
};

Result Failed(std::u16string reason) { return {Outcome::failed, std::move(reason)}; }

// Brings back a document that the run removed (deleted, or trashed leaving
// a stub), from its whole copy.
Result RestoreFromCopy(LNDatabase& db, const DatabaseDisposal& d) {
  switch (db.GetNoteLife(d.dwNoteId)) {
    case LNNoteLife::absent:
    case LNNoteLife::stub:
      if (const LNSTATUS status = db.RestoreNote(*d.image)) return Failed(StatusText(status));
      if (const LNSTATUS status = db.AddFolderEntries(d.dwNoteId, d.vecFolders)) return Failed(StatusText(status));
      return {Outcome::restored, {}};
    case LNNoteLife::live: {
      LNNoteImage now;
      if (db.GetNoteImage(d.dwNoteId, &now) == LNNOERROR && now == *d.image) return {};
      return Failed(u"the note id now holds another document");
    }
    case LNNoteLife::trash:
      return Failed(u"the document is in the trash again");
    case LNNoteLife::design:
      break;
  }
  return Failed(u"the note id now holds a view or folder");
}

Result TakeOutOfTrash(LNDatabase& db, const DatabaseDisposal& d) {
  switch (db.GetNoteLife(d.dwNoteId)) {
    case LNNoteLife::trash:
      if (const LNSTATUS status = db.RestoreFromTrash(d.dwNoteId)) return Failed(StatusText(status));
      if (const LNSTATUS status = db.AddFolderEntries(d.dwNoteId, d.vecFolders)) return Failed(StatusText(status));
      return {Outcome::restored, {}};
    case LNNoteLife::live:
      return {};
    default:
      return Failed(u"the document is no longer in the trash");
  }
}

// The copy's note is the run's copy when it holds the original's items and
// creation time (an id given to a copy that was never committed may have
// gone to another document since).
bool IsCopyOf(LNDatabase& db, NOTEID copyId, const LNNoteImage& original) {
  LNNoteImage copy;
  return db.GetNoteImage(copyId, &copy) == LNNOERROR && copy.strCreated == original.strCreated &&
         copy.vecItems == original.vecItems;
}

// Removes the copy a move or copy filed: Outcome::restored when it did.
Result RemoveCopy(LNDatabase& db, const DatabaseDisposal& d) {
  LNNoteImage original;
  if (d.image) original = *d.image;
  else if (db.GetNoteImage(d.dwNoteId, &original) != LNNOERROR) original = {};
  switch (db.GetNoteLife(d.dwCopyId)) {
    case LNNoteLife::live:
    case LNNoteLife::trash:
      if (!IsCopyOf(db, d.dwCopyId, original)) return Failed(u"the copy's note id now holds another document");
      if (const LNSTATUS status = db.DeleteNote(d.dwCopyId, UPDATE_NOSTUB)) return Failed(StatusText(status));
      return {Outcome::restored, {}};
    default:
      return {};  // never committed, or removed already
  }
}

Result UndoOne(LNDatabase& db, const DatabaseDisposal& d) {
  Result result;
  if (d.image)
    result = RestoreFromCopy(db, d);
  else if (d.nAction == 1)
    result = TakeOutOfTrash(db, d);
  if (result.outcome == Outcome::failed || (d.nAction != 2 && d.nAction != 3) || d.dwCopyId == 0)
    return result;
  const Result copy = RemoveCopy(db, d);
  if (copy.outcome != Outcome::inPlace) result = copy;
  return result;
}

// One record whole or not at all, inside the batch's transaction.
Result UndoAtomically(LNDatabase& db, const DatabaseDisposal& d) {
  db.BeginTransaction();
  Result result;
  try {
    result = UndoOne(db, d);
  } catch (LNSTATUS status) {
    result = Failed(StatusText(status));
  } catch (...) {
    result = Failed(u"unexpected error");
  }
  if (result.outcome == Outcome::failed)
    db.RollbackTransaction();
  else
    db.CommitTransaction();
  return result;
}

struct Pending {
  std::u16string strId;
  Result result;
};

void UndoBatch(LNDatabase& db, const std::vector<const JournalRecord*>& records, std::size_t begin,
               std::size_t end, UndoSession& session) {
  std::vector<Pending> done;
  std::u16string commitError;
  try {
    db.BeginTransaction();
    for (std::size_t i = begin; i < end; ++i) {
      const auto d = DecodeDisposal(records[i]->body);
      if (!d) {
        done.push_back({u"?", Failed(u"the journal record is damaged")});
        continue;
      }
      done.push_back({IdText(d->dwNoteId), UndoAtomically(db, *d)});
    }
    db.CommitTransaction();
  } catch (LNSTATUS status) {
    commitError = StatusText(status);
    try {
      db.RollbackTransaction();
    } catch (...) {
      // The transaction is gone with the error; nothing of it was kept.
    }
  }
  // Reported only now: a record counts as restored once its batch is safe.
  for (std::size_t i = 0; i < end - begin; ++i) {
    const Pending* p = i < done.size() ? &done[i] : nullptr;
    const std::u16string id = p ? p->strId : u"?";
    if (!commitError.empty()) {
      const auto d = DecodeDisposal(records[begin + i]->body);
      session.NotRestored(d ? IdText(d->dwNoteId) : id, commitError);
    } else if (p->result.outcome == Outcome::failed) {
      session.NotRestored(id, p->result.strReason);
    } else if (p->result.outcome == Outcome::restored) {
      session.Restored();
    } else {
      session.AlreadyInPlace();
    }
  }
}

}  // namespace

std::string EncodeDisposal(const DatabaseDisposal& d) {
  BodyWriter w;
  w.U8(static_cast<std::uint8_t>(d.nAction)).U32(d.dwNoteId).U32(d.dwCopyId).U32(d.dwTargetFolder);
  w.U32(static_cast<std::uint32_t>(d.vecFolders.size()));
  for (NOTEID folder : d.vecFolders) w.U32(folder);
  w.U8(d.image ? 1 : 0);
  if (d.image) {
    w.Text(d.image->strCreated).Text(d.image->strModified);
    w.U32(static_cast<std::uint32_t>(d.image->vecItems.size()));
    for (const auto& item : d.image->vecItems) w.Text(item.strName).U16(item.wType).Text(item.value);
  }
  return w.Take();
}

std::optional<DatabaseDisposal> DecodeDisposal(std::string_view body) {
  BodyReader r(body);
  DatabaseDisposal d;
  d.nAction = r.U8();
  d.dwNoteId = r.U32();
  d.dwCopyId = r.U32();
  d.dwTargetFolder = r.U32();
  const std::uint32_t nFolders = r.U32();
  for (std::uint32_t i = 0; i < nFolders && !r.Failed(); ++i) d.vecFolders.push_back(r.U32());
  if (r.U8() == 1) {
    LNNoteImage image;
    image.dwNoteId = d.dwNoteId;
    image.strCreated = r.Text();
    image.strModified = r.Text();
    const std::uint32_t nItems = r.U32();
    for (std::uint32_t i = 0; i < nItems && !r.Failed(); ++i) {
      LNNoteImage::Item item;
      item.strName = r.Text();
      item.wType = r.U16();
      item.value = r.Text();
      image.vecItems.push_back(std::move(item));
    }
    d.image = std::move(image);
  }
  if (r.Failed() || !r.AtEnd() || d.nAction > 3 || d.dwNoteId == 0) return std::nullopt;
  // Only these disposals remove a document, and their undo needs its copy.
  if ((d.nAction == 0 || d.nAction == 2) && !d.image) return std::nullopt;
  return d;
}

void UndoDatabaseRecords(const std::string& target, const std::vector<const JournalRecord*>& newestFirst,
                         UndoSession& session) {
  LNNotesSession notes;
  notes.Initialize();
  notes.InitThread();
  LNDatabase db;
  std::u16string openError;
  try {
    if (notes.GetDatabase(LNString(target), &db) != LNNOERROR) openError = u"the database cannot be opened";
    else db.Open();
  } catch (LNSTATUS status) {
    openError = StatusText(status);
  }
  if (!openError.empty()) {
    for (const JournalRecord* record : newestFirst) {
      const auto d = DecodeDisposal(record->body);
      session.NotRestored(d ? IdText(d->dwNoteId) : u"?", openError);
    }
  } else {
    for (std::size_t begin = 0; begin < newestFirst.size(); begin += kUndoBatch)
      UndoBatch(db, newestFirst, begin, std::min(newestFirst.size(), begin + kUndoBatch), session);
    try {
      db.Close();
    } catch (...) {
      // Every batch is committed or rolled back already.
    }
  }
  notes.TermThread();
  notes.Term();
}

}  // namespace journal
