// The units a folder pass commits in: batches of disposals, and each
// document's changes all or nothing. Used by the passes of FolderPass.cpp
// only; on the run's worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "lnapi/LNNotes.h"
#include "platform/Text.h"

namespace folderpass {

// Disposals committed together. Each document stays its own all-or-nothing
// unit inside the batch; the batch only saves the cost of a commit per
// document. A Stop still commits the open batch (its journal records are
// synced first), so the batch is kept small enough for that to be quick.
constexpr int kBatchDocuments = 1024;

// Groups the disposals of one pass into a few commits. The transaction is
// begun at the first disposal, so a pass without duplicates never takes the
// database's write lock.
class BatchCommit {
public:
  // syncJournal, when set, runs before each commit; false means the batch's
  // disposals are not durably journaled, and the batch is rolled back.
  BatchCommit(LNDatabase& db, bool bActive, std::function<bool()> syncJournal = {})
      : m_db(db), m_bActive(bActive), m_syncJournal(std::move(syncJournal)) {}
  ~BatchCommit() {
    // The documents disposed of so far are whole units; keep them.
    try {
      End();
    } catch (...) {
    }
  }
  BatchCommit(const BatchCommit&) = delete;
  BatchCommit& operator=(const BatchCommit&) = delete;

  void BeforeChange() {
    if (m_bOpen || !m_bActive) return;
    // A database that refuses a transaction (opened read-only, or locked by
    // another writer) is changed without one; each change then fails or
    // succeeds on its own and is reported so.
    try {
      m_bOpen = m_db.BeginTransaction() == LNNOERROR;
    } catch (...) {
      m_bActive = false;
    }
  }
  bool IsOpen() const { return m_bOpen; }
  void Counted() {
    if (++m_nDocuments >= kBatchDocuments) End();
  }
  // Commits the open batch. A commit that fails (the database stays busy
  // past the timeout) rolls the batch back, so the next batch starts afresh
  // instead of nesting inside one that can only roll back: Failed() then
  // says so and LostDocuments() counts the disposals that did not happen.
  void End() {
    const int nDocuments = std::exchange(m_nDocuments, 0);
    if (!m_bOpen) return;
    m_bOpen = false;
    try {
      // Disposals whose entries are not durably journaled must not stay.
      if (m_syncJournal && !m_syncJournal()) {
        m_strError = u"the journal could not be written";
      } else if (m_db.CommitTransaction() == LNNOERROR) {
        return;
      } else {
        m_strError = u"the changes could not be committed";
      }
    } catch (LNSTATUS status) {
      m_strError = platform::FromUtf8(LNGetErrorMessageText(status));
    }
    m_nLost += nDocuments;
    try {
      m_db.RollbackTransaction();
    } catch (...) {
      // Closing the database rolls the batch back then.
    }
  }
  [[nodiscard]] bool Failed() const { return m_nLost > 0 || !m_strError.empty(); }
  [[nodiscard]] std::uint64_t LostDocuments() const { return m_nLost; }
  [[nodiscard]] const std::u16string& Error() const { return m_strError; }

private:
  LNDatabase& m_db;
  bool m_bActive;
  std::function<bool()> m_syncJournal;
  bool m_bOpen = false;
  int m_nDocuments = 0;
  std::uint64_t m_nLost = 0;
  std::u16string m_strError;  // why the failed commit failed
};

// One document's changes, all or nothing: Commit keeps them; leaving the
// scope without Commit undoes every one of them.
class DocumentUnit {
public:
  explicit DocumentUnit(LNDatabase& db) : m_db(db) {
    m_bOpen = m_db.BeginTransaction() == LNNOERROR;
  }
  ~DocumentUnit() {
    if (!m_bOpen) return;
    try {
      m_db.RollbackTransaction();
    } catch (...) {
      // Nothing more can be done here; the outer batch still holds the
      // earlier documents, and this one is reported as not disposed of.
    }
  }
  DocumentUnit(const DocumentUnit&) = delete;
  DocumentUnit& operator=(const DocumentUnit&) = delete;
  [[nodiscard]] bool IsOpen() const { return m_bOpen; }
  // A commit that fails leaves the unit open, so the destructor rolls it
  // back instead of leaving a transaction that later changes would nest in.
  [[nodiscard]] bool Commit() {
    if (!m_bOpen) return false;
    if (m_db.CommitTransaction() != LNNOERROR) return false;
    m_bOpen = false;
    return true;
  }

private:
  LNDatabase& m_db;
  bool m_bOpen = false;
};

}  // namespace folderpass
