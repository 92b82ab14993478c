// Internal to the store: the statement and change-scope helpers shared by
// Store.cpp (files, transactions) and StoreNotes.cpp (notes and entries).
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "lnapi/Status.h"
#include "lnapi/store/Store.h"

namespace lnapi::store {

// Resets a cached statement when the query ends, whatever way it ends.
class Store::Statement {
public:
  Statement(Store& store, const char* sql) : m_store(store), m_pStmt(store.Prepare(sql)) {}
  ~Statement() {
    sqlite3_reset(m_pStmt);
    sqlite3_clear_bindings(m_pStmt);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& Bind(int i, std::int64_t v) {
    sqlite3_bind_int64(m_pStmt, i, v);
    return *this;
  }
  Statement& Bind(int i, std::string_view text) {
    sqlite3_bind_text(m_pStmt, i, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
  }
  Statement& BindBlob(int i, std::string_view bytes) {
    sqlite3_bind_blob(m_pStmt, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    return *this;
  }
  // True while a row is there; throws on error.
  bool Step() {
    const int rc = sqlite3_step(m_pStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_store.Fail("read or write the database");
  }
  void Run() {
    while (Step()) {
    }
  }
  std::int64_t Int(int col) const { return sqlite3_column_int64(m_pStmt, col); }
  std::string Text(int col) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(m_pStmt, col));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_pStmt, col))) : std::string();
  }
  bool IsNull(int col) const { return sqlite3_column_type(m_pStmt, col) == SQLITE_NULL; }

private:
  Store& m_store;
  sqlite3_stmt* m_pStmt;  // owned by the store's cache
};

// One change, atomic on its own: a transaction of its own, or a savepoint
// inside the caller's transaction so a failure undoes only this change.
class Store::WriteScope {
public:
  explicit WriteScope(Store& store) : m_store(store), m_bNested(store.m_nDepth > 0) {
    if (store.m_bReadOnly) ThrowStatus(LNERR_FILE, "Cannot change " + store.m_strPath + ": it is open read-only");
    store.EndReadLease();
    m_bNested = store.m_nDepth > 0 || !sqlite3_get_autocommit(store.m_pDb);
    if (!m_bNested) store.m_strLostTransaction.clear();
    store.ExecCached(m_bNested ? "SAVEPOINT change" : "BEGIN IMMEDIATE");
  }
  ~WriteScope() {
    if (m_bDone) return;
    ++m_store.m_nRollbacks;
    // Undoing a failed change: an error here can only mean the connection is
    // already gone, and the transaction is then void anyway.
    sqlite3_exec(m_store.m_pDb, m_bNested ? "ROLLBACK TO change; RELEASE change" : "ROLLBACK",
                 nullptr, nullptr, nullptr);
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
  void Commit() {
    if (sqlite3_get_autocommit(m_store.m_pDb)) {
      m_bDone = true;
      m_store.LostTransaction();
    }
    m_store.ExecCached(m_bNested ? "RELEASE change" : "COMMIT");
    m_bDone = true;
  }

private:
  Store& m_store;
  bool m_bNested;
  bool m_bDone = false;
};

}  // namespace lnapi::store
